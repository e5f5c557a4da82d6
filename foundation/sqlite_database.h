#pragma once

// A thin owner of an SQLite connection and its statements. Failures come back
// as errors in "NSSQLiteErrorDomain" with SQLite's extended result code, so
// callers (preferences, the launch-services registry, the Launchpad database)
// handle them like any other error.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"

struct sqlite3;
struct sqlite3_stmt;

namespace fnd {

inline constexpr std::string_view NSSQLiteErrorDomain = "NSSQLiteErrorDomain";

class SQLiteStatement;

class SQLiteDatabase {
 public:
  enum class OpenMode { readOnly, readWriteCreate };

  // Waits up to `busyTimeout` for another connection's lock before failing
  // with SQLITE_BUSY.
  [[nodiscard]] static Expected<std::unique_ptr<SQLiteDatabase>> open(
      const std::string& path, OpenMode mode, std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));
  ~SQLiteDatabase();
  SQLiteDatabase(const SQLiteDatabase&) = delete;
  SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

  // Runs one or more statements that return no rows.
  [[nodiscard]] Expected<void> execute(std::string_view sql);
  [[nodiscard]] Expected<SQLiteStatement> prepare(std::string_view sql);

  // Changes whenever another connection commits to the database, so a cache
  // can tell whether it is stale without reading the data.
  [[nodiscard]] Expected<std::int64_t> dataVersion();

  const std::string& path() const { return path_; }
  sqlite3* handle() const { return db_; }

  Error lastError(std::string_view during) const;

 private:
  SQLiteDatabase(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

  sqlite3* db_;
  std::string path_;
};

class SQLiteStatement {
 public:
  SQLiteStatement(SQLiteStatement&& other) noexcept;
  SQLiteStatement& operator=(SQLiteStatement&& other) noexcept;
  ~SQLiteStatement();

  // Parameters count from 1, as in SQL.
  [[nodiscard]] Expected<void> bind(int index, std::string_view text);
  [[nodiscard]] Expected<void> bind(int index, std::span<const std::uint8_t> blob);
  [[nodiscard]] Expected<void> bind(int index, std::int64_t integer);
  [[nodiscard]] Expected<void> bindNull(int index);

  // True while a row is available; false once the statement is done.
  [[nodiscard]] Expected<bool> step();
  // Makes the statement ready to run again, keeping its bindings.
  void reset();

  // Columns count from 0.
  std::string columnText(int column) const;
  std::vector<std::uint8_t> columnBlob(int column) const;
  std::int64_t columnInteger(int column) const;
  bool columnIsNull(int column) const;

 private:
  friend class SQLiteDatabase;
  SQLiteStatement(SQLiteDatabase& database, sqlite3_stmt* statement) : database_(&database), statement_(statement) {}

  SQLiteDatabase* database_;
  sqlite3_stmt* statement_;
};

}  // namespace fnd
