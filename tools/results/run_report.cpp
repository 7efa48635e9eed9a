// Reading the report line and laying out one run's results.
#include "results/run_report.h"

#include <cstdio>

namespace quorvane::host {

const std::array<report_figure, figure_count> report_figures = {{
    {"int_single_mops", "integer mixing, one thread", "million steps/s",
     &run_report::int_single_mops},
    {"int_multi_mops", "integer mixing, all processors", "million steps/s",
     &run_report::int_multi_mops},
    {"fp_single_mflops", "floating point, one thread", "MFLOP/s", &run_report::fp_single_mflops},
    {"fp_multi_mflops", "floating point, all processors", "MFLOP/s", &run_report::fp_multi_mflops},
    {"mem_bandwidth_mbps", "memory copy", "MiB/s", &run_report::mem_bandwidth_mbps},
    {"score_single", "single-thread score", "", &run_report::score_single},
    {"score_multi", "multi-thread score", "", &run_report::score_multi},
}};

std::optional<run_report> read_report(const nlohmann::json& report, std::string& reason) {
  if (!report.is_object()) {
    reason = "the report is not a JSON object";
    return std::nullopt;
  }
  auto number = [&](const char* key) -> const nlohmann::json* {
    const auto found = report.find(key);
    if (found == report.end() || !found->is_number()) {
      reason = std::string("the report has no number '") + key + "'";
      return nullptr;
    }
    return &*found;
  };

  run_report figures;
  for (const report_figure& figure : report_figures) {
    const nlohmann::json* value = number(figure.key);
    if (value == nullptr) return std::nullopt;
    figures.*figure.value = value->get<double>();
  }
  const nlohmann::json* threads = number("threads_used");
  if (threads == nullptr) return std::nullopt;
  const nlohmann::json* duration = number("duration_ms");
  if (duration == nullptr) return std::nullopt;
  if (!threads->is_number_integer() || !duration->is_number_unsigned()) {
    reason = "the report's threads_used and duration_ms must be whole numbers";
    return std::nullopt;
  }
  figures.threads_used = threads->get<std::int64_t>();
  figures.duration_ms = duration->get<std::uint64_t>();
  return figures;
}

std::optional<run_report> parse_report(const std::string& line, nlohmann::json& report,
                                       std::string& error) {
  // A line that is not JSON at all parses to a discarded value, which
  // read_report refuses as not an object.
  report = nlohmann::json::parse(line, nullptr, false);
  std::optional<run_report> figures = read_report(report, error);
  if (!figures) error += ": " + line;
  return figures;
}

std::optional<run_report> parse_report(const std::string& line, std::string& error) {
  nlohmann::json report;
  return parse_report(line, report, error);
}

std::string format_results_table(const run_report& report, bool cancelled) {
  std::string table;
  char line[160];
  table += cancelled ? "Results of the cancelled run (measurements it did not store read 0)\n"
                     : "Results\n";
  for (const report_figure& figure : report_figures) {
    if (figure.unit[0] != '\0') {
      std::snprintf(line, sizeof line, "  %-32s %12.0f  %s\n", figure.label, report.*figure.value,
                    figure.unit);
    } else {
      std::snprintf(line, sizeof line, "  %-32s %12.0f\n", figure.label, report.*figure.value);
    }
    table += line;
  }
  std::snprintf(line, sizeof line, "  %-32s %12lld\n", "processors",
                static_cast<long long>(report.threads_used));
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %12.2f  s\n", "duration",
                static_cast<double>(report.duration_ms) / 1000.0);
  table += line;
  return table;
}

}  // namespace quorvane::host
