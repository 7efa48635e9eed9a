// Turning the system's raw texts into the machine description.
#include "machine/machine_description.h"

#include <cstdio>
#include <sstream>

#include "machine/run_conditions.h"

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
  return machine;
}

machine_description this_machine(const std::string& root) {
  machine_description machine = describe_machine(platform::read_machine());
  machine.virtualisation = virtualisation_name(read_hypervisor());
  machine.conditions =
      platform::read_condition_settings(root, platform::usable_processor_ids(root));
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
  char line[320];
  std::string table = "Machine\n";
  std::snprintf(line, sizeof line, "  %-32s %s\n", "processor", machine.cpu_model.c_str());
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %d logical, %d usable by this process\n", "processors",
                machine.logical_processors, machine.usable_processors);
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %.1f GiB\n", "memory",
                static_cast<double>(machine.memory_bytes) / (1024.0 * 1024.0 * 1024.0));
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %s, %s\n", "system", machine.os.c_str(),
                machine.kernel.c_str());
  table += line;
  const platform::condition_settings& conditions = machine.conditions;
  const std::string not_reported = "not reported";
  auto row = [&table](const char* label, const std::string& value) {
    // The value goes in whole: it may be longer than a line buffer.
    char start[48];
    std::snprintf(start, sizeof start, "  %-32s ", label);
    table += start + value + "\n";
  };
  row("virtualisation", machine.virtualisation.empty() ? not_reported : machine.virtualisation);
  row("container", container_text(machine));
  if (conditions.quota_processors) {
    char quota[64];
    std::snprintf(quota, sizeof quota, "%.2f processors", *conditions.quota_processors);
    row("processor quota", quota + std::string(" (") + conditions.quota_source + ")");
  } else {
    row("processor quota", "none seen");
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
  row("frequency", frequency);
  std::string policy =
      conditions.frequency_policy.empty() ? not_reported : conditions.frequency_policy;
  if (conditions.boost) policy += *conditions.boost ? ", boost on" : ", boost off";
  row("frequency policy", policy);
  row("power source", !conditions.on_battery   ? not_reported
                      : *conditions.on_battery ? "battery"
                                               : "mains");
  return table;
}

}  // namespace quorvane::host
