// Reading the runs and figures of a results document.
#include "results/document_figures.h"

namespace quorvane::host {

bool is_cancelled(const nlohmann::json& run) {
  const nlohmann::json& cancelled = member(run, "cancelled");
  return cancelled.is_boolean() && cancelled.get<bool>();
}

std::vector<const nlohmann::json*> finished_runs(const nlohmann::json& document) {
  std::vector<const nlohmann::json*> runs;
  const nlohmann::json& all = member(document, "runs");
  if (!all.is_array()) return runs;
  for (const nlohmann::json& run : all) {
    if (run.is_object() && !is_cancelled(run)) runs.push_back(&run);
  }
  return runs;
}

std::vector<double> report_values(const std::vector<const nlohmann::json*>& runs, const char* key) {
  std::vector<double> values;
  for (const nlohmann::json* run : runs) {
    const auto report = run->find("report");
    if (report == run->end() || !report->is_object()) continue;
    const auto value = report->find(key);
    if (value != report->end() && value->is_number()) values.push_back(value->get<double>());
  }
  return values;
}

std::optional<summary> summarise_report(const std::vector<const nlohmann::json*>& runs,
                                        const char* key) {
  std::vector<double> values = report_values(runs, key);
  if (values.empty()) return std::nullopt;
  return summarise(std::move(values));
}

std::optional<double> other_load_percent(const nlohmann::json& run, std::size_t phase) {
  const auto shares = run.find("other_load_percent");
  if (shares == run.end() || !shares->is_array() || phase >= shares->size()) return std::nullopt;
  const nlohmann::json& share = (*shares)[phase];
  if (!share.is_number()) return std::nullopt;
  return share.get<double>();
}

std::optional<double> largest_other_load_percent(const nlohmann::json& run) {
  std::optional<double> largest;
  for (std::size_t phase = 0; phase < phase_count; ++phase) {
    const std::optional<double> share = other_load_percent(run, phase);
    if (share && (!largest || *share > *largest)) largest = share;
  }
  return largest;
}

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
  static const nlohmann::json missing;
  if (!object.is_object()) return missing;
  const auto found = object.find(key);
  return found == object.end() ? missing : *found;
}

std::string text_member(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  return value.is_string() ? value.get<std::string>() : std::string();
}

}  // namespace quorvane::host
