// Median, range and coefficient of variation over several runs.
#include "results/run_statistics.h"
#include "number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvane::host {

std::string figure_text(double value) {
  const bool whole = std::fabs(value - std::round(value)) < 1e-9;
  return printed(whole ? "%.0f" : "%.1f", value);
}

summary summarise(std::vector<double> values) {
  summary result;
  if (values.empty()) return result;
  std::sort(values.begin(), values.end());
  const std::size_t count = values.size();
  result.count = count;
  result.minimum = values.front();
  result.maximum = values.back();
  result.median =
      count % 2 == 1 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2.0;
  double sum = 0;
  for (double value : values) sum += value;
  const double mean = sum / static_cast<double>(count);
  result.mean = mean;
  if (count < 2 || mean == 0) return result;
  double squares = 0;
  for (double value : values) squares += (value - mean) * (value - mean);
  // The sample (n - 1) deviation: a handful of runs is a sample of what the
  // machine can do, not the whole population.
  const double deviation = std::sqrt(squares / static_cast<double>(count - 1));
  result.has_variation = true;
  result.variation_percent = 100.0 * deviation / std::fabs(mean);
  return result;
}

std::string format_summary_table(const std::vector<run_report>& runs) {
  std::string table;
  char line[200];
  std::snprintf(line, sizeof line, "Summary of %zu runs\n", runs.size());
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %9s %9s %9s %7s\n", "", "median", "min", "max", "cv");
  table += line;
  for (const report_figure& figure : report_figures) {
    std::vector<double> values;
    values.reserve(runs.size());
    for (const run_report& run : runs) values.push_back(run.*figure.value);
    const summary s = summarise(values);
    char variation[16];
    if (s.has_variation) {
      std::snprintf(variation, sizeof variation, "%.1f%%", s.variation_percent);
    } else {
      std::snprintf(variation, sizeof variation, "-");
    }
    // The figures go in whole, never cut to a buffer.
    std::snprintf(line, sizeof line, "  %-32s", figure.label);
    table += line;
    for (double value : {s.median, s.minimum, s.maximum}) {
      table += " " + right_aligned(figure_text(value), 9);
    }
    table += " " + right_aligned(variation, 7);
    if (figure.unit[0] != '\0') {
      table += "  ";
      table += figure.unit;
    }
    table += "\n";
  }

  std::int64_t fewest = runs.empty() ? 0 : runs.front().threads_used;
  std::int64_t most = fewest;
  double total_seconds = 0;
  for (const run_report& run : runs) {
    fewest = std::min(fewest, run.threads_used);
    most = std::max(most, run.threads_used);
    total_seconds += static_cast<double>(run.duration_ms) / 1000.0;
  }
  if (fewest == most) {
    std::snprintf(line, sizeof line, "  %-32s %9lld\n", "processors", static_cast<long long>(most));
  } else {
    std::snprintf(line, sizeof line, "  %-32s %2lld to %lld\n", "processors",
                  static_cast<long long>(fewest), static_cast<long long>(most));
  }
  table += line;
  std::snprintf(line, sizeof line, "  %-32s %9.2f  s\n", "total duration", total_seconds);
  table += line;
  return table;
}

}  // namespace quorvane::host
