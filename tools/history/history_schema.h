// The history database's tables, and the steps that bring an older
// database up to this host's version. PRAGMA user_version holds the
// version; docs/history.md describes the tables.
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_SCHEMA_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_SCHEMA_H

#include "history/sqlite_database.h"

namespace quorvane::host {

// Version 1: machines, invocations and their runs, each run with its
// report, verdict and conditions as JSON text. Version 2 adds each run's
// figures as rows (the reading side's index), each invocation's system
// parts, and the system-changed events.
constexpr int history_schema_version = 2;

// Takes db, inside a write transaction the caller holds, from version
// `from` up to `to`, one step at a time, and sets user_version. Version 0
// is an empty database.
void migrate_history(sqlite_database& db, int from, int to);

// Recomputes the system-changed events of the invocations just before and
// after an invocation of a machine (and of that invocation itself), after
// it was added.
void update_events_around(sqlite_database& db, std::int64_t machine_id, std::int64_t invocation_id);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_SCHEMA_H
