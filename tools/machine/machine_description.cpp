// Turning the system's raw texts into the machine description.
#include "machine/machine_description.h"

#include <cstdio>
#include <sstream>

#include "machine/run_conditions.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Runs of spaces inside a brand string become one.
std::string squeezed(const std::string& text) {
  std::string result;
  for (char c : trimmed(text)) {
    if (c == ' ' && !result.empty() && result.back() == ' ') continue;
    result += c;
  }
  return result;
}

// The value of the first "name<tabs>: value" line of /proc/cpuinfo.
std::string cpuinfo_field(const std::string& cpuinfo, const std::string& name) {
  std::istringstream lines(cpuinfo);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (trimmed(line.substr(0, colon)) == name) return trimmed(line.substr(colon + 1));
  }
  return std::string();
}

// The value of KEY=value in os-release, its quotes removed.
std::string os_release_field(const std::string& os_release, const std::string& key) {
  std::istringstream lines(os_release);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = trimmed(line.substr(key.size() + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::string();
}

}  // namespace

machine_description describe_machine(const platform::machine_readings& readings) {
  machine_description machine;
  machine.cpu_model = squeezed(readings.processor_brand);
  if (machine.cpu_model.empty()) machine.cpu_model = cpuinfo_field(readings.cpuinfo, "model name");
  if (machine.cpu_model.empty()) machine.cpu_model = "unknown processor";
  const std::string family = cpuinfo_field(readings.cpuinfo, "cpu family");
  const std::string model = cpuinfo_field(readings.cpuinfo, "model");
  if (!family.empty() && !model.empty()) {
    machine.cpu_signature = "family " + family + ", model " + model;
  }

  machine.logical_processors = readings.logical_processors;
  machine.usable_processors =
      readings.usable_processors > 0 ? readings.usable_processors : readings.logical_processors;
  machine.memory_bytes = readings.memory_bytes;

  machine.os = trimmed(readings.os_name);
  if (machine.os.empty()) machine.os = os_release_field(readings.os_release, "PRETTY_NAME");
  if (machine.os.empty()) {
    machine.os = trimmed(os_release_field(readings.os_release, "NAME") + " " +
                         os_release_field(readings.os_release, "VERSION"));
  }
  if (machine.os.empty()) machine.os = "unknown system";
  machine.kernel = readings.kernel.empty() ? "unknown kernel" : trimmed(readings.kernel);
  // The system's texts may hold any bytes (a Latin-1 os-release); the
  // document and its exports are UTF-8.
  for (std::string* text :
       {&machine.cpu_model, &machine.cpu_signature, &machine.os, &machine.kernel}) {
    *text = valid_utf8(*text);
  }
  return machine;
}

machine_description this_machine(const std::string& root) {
  machine_description machine = describe_machine(platform::read_machine());
  machine.virtualisation = virtualisation_name(read_hypervisor());
  machine.conditions =
      platform::read_condition_settings(root, platform::usable_processor_ids(root));
  // Texts read from the system may hold any bytes; the document is UTF-8.
  platform::condition_settings& conditions = machine.conditions;
  conditions.frequency_policy = valid_utf8(conditions.frequency_policy);
  conditions.quota_source = valid_utf8(conditions.quota_source);
  for (std::string& sign : conditions.container_signs) sign = valid_utf8(sign);
  return machine;
}

std::string container_text(const machine_description& machine) {
  const std::vector<std::string>& signs = machine.conditions.container_signs;
  if (signs.empty()) return "no sign of one";
  std::string text = "yes (";
  for (std::size_t i = 0; i < signs.size(); ++i) text += (i > 0 ? ", " : "") + signs[i];
  return text + ")";
}

nlohmann::json machine_json(const machine_description& machine) {
  nlohmann::json json = {{"cpu_model", machine.cpu_model},
                         {"logical_processors", machine.logical_processors},
                         {"usable_processors", machine.usable_processors},
                         {"memory_bytes", machine.memory_bytes},
                         {"os", machine.os},
                         {"kernel", machine.kernel}};
  if (!machine.cpu_signature.empty()) json["cpu_signature"] = machine.cpu_signature;
  if (!machine.id.empty()) json["id"] = machine.id;
  // Null where the machine does not report the condition.
  const platform::condition_settings& conditions = machine.conditions;
  auto number_or_null = [](const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
  };
  auto text_or_null = [](const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
  };
  json["virtualisation"] = text_or_null(machine.virtualisation);
  json["container_signs"] = conditions.container_signs;
  json["quota_processors"] = number_or_null(conditions.quota_processors);
  json["quota_source"] = text_or_null(conditions.quota_source);
  json["max_frequency_hz"] = number_or_null(conditions.max_frequency_hz);
  json["base_frequency_hz"] = number_or_null(conditions.base_frequency_hz);
  json["frequency_policy"] = text_or_null(conditions.frequency_policy);
  json["boost"] = conditions.boost ? nlohmann::json(*conditions.boost) : nlohmann::json(nullptr);
  json["power_source"] = conditions.on_battery
                             ? nlohmann::json(*conditions.on_battery ? "battery" : "mains")
                             : nlohmann::json(nullptr);
  return json;
}

std::string format_machine_table(const machine_description& machine) {
  // Texts are joined whole: a fixed buffer would cut a long name, perhaps
  // inside a character.
  const auto row = [](const char* label, const std::string& value) {
    char padded[40];
    std::snprintf(padded, sizeof padded, "  %-32s ", label);
    return padded + value + "\n";
  };
  char memory[64];
  std::snprintf(memory, sizeof memory, "%.1f GiB",
                static_cast<double>(machine.memory_bytes) / (1024.0 * 1024.0 * 1024.0));
  const platform::condition_settings& conditions = machine.conditions;
  const std::string not_reported = "not reported";
  std::string table =
      "Machine\n" + row("processor", terminal_safe(machine.cpu_model)) +
      row("processors", std::to_string(machine.logical_processors) + " logical, " +
                            std::to_string(machine.usable_processors) + " usable by this process") +
      row("memory", memory) +
      row("system", terminal_safe(machine.os) + ", " + terminal_safe(machine.kernel));
  table +=
      row("virtualisation",
          machine.virtualisation.empty() ? not_reported : terminal_safe(machine.virtualisation));
  table += row("container", terminal_safe(container_text(machine)));
  if (conditions.quota_processors) {
    char quota[64];
    std::snprintf(quota, sizeof quota, "%.2f processors", *conditions.quota_processors);
    table += row("processor quota",
                 quota + std::string(" (") + terminal_safe(conditions.quota_source) + ")");
  } else {
    table += row("processor quota", "none seen");
  }
  std::string frequency = not_reported;
  if (conditions.max_frequency_hz || conditions.base_frequency_hz) {
    frequency.clear();
    if (conditions.base_frequency_hz)
      frequency = "base " + frequency_text(*conditions.base_frequency_hz);
    if (conditions.max_frequency_hz) {
      frequency += (frequency.empty() ? "" : ", ") + std::string("max ") +
                   frequency_text(*conditions.max_frequency_hz);
    }
  }
  table += row("frequency", frequency);
  std::string policy = conditions.frequency_policy.empty()
                           ? not_reported
                           : terminal_safe(conditions.frequency_policy);
  if (conditions.boost) policy += *conditions.boost ? ", boost on" : ", boost off";
  table += row("frequency policy", policy);
  table += row("power source", !conditions.on_battery   ? not_reported
                               : *conditions.on_battery ? "battery"
                                                        : "mains");
  return table;
}

}  // namespace quorvane::host
