// Summary statistics over several runs.
#ifndef QUORVANE_TOOLS_RESULTS_RUN_STATISTICS_H
#define QUORVANE_TOOLS_RESULTS_RUN_STATISTICS_H

#include <cstddef>
#include <string>
#include <vector>

#include "results/run_report.h"

namespace quorvane::host {

struct summary {
  std::size_t count = 0;
  double mean = 0;
  double median = 0;
  double minimum = 0;
  double maximum = 0;
  // Sample standard deviation over the mean, in percent; nothing when it is
  // not defined (fewer than two values, or a mean of zero).
  bool has_variation = false;
  double variation_percent = 0;
};

// A figure as every table shows it: whole numbers without a decimal point,
// others (the median of an even count, 1108.5) with one decimal, so the
// terminal, the exports and the document say the same number.
std::string figure_text(double value);

// Summarises values; an empty list gives all zeros and no variation.
summary summarise(std::vector<double> values);

// The table of --runs: median, minimum, maximum and coefficient of variation
// of each measurement and score over the given runs, then the processor
// count(s) and the total duration.
std::string format_summary_table(const std::vector<run_report>& runs);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_RUN_STATISTICS_H
