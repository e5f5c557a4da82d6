#include "foundation/sqlite_database.h"

#include <sqlite3.h>

#include <utility>

#include "foundation/format.h"

namespace fnd {

namespace {

Error sqliteError(int code, std::string_view during, std::string_view message, std::string_view path) {
  return Error(NSSQLiteErrorDomain, code,
               {{Value(NSLocalizedDescriptionKey), Value(StringWithFormat("%@ failed: %@", during, message))},
                {Value("NSFilePath"), Value(path)}});
}

}  // namespace

Expected<std::unique_ptr<SQLiteDatabase>> SQLiteDatabase::open(const std::string& path, OpenMode mode,
                                                                std::chrono::milliseconds busyTimeout) {
  const int flags = (mode == OpenMode::readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
  sqlite3* db = nullptr;
  const int status = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (status != SQLITE_OK) {
    Error error = sqliteError(sqlite3_extended_errcode(db), "Opening the database",
                              db ? sqlite3_errmsg(db) : sqlite3_errstr(status), path);
    sqlite3_close_v2(db);
    return error;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, static_cast<int>(busyTimeout.count()));
  return std::unique_ptr<SQLiteDatabase>(new SQLiteDatabase(db, path));
}

SQLiteDatabase::~SQLiteDatabase() { sqlite3_close_v2(db_); }

Error SQLiteDatabase::lastError(std::string_view during) const {
  return sqliteError(sqlite3_extended_errcode(db_), during, sqlite3_errmsg(db_), path_);
}

Expected<void> SQLiteDatabase::execute(std::string_view sql) {
  const std::string text(sql);
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return lastError(text);
  return success();
}

Expected<SQLiteStatement> SQLiteDatabase::prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
    return lastError(StringWithFormat("Preparing \"%@\"", sql));
  }
  return SQLiteStatement(*this, statement);
}

Expected<std::int64_t> SQLiteDatabase::dataVersion() {
  auto statement = prepare("PRAGMA data_version");
  if (!statement) return statement.error();
  auto row = statement->step();
  if (!row) return row.error();
  return statement->columnInteger(0);
}

SQLiteStatement::SQLiteStatement(SQLiteStatement&& other) noexcept
    : database_(other.database_), statement_(std::exchange(other.statement_, nullptr)) {}

SQLiteStatement& SQLiteStatement::operator=(SQLiteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    database_ = other.database_;
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

SQLiteStatement::~SQLiteStatement() { sqlite3_finalize(statement_); }

Expected<void> SQLiteStatement::bind(int index, std::string_view text) {
  if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    return database_->lastError("Binding a text");
  }
  return success();
}

Expected<void> SQLiteStatement::bind(int index, std::span<const std::uint8_t> blob) {
  // A null pointer would bind NULL, not an empty blob.
  static const std::uint8_t kEmpty = 0;
  const void* bytes = blob.empty() ? &kEmpty : blob.data();
  if (sqlite3_bind_blob(statement_, index, bytes, static_cast<int>(blob.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    return database_->lastError("Binding a blob");
  }
  return success();
}

Expected<void> SQLiteStatement::bind(int index, std::int64_t integer) {
  if (sqlite3_bind_int64(statement_, index, integer) != SQLITE_OK) return database_->lastError("Binding an integer");
  return success();
}

Expected<void> SQLiteStatement::bindNull(int index) {
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) return database_->lastError("Binding null");
  return success();
}

Expected<bool> SQLiteStatement::step() {
  switch (sqlite3_step(statement_)) {
    case SQLITE_ROW:
      return true;
    case SQLITE_DONE:
      return false;
    default:
      return database_->lastError(StringWithFormat("Running \"%@\"", sqlite3_sql(statement_)));
  }
}

void SQLiteStatement::reset() { sqlite3_reset(statement_); }

std::string SQLiteStatement::columnText(int column) const {
  const auto* text = sqlite3_column_text(statement_, column);
  const int length = sqlite3_column_bytes(statement_, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)) : std::string();
}

std::vector<std::uint8_t> SQLiteStatement::columnBlob(int column) const {
  const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
  const int length = sqlite3_column_bytes(statement_, column);
  return bytes ? std::vector<std::uint8_t>(bytes, bytes + length) : std::vector<std::uint8_t>();
}

std::int64_t SQLiteStatement::columnInteger(int column) const { return sqlite3_column_int64(statement_, column); }

bool SQLiteStatement::columnIsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

}  // namespace fnd
