// A thin owner of one SQLite connection and its prepared statements: every
// failure becomes a sqlite_failure carrying SQLite's own message, so the
// history's code reads as a sequence of statements.
#ifndef QUORVANE_TOOLS_HISTORY_SQLITE_DATABASE_H
#define QUORVANE_TOOLS_HISTORY_SQLITE_DATABASE_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvane::host {

struct sqlite_failure : std::runtime_error {
  sqlite_failure(int result_code, const std::string& message)
      : std::runtime_error(message), code(result_code) {}
  int code;  // SQLite's primary result code (SQLITE_BUSY, SQLITE_FULL, ...)
};

class sqlite_statement;

class sqlite_database {
 public:
  // Opens path for reading and writing (created when missing) or for
  // reading alone; throws sqlite_failure.
  sqlite_database(const std::string& path, bool writable);
  ~sqlite_database();
  sqlite_database(const sqlite_database&) = delete;
  sqlite_database& operator=(const sqlite_database&) = delete;

  // Runs statements that return nothing the caller needs.
  void execute(const std::string& sql);
  // The first column of the first row of a query, as an integer.
  std::int64_t integer(const std::string& sql);
  bool read_only() const;
  std::int64_t last_row_id() const;
  // Waits up to this long for another connection's lock.
  void busy_timeout(int milliseconds);

  [[noreturn]] void fail(int code) const;
  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class sqlite_statement {
 public:
  sqlite_statement(sqlite_database& db, const std::string& sql);
  ~sqlite_statement();
  sqlite_statement(const sqlite_statement&) = delete;
  sqlite_statement& operator=(const sqlite_statement&) = delete;

  // Parameters count from 1.
  sqlite_statement& bind(int index, const std::string& text);
  sqlite_statement& bind(int index, std::int64_t value);
  sqlite_statement& bind(int index, double value);
  sqlite_statement& bind_null(int index);
  // True while there is a row; false when done. Throws on failure.
  bool step();
  // Steps to the end and makes the statement ready to run again.
  void run();
  void reset();

  std::int64_t integer(int column) const;
  double real(int column) const;
  std::string text(int column) const;
  bool is_null(int column) const;

 private:
  sqlite_database& db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_HISTORY_SQLITE_DATABASE_H
