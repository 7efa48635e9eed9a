// Turning the system's raw texts into the machine description.
#include "machine/machine_description.h"

#include <cstdio>
#include <sstream>

#include "machine/arm_processor.h"
#include "machine/condition_words.h"
#include "machine/run_conditions.h"
#include "results/json_optional.h"
#include "safe_text.h"

namespace quorvane::host {
namespace {

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
    const std::string_view text = line;
    if (trimmed(text.substr(0, colon)) == name) return std::string(trimmed(text.substr(colon + 1)));
  }
  return std::string();
}

// The value of KEY=value in os-release, its quotes removed.
std::string os_release_field(const std::string& os_release, const std::string& key) {
  std::istringstream lines(os_release);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value(trimmed(std::string_view(line).substr(key.size() + 1)));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::string();
}

// The main ID registers of the online processors, else the fields of an
// Arm /proc/cpuinfo; empty off Arm.
std::vector<main_id> arm_main_ids(const platform::machine_readings& readings,
                                  const platform::machine_signs& signs) {
  std::vector<main_id> ids;
  for (const platform::processor_signs& processor : signs.processors) {
    if (const std::optional<main_id> id = parse_main_id(processor.main_id)) ids.push_back(*id);
  }
  if (ids.empty()) ids = main_ids_from_cpuinfo(signs.cpuinfo);
  if (ids.empty()) ids = main_ids_from_cpuinfo(readings.cpuinfo);
  return ids;
}

}  // namespace

machine_description describe_machine(const platform::machine_readings& readings,
                                     const platform::machine_signs& signs) {
  machine_description machine;
  const std::vector<main_id> arm_ids = arm_main_ids(readings, signs);
  machine.cpu_model = arm_processor_name(arm_ids);
  if (machine.cpu_model.empty()) machine.cpu_model = squeezed(readings.processor_brand);
  if (machine.cpu_model.empty()) machine.cpu_model = cpuinfo_field(readings.cpuinfo, "model name");
  if (machine.cpu_model.empty()) machine.cpu_model = "unknown processor";
  const std::string family = cpuinfo_field(readings.cpuinfo, "cpu family");
  const std::string model = cpuinfo_field(readings.cpuinfo, "model");
  if (!arm_ids.empty()) {
    machine.cpu_signature = arm_processor_signature(arm_ids);
  } else if (!family.empty() && !model.empty()) {
    machine.cpu_signature = "family " + family + ", model " + model;
  }
  machine.core_kinds = core_kinds(signs);

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
  const platform::machine_signs signs = platform::read_machine_signs(root);
  machine_description machine = describe_machine(platform::read_machine(), signs);
  machine.virtualisation = virtualisation_text(read_hypervisor(), signs);
  machine.conditions =
      platform::read_condition_settings(root, platform::usable_processor_ids(root));
  // Texts read from the system may hold any bytes; the document is UTF-8.
  platform::condition_settings& conditions = machine.conditions;
  conditions.frequency_policy = valid_utf8(conditions.frequency_policy);
  conditions.quota_source = valid_utf8(conditions.quota_source);
  if (conditions.container_signs) {
    for (std::string& sign : *conditions.container_signs) sign = valid_utf8(sign);
  }
  return machine;
}

std::string container_text(const machine_description& machine) {
  return condition_words("container_signs", nlohmann::json(machine.conditions.container_signs));
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
  auto text_or_null = [](const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
  };
  json["virtualisation"] = text_or_null(machine.virtualisation);
  nlohmann::json kinds = nlohmann::json::array();
  for (const core_kind& kind : machine.core_kinds) {
    kinds.push_back({{"name", kind.name}, {"processors", kind.processors}});
  }
  json["core_kinds"] = std::move(kinds);
  if (!machine.core_kinds.empty()) json["single_thread_note"] = single_thread_core_note;
  json["container_signs"] = conditions.container_signs;
  json["quota_processors"] = conditions.quota_processors;
  json["quota_source"] = text_or_null(conditions.quota_source);
  json["max_frequency_hz"] = conditions.max_frequency_hz;
  json["base_frequency_hz"] = conditions.base_frequency_hz;
  json["frequency_policy"] = text_or_null(conditions.frequency_policy);
  json["boost"] = conditions.boost;
  json["power_source"] =
      conditions.on_battery
          ? std::optional<std::string>(*conditions.on_battery ? "battery" : "mains")
          : std::nullopt;
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
  const std::string not_reported = not_reported_words;
  const nlohmann::json described = machine_json(machine);
  std::string table =
      "Machine\n" + row("processor", terminal_safe(machine.cpu_model)) +
      row("processors", std::to_string(machine.logical_processors) + " logical, " +
                            std::to_string(machine.usable_processors) + " usable by this process") +
      (machine.core_kinds.empty() ? std::string()
                                  : row("core kinds", core_kinds_text(machine.core_kinds))) +
      row("memory", memory) +
      row("system", terminal_safe(machine.os) + ", " + terminal_safe(machine.kernel));
  table += row("virtualisation",
               terminal_safe(condition_words("virtualisation", described["virtualisation"])));
  table += row("container", terminal_safe(container_text(machine)));
  std::string quota = condition_words("quota_processors", described["quota_processors"]);
  if (conditions.quota_processors) quota += " (" + terminal_safe(conditions.quota_source) + ")";
  table += row("processor quota", quota);
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
  table += row("power source", condition_words("power_source", described["power_source"]));
  return table;
}

}  // namespace quorvane::host
