// The history database: results documents in, machines and their runs out.
//
// Writing takes the database's write lock at once (BEGIN IMMEDIATE), waits
// up to history_busy_timeout_ms for another writer, and keeps everything
// one invocation adds in that one transaction: a reader, or a process
// killed half-way, sees all of it or none. The journal is a write-ahead
// log, so readers never block the writer, and foreign keys are enforced.
#ifndef QUORVANE_TOOLS_HISTORY_HISTORY_STORE_H
#define QUORVANE_TOOLS_HISTORY_HISTORY_STORE_H

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane::host {

class sqlite_database;

// Long enough for another host's whole invocation to land (a few
// milliseconds each), short enough that a cron job stuck behind a hung
// writer gives up the same minute.
constexpr int history_busy_timeout_ms = 5000;

// Every failure of the history, as one line naming the database.
struct history_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A run as the reading side needs it.
struct stored_run {
  int number = 0;  // 1, 2, ... over the machine's runs in time order
  std::string started_at;
  bool cancelled = false;
  bool clean = true;
  // Values by figure (history_figures' order); NaN where the run has none.
  std::vector<double> values;
};

struct stored_event {
  int run = 0;  // the number of the first run after the change
  std::string at;
  std::string text;  // "system changed: Linux 6.1 → 6.6"
};

struct stored_machine {
  std::string key;         // "id:…" or "description:…"
  nlohmann::json machine;  // its latest description
  std::vector<stored_run> runs;
  std::vector<stored_event> events;
};

class history_store {
 public:
  // Opens (creating it and its folder when missing) the database at path
  // for writing, brings its schema up to this host's version and takes the
  // write lock: nothing is written until commit(). Throws history_error.
  static std::unique_ptr<history_store> open_for_writing(const std::string& path);
  // Opens an existing database for reading. Throws history_error.
  static std::unique_ptr<history_store> open_for_reading(const std::string& path);
  ~history_store();
  history_store(const history_store&) = delete;
  history_store& operator=(const history_store&) = delete;

  // Adds one results document, checked first (throws history_error naming
  // what is wrong). origin is "run" or "import". Returns false when the same
  // document is there already, and adds nothing.
  bool add_document(const nlohmann::json& document, const std::string& origin);
  // Makes everything added since opening durable, in one step.
  void commit();

  // Every machine, its runs from `since` (UTC "YYYY-MM-DD" or a whole
  // timestamp; "" for all) and its events.
  std::vector<stored_machine> machines(const std::string& since = "");

 private:
  history_store(std::unique_ptr<sqlite_database> db, std::string path);
  std::unique_ptr<sqlite_database> db_;
  std::string path_;
};

// Checks that a results document can enter the history; "" when it can,
// else what is wrong ("runs[2] has no report").
std::string history_document_problem(const nlohmann::json& document);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_HISTORY_STORE_H
