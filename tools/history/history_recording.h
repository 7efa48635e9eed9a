// quorvane --history: the invocation's results document into the history.
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_RECORDING_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_RECORDING_H

#include <nlohmann/json.hpp>
#include <string>

namespace quorvane::host {

// The database that --history FILE names, or the platform's usual one when
// chosen is empty; "" when there is no usual place (no home folder).
std::string history_database_path(const std::string& chosen);

// The error when history_database_path gave "".
extern const char* const no_history_place;

// Adds the document, all its runs in one transaction, to the history at
// path. Returns "" when it is there (added now, or already), else the
// one-line reason; the database then keeps what it held.
std::string record_history(const std::string& path, const nlohmann::json& document);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_RECORDING_H
