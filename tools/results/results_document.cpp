// Building the results document.
#include "results/results_document.h"

#include <cmath>
#include <cstdio>

#include "machine/host_platform.h"
#include "results/json_optional.h"
#include "results/run_statistics.h"

namespace quorvane::host {
namespace {

nlohmann::json loads_json(const phase_loads& loads) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::optional<double>& load : loads) {
    // One decimal is finer than the system's clock ticks can tell apart.
    list.push_back(load ? std::optional<double>(std::round(*load * 10.0) / 10.0) : std::nullopt);
  }
  return list;
}

}  // namespace

const std::array<const char*, 9> report_keys = {
    "score_single",       "score_multi",      "int_single_mops",
    "int_multi_mops",     "fp_single_mflops", "fp_multi_mflops",
    "mem_bandwidth_mbps", "threads_used",     "duration_ms"};

std::string utc_timestamp(std::time_t moment) {
  std::tm calendar{};
  if (!platform::utc_calendar_time(moment, calendar)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02dZ",
                static_cast<long long>(calendar.tm_year) + 1900, calendar.tm_mon + 1,
                calendar.tm_mday, calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
  return text;
}

nlohmann::json summarise_runs(const nlohmann::json& runs) {
  nlohmann::json summary = nlohmann::json::object();
  std::vector<const nlohmann::json*> finished;
  for (const nlohmann::json& run : runs) {
    const auto report = run.find("report");
    if (!run.value("cancelled", false) && report != run.end() && report->is_object()) {
      finished.push_back(&*report);
    }
  }
  if (finished.empty()) return summary;
  for (const char* key : report_keys) {
    std::vector<double> values;
    for (const nlohmann::json* report : finished) {
      const auto value = report->find(key);
      if (value != report->end() && value->is_number()) values.push_back(value->get<double>());
    }
    if (values.empty()) continue;
    const struct summary s = summarise(values);
    nlohmann::json entry = {{"median", s.median}, {"min", s.minimum}, {"max", s.maximum}};
    entry["cv_percent"] =
        s.has_variation ? std::optional<double>(s.variation_percent) : std::nullopt;
    summary[key] = entry;
  }
  return summary;
}

nlohmann::json build_results_document(const document_header& header,
                                      const std::vector<run_record>& runs) {
  nlohmann::json document = {
      {"schema_version", results_schema_version},
      {"host_version", header.host_version},
      {"library_version", header.library_version},
      {"library_sha256", header.library_sha256.empty() ? nlohmann::json(nullptr)
                                                       : nlohmann::json(header.library_sha256)},
      {"started_at", header.started_at},
      {"machine", machine_json(header.machine)}};
  nlohmann::json run_list = nlohmann::json::array();
  for (const run_record& run : runs) {
    run_list.push_back({{"started_at", run.started_at},
                        {"ended_at", run.ended_at},
                        {"cancelled", run.cancelled},
                        {"report", run.report},
                        {"other_load_percent", loads_json(run.other_load_percent)},
                        {"conditions", run_conditions_json(run.conditions)},
                        {"verdict", verdict_json(run.verdict)},
                        {"host_processor_ms_per_second",
                         std::round(run.host_processor_ms_per_second * 1000.0) / 1000.0}});
  }
  std::size_t clean = 0;
  std::size_t disturbed = 0;
  for (const run_record& run : runs) {
    if (run.cancelled) continue;
    ++(run.verdict.clean ? clean : disturbed);
  }
  document["clean_runs"] = clean;
  document["disturbed_runs"] = disturbed;
  document["summary"] = summarise_runs(run_list);
  document["runs"] = std::move(run_list);
  return document;
}

}  // namespace quorvane::host
