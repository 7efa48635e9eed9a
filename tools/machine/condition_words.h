// The words for the machine's conditions, from their values in the results
// document's "machine" member: the terminal's machine table, the comparison
// and the HTML page all say them, so one state reads the same everywhere.
#ifndef QUORVANE_TOOLS_MACHINE_CONDITION_WORDS_H
#define QUORVANE_TOOLS_MACHINE_CONDITION_WORDS_H

#include <nlohmann/json.hpp>
#include <string>

namespace quorvane::host {

// What the machine shows when it shows no such condition at all.
inline constexpr const char* not_reported_words = "not reported";

// "1.95 processors": the quota as every table and every reason prints it.
std::string quota_words(double processors);

// The words for a machine member's value:
//   quota_processors  "0.50 processors"; null "none seen" (no quota could be
//                     seen, whether or not the machine shows its quotas)
//   container_signs   "yes (/.dockerenv, overlay root)"; [] "no sign of one";
//                     null "not reported"
//   boost             "on", "off"
//   any other         its text or number; null "not reported"
std::string condition_words(const std::string& key, const nlohmann::json& value);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_MACHINE_CONDITION_WORDS_H
