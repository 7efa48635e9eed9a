// The comparison of this invocation's runs with a baseline's: what differs
// between the two sides, one line per score and measurement over the clean
// runs of each, and the two machines side by side.
#ifndef QUORVANE_TOOLS_RESULTS_COMPARISON_H
#define QUORVANE_TOOLS_RESULTS_COMPARISON_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "results/rank_statistics.h"

namespace quorvane::host {

// The runs of a results document that a comparison uses: finished, and
// clean (a version 1 run, which has no verdict, counts as clean).
std::vector<const nlohmann::json*> compared_runs(const nlohmann::json& document);

struct figure_comparison {
  std::size_t baseline_runs = 0;  // compared runs with the figure
  std::size_t current_runs = 0;
  double baseline_median = 0;  // 0 when the side has no run
  double current_median = 0;
  std::optional<double> ratio;  // current over baseline median; nothing
                                // when a side has no run or a zero median
  rank_comparison statistic;
  std::string why_not;  // why no verdict: "no clean finished run here"
};

// Compares one report member (a key of report_figures) of two results
// documents over their compared runs.
figure_comparison compare_figure(const nlohmann::json& baseline, const nlohmann::json& current,
                                 const char* key);

// Every difference between the two sides that changes the numbers:
// "processor model: Old CPU there, New CPU here". A member only one side
// records is not a difference; it is in not_recorded.
struct side_differences {
  std::vector<std::string> differences;
  std::vector<std::string> not_recorded;  // "virtualisation", ...
};
side_differences compare_sides(const nlohmann::json& baseline, const nlohmann::json& current);

// The comparison as the terminal shows it: the like-for-like header, how
// many runs each side gives and leaves out, one line per figure with both
// medians, the ratio, its 95% interval and the verdict, the notes, and the
// two machines. Both arguments are results documents (the baseline as
// load_baseline returns it).
std::string format_comparison(const nlohmann::json& baseline, const nlohmann::json& current);

// The "comparison" member of the current document: where the baseline came
// from, its summary and runs, the differences and each figure's result.
nlohmann::json comparison_json(const nlohmann::json& baseline, const nlohmann::json& current,
                               const std::string& baseline_source);

// The method, in the words the table and the document give it.
extern const char* const comparison_method;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_COMPARISON_H
