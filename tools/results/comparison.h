// The comparison of this invocation's runs with a baseline's: one line per
// score and measurement, and the two machines side by side.
#ifndef QUORVANE_TOOLS_RESULTS_COMPARISON_H
#define QUORVANE_TOOLS_RESULTS_COMPARISON_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "results/significance.h"

namespace quorvane::host {

struct figure_comparison {
  std::size_t baseline_runs = 0;  // finished runs with the figure
  std::size_t current_runs = 0;
  double baseline_median = 0;  // 0 when the side has no run
  double current_median = 0;
  std::optional<double> ratio;  // current over baseline median; nothing
                                // when a side has no run or a zero median
  sample_comparison significance;
};

// Compares one report member (a key of report_figures) of two results
// documents over their finished runs.
figure_comparison compare_figure(const nlohmann::json& baseline, const nlohmann::json& current,
                                 const char* key);

// The comparison table: for each of the seven figures of report_figures the
// baseline median, this median, the ratio and the verdict, with the notes
// that qualify the verdicts below it; then the baseline's machine
// description beside this one ("not recorded" when the baseline has none).
// Both arguments are results documents (the baseline as load_baseline
// returns it).
std::string format_comparison(const nlohmann::json& baseline, const nlohmann::json& current);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_COMPARISON_H
