// Telling the kinds of core apart from what the system shows.
#include "machine/core_kinds.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "machine/arm_processor.h"

namespace quorvane::host {
namespace {

constexpr long largest_processor = 4095;

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<long> small_number(const std::string& word) {
  if (word.empty() || word.size() > 9 ||
      word.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::strtol(word.c_str(), nullptr, 10);
}

// Intel's hybrid processors: the kernel's two core PMUs list their cores.
std::vector<core_kind> hybrid_kinds(const platform::machine_signs& signs) {
  const std::size_t performance = processor_list(signs.performance_core_list).size();
  const std::size_t efficiency = processor_list(signs.efficiency_core_list).size();
  if (performance == 0 || efficiency == 0) return {};
  return {{"performance", static_cast<int>(performance)},
          {"efficiency", static_cast<int>(efficiency)}};
}

// Windows: a higher class is a faster core.
std::vector<core_kind> efficiency_class_kinds(const std::vector<int>& classes) {
  std::map<int, int, std::greater<>> counts;
  for (int one : classes) ++counts[one];
  if (counts.size() < 2) return {};
  std::vector<core_kind> kinds;
  for (const auto& [efficiency_class, count] : counts) {
    std::string name = "efficiency class " + std::to_string(efficiency_class);
    if (counts.size() == 2) {
      name = efficiency_class == counts.begin()->first ? "performance" : "efficiency";
    }
    kinds.push_back({name, count});
  }
  return kinds;
}

// Arm: processors of one capacity are one kind, named by their core where
// their main ID registers agree on one.
std::vector<core_kind> capacity_kinds(const std::vector<platform::processor_signs>& processors) {
  struct group {
    int processors = 0;
    std::string core;
    bool one_core = true;
  };
  std::map<long, group, std::greater<>> groups;
  for (const platform::processor_signs& processor : processors) {
    const std::optional<long> capacity = small_number(trimmed(processor.capacity));
    if (!capacity) return {};  // a processor without one: nothing to go by
    const std::optional<main_id> id = parse_main_id(processor.main_id);
    const std::string core = id ? core_name(*id) : std::string();
    group& kind = groups[*capacity];
    if (kind.processors == 0) kind.core = core;
    kind.one_core = kind.one_core && !core.empty() && core == kind.core;
    ++kind.processors;
  }
  if (groups.size() < 2) return {};
  std::vector<core_kind> kinds;
  for (const auto& [capacity, kind] : groups) {
    const std::string measure = "capacity " + std::to_string(capacity);
    kinds.push_back({kind.one_core ? kind.core + " (" + measure + ")" : measure, kind.processors});
  }
  return kinds;
}

// Arm without capacities (ACPI machines may give none): cores that the
// main ID registers tell apart, in order of first appearance.
std::vector<core_kind> main_id_kinds(const std::vector<platform::processor_signs>& processors) {
  std::vector<core_kind> kinds;
  for (const platform::processor_signs& processor : processors) {
    const std::optional<main_id> id = parse_main_id(processor.main_id);
    if (!id) return {};
    const std::string name = core_name(*id);
    const auto known = std::find_if(kinds.begin(), kinds.end(),
                                    [&](const core_kind& kind) { return kind.name == name; });
    if (known == kinds.end()) {
      kinds.push_back({name, 1});
    } else {
      ++known->processors;
    }
  }
  if (kinds.size() < 2) return {};
  return kinds;
}

}  // namespace

const char* const single_thread_core_note =
    "this machine has cores of more than one kind; the system chose the core each single-thread "
    "figure ran on";

std::vector<int> processor_list(const std::string& text) {
  std::vector<int> ids;
  std::istringstream ranges(trimmed(text));
  std::string range;
  while (std::getline(ranges, range, ',')) {
    const std::size_t dash = range.find('-');
    const std::optional<long> first = small_number(trimmed(range.substr(0, dash)));
    const std::optional<long> last =
        dash == std::string::npos ? first : small_number(trimmed(range.substr(dash + 1)));
    if (!first || !last || *last < *first || *last > largest_processor) return {};
    for (long id = *first; id <= *last; ++id) ids.push_back(static_cast<int>(id));
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::vector<core_kind> core_kinds(const platform::machine_signs& signs) {
  std::vector<core_kind> kinds = hybrid_kinds(signs);
  if (kinds.empty()) kinds = efficiency_class_kinds(signs.efficiency_classes);
  if (kinds.empty()) kinds = capacity_kinds(signs.processors);
  if (kinds.empty()) kinds = main_id_kinds(signs.processors);
  return kinds;
}

std::string core_kinds_text(const std::vector<core_kind>& kinds) {
  std::string text;
  for (const core_kind& kind : kinds) {
    text += (text.empty() ? "" : ", ") + std::to_string(kind.processors) + " " + kind.name;
  }
  return text;
}

}  // namespace quorvane::host
