// The machine descriptions of results documents side by side, as the
// comparison and the HTML report show them: each layout chooses its rows,
// and every document gets one cell per row.
#ifndef QUORVANE_TOOLS_RESULTS_MACHINE_TABLE_H
#define QUORVANE_TOOLS_RESULTS_MACHINE_TABLE_H

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quorvane::host {

struct machine_row {
  std::string label;
  // A document's text for the row; "" when the document does not say.
  std::function<std::string(const nlohmann::json& document)> describe;
};

// For each row, each document's text in the documents' order, and
// "not recorded" where a document does not say.
std::vector<std::vector<std::string>> machine_cells(
    const std::vector<machine_row>& rows, const std::vector<const nlohmann::json*>& documents);

// A machine member's "core_kinds" as a person reads it: "4 performance,
// 4 efficiency"; "one kind as far as the system shows" for an empty list;
// "" when the member is absent or not a list of kinds.
std::string core_kinds_cell(const nlohmann::json& machine);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_MACHINE_TABLE_H
