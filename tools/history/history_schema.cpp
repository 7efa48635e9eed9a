// The schema's versions and the migrations between them.
#include "history/history_schema.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/history_figures.h"
#include "history/machine_identity.h"

namespace quorvane::host {
namespace {

const char* const version_1 = R"sql(
CREATE TABLE machines (
  id INTEGER PRIMARY KEY,
  machine_key TEXT NOT NULL UNIQUE
);
CREATE TABLE invocations (
  id INTEGER PRIMARY KEY,
  machine_id INTEGER NOT NULL REFERENCES machines(id),
  document_sha256 TEXT NOT NULL UNIQUE,
  origin TEXT NOT NULL CHECK (origin IN ('run', 'import')),
  started_at TEXT NOT NULL,
  host_version TEXT NOT NULL,
  library_version TEXT NOT NULL,
  machine TEXT NOT NULL
);
CREATE INDEX invocations_by_machine ON invocations (machine_id, started_at, id);
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  invocation_id INTEGER NOT NULL REFERENCES invocations(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  started_at TEXT NOT NULL,
  ended_at TEXT NOT NULL,
  cancelled INTEGER NOT NULL CHECK (cancelled IN (0, 1)),
  clean INTEGER NOT NULL CHECK (clean IN (0, 1)),
  verdict TEXT NOT NULL,
  conditions TEXT NOT NULL,
  report TEXT NOT NULL,
  UNIQUE (invocation_id, position)
);
)sql";

const char* const version_2 = R"sql(
ALTER TABLE invocations ADD COLUMN system TEXT NOT NULL DEFAULT '{}';
CREATE TABLE figures (
  run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  value REAL NOT NULL,
  PRIMARY KEY (run_id, name)
) WITHOUT ROWID;
-- The reading side's scan of a machine's runs touches this index alone.
CREATE INDEX runs_in_order ON runs (invocation_id, position, started_at, cancelled, clean);
CREATE TABLE events (
  invocation_id INTEGER PRIMARY KEY REFERENCES invocations(id) ON DELETE CASCADE,
  text TEXT NOT NULL
);
)sql";

nlohmann::json parsed_or_empty(const std::string& text) {
  nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  return value.is_discarded() ? nlohmann::json::object() : value;
}

// Fills what version 2 adds from what version 1 holds.
void fill_version_2(sqlite_database& db) {
  {
    sqlite_statement invocations(db, "SELECT id, machine FROM invocations");
    sqlite_statement set_system(db, "UPDATE invocations SET system = ?1 WHERE id = ?2");
    while (invocations.step()) {
      set_system.bind(1, system_parts(parsed_or_empty(invocations.text(1))).dump())
          .bind(2, invocations.integer(0));
      set_system.run();
    }
  }
  {
    sqlite_statement runs(db, "SELECT id, report FROM runs");
    while (runs.step()) {
      insert_figures(db, runs.integer(0), parsed_or_empty(runs.text(1)));
    }
  }
  sqlite_statement machines(db, "SELECT id FROM machines");
  sqlite_statement invocations(
      db, "SELECT id FROM invocations WHERE machine_id = ?1 ORDER BY started_at, id");
  while (machines.step()) {
    const std::int64_t machine = machines.integer(0);
    std::vector<std::int64_t> ids;
    invocations.bind(1, machine);
    while (invocations.step()) ids.push_back(invocations.integer(0));
    invocations.reset();
    for (const std::int64_t id : ids) update_events_around(db, machine, id);
  }
}

}  // namespace

void update_events_around(sqlite_database& db, std::int64_t machine_id,
                          std::int64_t invocation_id) {
  // The neighbours in time of the invocation, by (started_at, id).
  sqlite_statement around(db, R"sql(
    WITH me AS (SELECT started_at, id FROM invocations WHERE id = ?2)
    SELECT * FROM (SELECT i.id, i.system FROM invocations i, me
                   WHERE i.machine_id = ?1 AND (i.started_at, i.id) < (me.started_at, me.id)
                   ORDER BY i.started_at DESC, i.id DESC LIMIT 1)
    UNION ALL SELECT id, system FROM invocations WHERE id = ?2
    UNION ALL
    SELECT * FROM (SELECT i.id, i.system FROM invocations i, me
                   WHERE i.machine_id = ?1 AND (i.started_at, i.id) > (me.started_at, me.id)
                   ORDER BY i.started_at, i.id LIMIT 1))sql");
  around.bind(1, machine_id).bind(2, invocation_id);
  std::vector<std::pair<std::int64_t, nlohmann::json>> rows;
  while (around.step()) rows.emplace_back(around.integer(0), parsed_or_empty(around.text(1)));
  sqlite_statement remove(db, "DELETE FROM events WHERE invocation_id = ?1");
  sqlite_statement insert(db, "INSERT INTO events (invocation_id, text) VALUES (?1, ?2)");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].first == invocation_id || i > 0) {
      remove.bind(1, rows[i].first);
      remove.run();
    }
    if (i == 0) continue;
    const std::string change = system_change(rows[i - 1].second, rows[i].second);
    if (change.empty()) continue;
    insert.bind(1, rows[i].first).bind(2, change);
    insert.run();
  }
}

void migrate_history(sqlite_database& db, int from, int to) {
  for (int version = from + 1; version <= to; ++version) {
    if (version == 1) db.execute(version_1);
    if (version == 2) {
      db.execute(version_2);
      fill_version_2(db);
    }
    db.execute("PRAGMA user_version = " + std::to_string(version));
  }
}

}  // namespace quorvane::host
