// The SQLite connection and its statements.
#include "history/sqlite_database.h"

#include <sqlite3.h>

namespace quorvane::host {

sqlite_database::sqlite_database(const std::string& path, bool writable) {
  const int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
  const int code = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    sqlite3_close(db_);
    db_ = nullptr;
    throw sqlite_failure(code & 0xff, message);
  }
  sqlite3_extended_result_codes(db_, 1);
}

sqlite_database::~sqlite_database() { sqlite3_close_v2(db_); }

void sqlite_database::fail(int code) const {
  throw sqlite_failure(code & 0xff, sqlite3_errmsg(db_));
}

void sqlite_database::execute(const std::string& sql) {
  const int code = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) fail(code);
}

std::int64_t sqlite_database::integer(const std::string& sql) {
  sqlite_statement statement(*this, sql);
  return statement.step() ? statement.integer(0) : 0;
}

bool sqlite_database::read_only() const { return sqlite3_db_readonly(db_, "main") == 1; }

std::int64_t sqlite_database::last_row_id() const { return sqlite3_last_insert_rowid(db_); }

void sqlite_database::busy_timeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

sqlite_statement::sqlite_statement(sqlite_database& db, const std::string& sql) : db_(db) {
  const int code = sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()),
                                      &statement_, nullptr);
  if (code != SQLITE_OK) db.fail(code);
}

sqlite_statement::~sqlite_statement() { sqlite3_finalize(statement_); }

sqlite_statement& sqlite_statement::bind(int index, const std::string& text) {
  const int code = sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                     SQLITE_TRANSIENT);
  if (code != SQLITE_OK) db_.fail(code);
  return *this;
}

sqlite_statement& sqlite_statement::bind(int index, std::int64_t value) {
  const int code = sqlite3_bind_int64(statement_, index, value);
  if (code != SQLITE_OK) db_.fail(code);
  return *this;
}

sqlite_statement& sqlite_statement::bind(int index, double value) {
  const int code = sqlite3_bind_double(statement_, index, value);
  if (code != SQLITE_OK) db_.fail(code);
  return *this;
}

sqlite_statement& sqlite_statement::bind_null(int index) {
  const int code = sqlite3_bind_null(statement_, index);
  if (code != SQLITE_OK) db_.fail(code);
  return *this;
}

bool sqlite_statement::step() {
  const int code = sqlite3_step(statement_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  sqlite3_reset(statement_);
  db_.fail(code);
}

void sqlite_statement::run() {
  while (step()) {
  }
  reset();
}

void sqlite_statement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t sqlite_statement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double sqlite_statement::real(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::string sqlite_statement::text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return "";
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

bool sqlite_statement::is_null(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

}  // namespace quorvane::host
