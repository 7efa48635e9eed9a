// Reading the report line and laying out one run's results.
#include "results/run_report.h"

#include <cstdio>

#include "number_text.h"
#include "results/json_depth.h"

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

namespace {

// The line as error messages quote it: a long one is cut, so one line of
// error stays readable.
std::string quoted(const std::string& line) {
  constexpr std::size_t longest_quote = 400;
  return line.size() <= longest_quote ? line : line.substr(0, longest_quote) + "...";
}

}  // namespace

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
    const double figure_value = value->get<double>();
    if (!(figure_value >= 0 && figure_value <= largest_figure)) {
      reason = std::string("the report's ") + figure.key + " " + value->dump() +
               " is outside 0 to 1e100";
      return std::nullopt;
    }
    figures.*figure.value = figure_value;
  }
  const nlohmann::json* threads = number("threads_used");
  if (threads == nullptr) return std::nullopt;
  const nlohmann::json* duration = number("duration_ms");
  if (duration == nullptr) return std::nullopt;
  if (!threads->is_number_unsigned() || !duration->is_number_unsigned()) {
    reason = "the report's threads_used and duration_ms must be whole numbers from 0";
    return std::nullopt;
  }
  if (threads->get<std::uint64_t>() > static_cast<std::uint64_t>(most_threads) ||
      duration->get<std::uint64_t>() > longest_run_ms) {
    reason = "the report's threads_used " + threads->dump() + " or duration_ms " +
             duration->dump() + " is more than a run can have";
    return std::nullopt;
  }
  figures.threads_used = threads->get<std::int64_t>();
  figures.duration_ms = duration->get<std::uint64_t>();
  return figures;
}

std::optional<run_report> parse_report(const std::string& line, nlohmann::json& report,
                                       std::string& error) {
  if (nested_deeper_than(line, deepest_json_nesting)) {
    report = nlohmann::json(nlohmann::json::value_t::discarded);
    error = "the report nests arrays or objects more than " + std::to_string(deepest_json_nesting) +
            " deep: " + quoted(line);
    return std::nullopt;
  }
  // A line that is not JSON at all parses to a discarded value, which
  // read_report refuses as not an object.
  report = nlohmann::json::parse(line, nullptr, false);
  std::optional<run_report> figures = read_report(report, error);
  if (!figures) error += ": " + quoted(line);
  return figures;
}

std::optional<run_report> parse_report(const std::string& line, std::string& error) {
  nlohmann::json report;
  return parse_report(line, report, error);
}

std::string format_results_table(const run_report& report, bool cancelled) {
  // Built whole, never in a fixed buffer: a figure prints all its digits.
  const auto row = [](const char* label, const std::string& value, const char* unit) {
    char padded[48];
    std::snprintf(padded, sizeof padded, "  %-32s ", label);
    std::string line = padded + std::string(value.size() < 12 ? 12 - value.size() : 0, ' ') + value;
    if (unit[0] != '\0') line += std::string("  ") + unit;
    return line + "\n";
  };
  std::string table = cancelled
                          ? "Results of the cancelled run (measurements it did not store read 0)\n"
                          : "Results\n";
  for (const report_figure& figure : report_figures) {
    table += row(figure.label, printed("%.0f", report.*figure.value), figure.unit);
  }
  table += row("processors", std::to_string(report.threads_used), "");
  table += row("duration", printed("%.2f", static_cast<double>(report.duration_ms) / 1000.0), "s");
  return table;
}

}  // namespace quorvane::host
