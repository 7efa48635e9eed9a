// Which machine a results document came from, and what changed on it.
//
// The identity is the system's own machine ID hashed with a fixed key of
// this application (HMAC-SHA256, keyed by the ID, of the application's
// 128-bit ID, cut to 128 bits and marked as a version 4 UUID), so the raw
// ID never leaves the machine and other applications' hashes of the same
// ID do not match this one. It survives an operating-system update: the
// machine ID stays when the system is upgraded.
#ifndef QUORVANE_TOOLS_HISTORY_MACHINE_IDENTITY_H
#define QUORVANE_TOOLS_HISTORY_MACHINE_IDENTITY_H

#include <nlohmann/json.hpp>
#include <string>

namespace quorvane::host {

// The hashed ID, 32 lower-case hexadecimal digits, of a raw machine ID (32
// hexadecimal digits, dashes and surrounding white space allowed, as
// /etc/machine-id and MachineGuid write it); "" when raw is no such ID or is
// all zeros.
std::string hashed_machine_id(const std::string& raw);

// True when text is a hashed ID as hashed_machine_id makes it.
bool is_machine_id(const std::string& text);

// The key a document's machine is stored under: "id:" and its hashed ID,
// or, for a document without one, "description:" and a hash of the parts
// of its description that system_change compares: such a document is its
// own machine.
std::string machine_key(const nlohmann::json& machine);

// The parts of a machine's description whose change makes the figures
// move: processor, processors, memory, kernel, quota and virtualisation.
nlohmann::json system_parts(const nlohmann::json& machine);

// "system changed: Linux 6.1 → 6.6" from the parts before and after; ""
// when none of them changed.
std::string system_change(const nlohmann::json& before, const nlohmann::json& after);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_MACHINE_IDENTITY_H
