// What the .prom and .html exports read from a results document: its
// finished runs and the figures over them. A baseline read from report
// lines has the same runs and nothing else, so nothing here relies on the
// document's own summary or machine description.
#ifndef QUORVANE_TOOLS_RESULTS_DOCUMENT_FIGURES_H
#define QUORVANE_TOOLS_RESULTS_DOCUMENT_FIGURES_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/run_statistics.h"

namespace quorvane::host {

// The five phases whose other load a run records, in order.
constexpr std::size_t phase_count = 5;

// Whether a run is marked cancelled.
bool is_cancelled(const nlohmann::json& run);

// The runs that finished (not cancelled), in the document's order.
std::vector<const nlohmann::json*> finished_runs(const nlohmann::json& document);

// One member of the runs' reports, for each run that has it as a number.
std::vector<double> report_values(const std::vector<const nlohmann::json*>& runs, const char* key);

// Median, range and variation of one report member over the runs; nothing
// when no run has it.
std::optional<summary> summarise_report(const std::vector<const nlohmann::json*>& runs,
                                        const char* key);

// The share of the processors that other programs used during one phase
// (0-based index), percent; nothing when the run did not measure it.
std::optional<double> other_load_percent(const nlohmann::json& run, std::size_t phase);

// The largest of a run's measured per-phase shares; nothing when none was.
std::optional<double> largest_other_load_percent(const nlohmann::json& run);

// A member of an object; a null value when there is no such member or the
// value is not an object.
const nlohmann::json& member(const nlohmann::json& object, const char* key);

// A member's text; "" when it is missing or not a string.
std::string text_member(const nlohmann::json& object, const char* key);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_DOCUMENT_FIGURES_H
