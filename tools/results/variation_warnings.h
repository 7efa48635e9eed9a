// Warning when a figure's runs disagree more than a steady machine's do.
#ifndef QUORVANE_TOOLS_RESULTS_VARIATION_WARNINGS_H
#define QUORVANE_TOOLS_RESULTS_VARIATION_WARNINGS_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quorvane::host {

// A steady machine repeats every figure within about 1%.
constexpr double variation_warning_percent = 3.0;

// One line for each score and measurement whose coefficient of variation
// in summary (the results document's "summary") is above the threshold:
// "warning: multi-thread score varied by 5.2% over 3 runs (coefficient of
// variation); above 3% the machine was not steady".
std::vector<std::string> variation_warnings(const nlohmann::json& summary, std::size_t runs);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_VARIATION_WARNINGS_H
