#include "tools/sqlite/qv_sqlite.h"

#include <sqlite3.h>
#include <unistd.h>

#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "logging/dd_log_macros.h"

namespace {

fnd::Error sqliteError(std::int64_t code, std::optional<std::string> description = std::nullopt) {
  if (!description) return fnd::Error(QVSQLiteErrorDomain, code);
  return fnd::Error(QVSQLiteErrorDomain, code, {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value(*description)}});
}

fnd::Error engineError(std::int64_t code, sqlite3* database) {
  return sqliteError(code, std::to_string(sqlite3_errcode(database)) + " - " + sqlite3_errmsg(database));
}

void set(std::optional<fnd::Error>* out, fnd::Error error) {
  if (out != nullptr) *out = std::move(error);
}

fnd::Value columnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      return fnd::Value(fnd::Number::numberWithInteger(static_cast<std::int64_t>(sqlite3_column_int64(statement, column))));
    case SQLITE_FLOAT:
      return fnd::Value(fnd::Number::numberWithDouble(sqlite3_column_double(statement, column)));
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      if (text == nullptr) return fnd::Value(fnd::Null::null());
      return fnd::Value(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
      const auto count = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
      return fnd::Value(fnd::Data::make(std::vector<std::uint8_t>(bytes, bytes + (bytes ? count : 0))));
    }
    default:
      return fnd::Value(fnd::Null::null());
  }
}

}  // namespace

QVSQLiteDatabase QVSQLiteOpenDatabase(const fnd::URL& databaseURL, std::optional<fnd::Error>* error) {
  const std::string path = databaseURL.path();
  if (::access(path.c_str(), F_OK) != 0) {
    set(error, sqliteError(QVSQLiteErrorDatabaseFileDoesNotExist));
    return nullptr;
  }
  if (::access(path.c_str(), R_OK) != 0) {
    set(error, sqliteError(QVSQLiteErrorDatabaseFileNotReadable));
    return nullptr;
  }
  sqlite3* database = nullptr;
  if (sqlite3_open(path.c_str(), &database) != SQLITE_OK) {
    set(error, database ? engineError(QVSQLiteErrorCannotOpenDatabase, database) : sqliteError(QVSQLiteErrorCannotOpenDatabase));
    sqlite3_close(database);
    return nullptr;
  }
  return database;
}

bool QVSQLiteCloseDatabase(QVSQLiteDatabase database) {
  if (database == nullptr) return false;
  int result = sqlite3_close(database);
  if (result != SQLITE_BUSY && result != SQLITE_LOCKED) return result == SQLITE_OK;
  while (sqlite3_stmt* statement = sqlite3_next_stmt(database, nullptr)) {
    DDLogError("Closing leaked statement");
    sqlite3_finalize(statement);
  }
  return sqlite3_close(database) == SQLITE_OK;
}

QVSQLiteRows QVSQLiteExecuteQuery(QVSQLiteDatabase database, std::string_view sql, std::optional<fnd::Error>* error) {
  FND_PARAMETER_ASSERT(database != nullptr);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK ||
      statement == nullptr) {
    set(error, engineError(QVSQLiteErrorCannotPrepareStatement, database));
    sqlite3_finalize(statement);
    return {};
  }
  const int columns = sqlite3_column_count(statement);
  std::vector<std::string> names;
  for (int column = 0; column < columns; ++column) {
    const char* name = sqlite3_column_name(statement, column);
    names.push_back(name ? name : "Undefined-" + std::to_string(column));
  }
  QVSQLiteRows rows;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    std::vector<fnd::Dictionary::Entry> entries;
    for (int column = 0; column < columns; ++column) entries.emplace_back(fnd::Value(names[column]), columnValue(statement, column));
    rows.push_back(fnd::Dictionary::make(std::move(entries)));
  }
  if (step != SQLITE_DONE) set(error, engineError(QVSQLiteErrorStepFailed, database));
  sqlite3_finalize(statement);
  return rows;
}
