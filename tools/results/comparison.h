// The comparison of this invocation's runs with a baseline's, computed once
// as a value: what differs between the two sides, one result per score and
// measurement over the clean runs of each, and the two machines side by
// side. The terminal, the results document and the HTML page only lay the
// value out, so they always agree.
#ifndef QUORVANE_TOOLS_RESULTS_COMPARISON_H
#define QUORVANE_TOOLS_RESULTS_COMPARISON_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "results/rank_statistics.h"
#include "results/run_statistics.h"

namespace quorvane::host {

// The runs of a results document that a comparison uses: finished, and
// clean (a version 1 run, which has no verdict, counts as clean).
std::vector<const nlohmann::json*> compared_runs(const nlohmann::json& document);

struct figure_comparison {
  const char* key = "";           // member of the runs' reports
  const char* label = "";         // words for a person
  std::size_t baseline_runs = 0;  // compared runs with the figure
  std::size_t current_runs = 0;
  // Over the compared runs; nothing when the side has no run.
  std::optional<double> baseline_median;
  std::optional<double> current_median;
  // The ratio shown (this side over the baseline) is the statistic's
  // Hodges-Lehmann estimate, the one its interval belongs to; the medians
  // are plain columns beside it.
  rank_comparison statistic;
  std::string verdict;  // "faster", ..., "too few runs", "not compared"
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

struct side_runs {
  std::size_t finished = 0;
  std::size_t compared = 0;  // finished and clean
};

struct machine_comparison_row {
  std::string label;
  std::string baseline;  // "not recorded" where the document does not say
  std::string current;
};

struct comparison {
  side_differences sides;
  side_runs baseline_runs;
  side_runs current_runs;
  std::string nothing_compared;            // why no figure is compared; "" when some are
  std::vector<figure_comparison> figures;  // in report_figures' order
  std::vector<machine_comparison_row> machines;
  std::string baseline_source;  // the baseline's file name, valid UTF-8
  // Each figure's median, range and count over the baseline's compared
  // runs, in report_figures' order; nothing where no run has it.
  std::vector<std::optional<summary>> baseline_summaries;
};

// The comparison of two results documents (the baseline as load_baseline
// returns it); baseline_source names the baseline's file.
comparison compare_documents(const nlohmann::json& baseline, const nlohmann::json& current,
                             const std::string& baseline_source);

// The comparison as the terminal shows it: the like-for-like header, how
// many runs each side gives and leaves out, one line per figure with both
// medians, the ratio, its 95% interval and the verdict, the notes, and the
// two machines.
std::string format_comparison(const comparison& compared);

// The "comparison" member of the current document: the value, with the
// baseline's header and machine copied from the baseline document.
nlohmann::json comparison_json(const comparison& compared, const nlohmann::json& baseline);

// The method, in the words the table and the document give it.
extern const char* const comparison_method;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_COMPARISON_H
