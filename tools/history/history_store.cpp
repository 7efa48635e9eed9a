// The history database's writing and reading.
#include "history/history_store.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <map>

#include "history/history_figures.h"
#include "history/history_schema.h"
#include "history/machine_identity.h"
#include "history/sqlite_database.h"
#include "machine/host_platform.h"
#include "results/run_verdict.h"
#include "sha256.h"

namespace quorvane::host {
namespace {

// One line for a failure of SQLite while the history is read or written.
std::string failure_text(const std::string& path, const sqlite_failure& failure, bool writing) {
  const std::string subject =
      std::string(writing ? "cannot write" : "cannot read") + " the history database " + path;
  switch (failure.code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return subject + ": another program kept it locked for more than " +
             std::to_string(history_busy_timeout_ms / 1000) + " s";
    case SQLITE_READONLY:
      return subject + ": it is read-only";
    case SQLITE_FULL:
      return subject + ": the disk is full";
    case SQLITE_NOTADB:
      return path + " is not a history database (" + failure.what() + ")";
    case SQLITE_CORRUPT:
      return path + " is damaged (" + failure.what() + ")";
    default:
      return subject + ": " + failure.what();
  }
}

bool is_timestamp(const nlohmann::json& value) {
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  static const char shape[] = "0000-00-00T00:00:00Z";
  if (text.size() != sizeof shape - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '0' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

std::string text_member(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

// The run's conditions as the document gives them, whichever it has.
nlohmann::json run_conditions_of(const nlohmann::json& run) {
  nlohmann::json conditions = nlohmann::json::object();
  for (const char* key : {"conditions", "other_load_percent", "host_processor_ms_per_second"}) {
    const auto found = run.find(key);
    if (found != run.end()) conditions[key] = *found;
  }
  return conditions;
}

// The runs' order and numbers come from this query alone.
const char* const runs_query = R"sql(
  SELECT i.id, r.started_at, r.cancelled, r.clean, f.name, f.value, r.id
  FROM invocations i JOIN runs r ON r.invocation_id = i.id
  LEFT JOIN figures f ON f.run_id = r.id
  WHERE i.machine_id = ?1
  ORDER BY i.started_at, i.id, r.position, f.name)sql";

}  // namespace

std::string history_document_problem(const nlohmann::json& document) {
  if (!document.is_object()) return "it is not a results document (no JSON object)";
  const auto version = document.find("schema_version");
  if (version == document.end() || !version->is_number_integer() || version->get<int>() < 1 ||
      version->get<int>() > 2) {
    return "its schema_version is not one this host reads (1 or 2)";
  }
  if (!is_timestamp(document.value("started_at", nlohmann::json()))) {
    return "it has no started_at time";
  }
  const auto machine = document.find("machine");
  if (machine == document.end() || !machine->is_object()) return "it has no machine";
  const auto runs = document.find("runs");
  if (runs == document.end() || !runs->is_array()) return "it has no runs";
  for (std::size_t i = 0; i < runs->size(); ++i) {
    const nlohmann::json& run = (*runs)[i];
    const std::string name = "runs[" + std::to_string(i) + "]";
    if (!run.is_object()) return name + " is not an object";
    const auto cancelled = run.find("cancelled");
    if (cancelled != run.end() && !cancelled->is_boolean()) return name + " has a bad cancelled";
    const auto report = run.find("report");
    if (report == run.end() || !report->is_object()) return name + " has no report";
    for (const char* key : {"started_at", "ended_at"}) {
      const auto moment = run.find(key);
      if (moment != run.end() && !is_timestamp(*moment)) return name + " has a bad " + key;
    }
  }
  return "";
}

history_store::history_store(std::unique_ptr<sqlite_database> db, std::string path)
    : db_(std::move(db)), path_(std::move(path)) {}

history_store::~history_store() = default;

std::unique_ptr<history_store> history_store::open_for_writing(const std::string& path) {
  std::string error;
  if (!platform::make_parent_folders(path, error)) throw history_error(error);
  try {
    auto db = std::make_unique<sqlite_database>(path, true);
    db->busy_timeout(history_busy_timeout_ms);
    if (db->read_only()) {
      throw history_error("cannot write the history database " + path + ": it is read-only");
    }
    db->execute("PRAGMA foreign_keys = ON");
    {
      sqlite_statement mode(*db, "PRAGMA journal_mode");
      if (!mode.step() || mode.text(0) != "wal") {
        mode.reset();
        sqlite_statement set_mode(*db, "PRAGMA journal_mode = WAL");
        set_mode.run();
      }
    }
    db->execute("BEGIN IMMEDIATE");
    const std::int64_t version = db->integer("PRAGMA user_version");
    if (version > history_schema_version) {
      throw history_error("the history database " + path + " has schema version " +
                          std::to_string(version) + ", newer than this host knows (" +
                          std::to_string(history_schema_version) + "): nothing was written to it");
    }
    if (version == 0 && db->integer("SELECT count(*) FROM sqlite_master") > 0) {
      throw history_error(path + " is not a history database: it holds other tables");
    }
    migrate_history(*db, static_cast<int>(version), history_schema_version);
    return std::unique_ptr<history_store>(new history_store(std::move(db), path));
  } catch (const sqlite_failure& failure) {
    throw history_error(failure_text(path, failure, true));
  }
}

std::unique_ptr<history_store> history_store::open_for_reading(const std::string& path) {
  try {
    auto db = std::make_unique<sqlite_database>(path, false);
    db->busy_timeout(history_busy_timeout_ms);
    const std::int64_t version = db->integer("PRAGMA user_version");
    if (version > history_schema_version) {
      throw history_error("the history database " + path + " has schema version " +
                          std::to_string(version) + ", newer than this host knows (" +
                          std::to_string(history_schema_version) + ")");
    }
    if (version < history_schema_version) {
      throw history_error("the history database " + path + " has schema version " +
                          std::to_string(version) +
                          "; the next quorvane --history or history import brings it up to " +
                          std::to_string(history_schema_version));
    }
    return std::unique_ptr<history_store>(new history_store(std::move(db), path));
  } catch (const sqlite_failure& failure) {
    if (failure.code == SQLITE_CANTOPEN) {
      throw history_error("there is no history database at " + path +
                          " (quorvane --history starts one)");
    }
    throw history_error(failure_text(path, failure, false));
  }
}

bool history_store::add_document(const nlohmann::json& document, const std::string& origin) {
  const std::string problem = history_document_problem(document);
  if (!problem.empty()) throw history_error(problem);
  try {
    const sha256_digest digest = sha256(document.dump());
    const std::string fingerprint = hex_text(digest.data(), digest.size());
    {
      sqlite_statement known(*db_, "SELECT 1 FROM invocations WHERE document_sha256 = ?1");
      if (known.bind(1, fingerprint).step()) return false;
    }
    const nlohmann::json& machine = document["machine"];
    const std::string key = machine_key(machine);
    sqlite_statement add_machine(
        *db_, "INSERT INTO machines (machine_key) VALUES (?1) ON CONFLICT DO NOTHING");
    add_machine.bind(1, key).run();
    sqlite_statement find_machine(*db_, "SELECT id FROM machines WHERE machine_key = ?1");
    find_machine.bind(1, key).step();
    const std::int64_t machine_id = find_machine.integer(0);

    sqlite_statement add_invocation(*db_, R"sql(
      INSERT INTO invocations (machine_id, document_sha256, origin, started_at, host_version,
                               library_version, machine, system)
      VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8))sql");
    add_invocation.bind(1, machine_id)
        .bind(2, fingerprint)
        .bind(3, origin)
        .bind(4, document["started_at"].get<std::string>())
        .bind(5, text_member(document, "host_version"))
        .bind(6, text_member(document, "library_version"))
        .bind(7, machine.dump())
        .bind(8, system_parts(machine).dump());
    add_invocation.run();
    const std::int64_t invocation_id = db_->last_row_id();

    sqlite_statement add_run(*db_, R"sql(
      INSERT INTO runs (invocation_id, position, started_at, ended_at, cancelled, clean, verdict,
                        conditions, report)
      VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9))sql");
    const std::string started = document["started_at"].get<std::string>();
    std::int64_t position = 0;
    for (const nlohmann::json& run : document["runs"]) {
      const auto cancelled_member = run.find("cancelled");
      const bool cancelled = cancelled_member != run.end() && cancelled_member->is_boolean() &&
                             cancelled_member->get<bool>();
      const std::string run_started = text_member(run, "started_at");
      add_run.bind(1, invocation_id)
          .bind(2, ++position)
          .bind(3, run_started.empty() ? started : run_started)
          .bind(4, text_member(run, "ended_at"))
          .bind(5, std::int64_t{cancelled ? 1 : 0})
          .bind(6, std::int64_t{run_is_clean(run) ? 1 : 0})
          .bind(7, run.value("verdict", nlohmann::json()).dump())
          .bind(8, run_conditions_of(run).dump())
          .bind(9, run["report"].dump());
      add_run.run();
      insert_figures(*db_, db_->last_row_id(), run["report"]);
    }
    update_events_around(*db_, machine_id, invocation_id);
    return true;
  } catch (const sqlite_failure& failure) {
    throw history_error(failure_text(path_, failure, true));
  }
}

void history_store::commit() {
  try {
    db_->execute("COMMIT");
  } catch (const sqlite_failure& failure) {
    throw history_error(failure_text(path_, failure, true));
  }
}

std::vector<stored_machine> history_store::machines(const std::string& since) {
  try {
    std::vector<stored_machine> found;
    std::vector<std::int64_t> ids;
    {
      sqlite_statement listed(*db_, "SELECT id, machine_key FROM machines ORDER BY id");
      while (listed.step()) {
        ids.push_back(listed.integer(0));
        found.push_back({listed.text(1), nlohmann::json::object(), {}, {}});
      }
    }
    sqlite_statement latest(*db_, R"sql(
      SELECT machine FROM invocations WHERE machine_id = ?1
      ORDER BY started_at DESC, id DESC LIMIT 1)sql");
    sqlite_statement runs(*db_, runs_query);
    sqlite_statement events(*db_, R"sql(
      SELECT e.invocation_id, i.started_at, e.text FROM events e
      JOIN invocations i ON i.id = e.invocation_id WHERE i.machine_id = ?1
      ORDER BY i.started_at, i.id)sql");
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t m = 0; m < ids.size(); ++m) {
      stored_machine& machine = found[m];
      latest.bind(1, ids[m]);
      if (latest.step()) {
        machine.machine = nlohmann::json::parse(latest.text(0), nullptr, false);
        if (machine.machine.is_discarded()) machine.machine = nlohmann::json::object();
      }
      latest.reset();

      // The first run number of each invocation, for its event.
      std::map<std::int64_t, std::pair<int, bool>> first_run;  // run number, inside `since`
      std::int64_t last_run_id = -1;
      int number = 0;
      std::vector<stored_run> kept;
      bool keeping = false;
      runs.bind(1, ids[m]);
      while (runs.step()) {
        const std::int64_t run_id = runs.integer(6);
        if (run_id != last_run_id) {
          last_run_id = run_id;
          ++number;
          const std::string started_at = runs.text(1);
          keeping = since.empty() || started_at >= since;
          first_run.emplace(runs.integer(0), std::make_pair(number, keeping));
          if (keeping) {
            kept.push_back({number, started_at, runs.integer(2) != 0, runs.integer(3) != 0,
                            std::vector<double>(history_figures.size(), none)});
          }
        }
        if (!keeping || runs.is_null(4)) continue;
        const std::string name = runs.text(4);
        for (std::size_t f = 0; f < history_figures.size(); ++f) {
          if (name == history_figures[f].key) kept.back().values[f] = runs.real(5);
        }
      }
      runs.reset();
      machine.runs = std::move(kept);

      events.bind(1, ids[m]);
      while (events.step()) {
        const auto run = first_run.find(events.integer(0));
        if (run == first_run.end() || !run->second.second) continue;
        machine.events.push_back({run->second.first, events.text(1), events.text(2)});
      }
      events.reset();
    }
    return found;
  } catch (const sqlite_failure& failure) {
    throw history_error(failure_text(path_, failure, false));
  }
}

}  // namespace quorvane::host
