// Reading the baseline of --compare FILE: a results document, or the report
// lines that --json prints.
#ifndef QUORVANE_TOOLS_RESULTS_BASELINE_H
#define QUORVANE_TOOLS_RESULTS_BASELINE_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quorvane::host {

// The results document versions this host reads: 1, whose runs carry no
// conditions or verdict (they count as clean), up to the one it writes.
constexpr int oldest_schema_version = 1;
constexpr int known_schema_version = 2;

// The most runs a baseline may hold, as many as one invocation makes: the
// comparison's statistic takes every pair of runs, so the runs bound its
// memory.
constexpr std::size_t max_baseline_runs = 1000;

// Reads and checks the baseline at path (UTF-8), in the shape of a results
// document: a document is returned as it is; a file of report lines (one
// library report per line, JSON Lines) becomes
//   {"schema_version": 1, "runs": [{"cancelled": false, "report": {...}}, ...]}
// with no "machine" member. Every finished run's report has the nine report
// members as numbers, and at least one run is finished.
//
// On failure returns nothing and sets error to one line naming the file and
// the problem, for example
//   "baseline old.json: schema_version 3 is not known (this host reads 1 and 2)".
std::optional<nlohmann::json> load_baseline(const std::string& path, std::string& error);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_BASELINE_H
