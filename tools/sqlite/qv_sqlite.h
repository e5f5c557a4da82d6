#pragma once

// Plain access to an SQLite database for readers of other programs'
// databases: open, run a query into rows, close.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/url.h"

struct sqlite3;

inline constexpr std::string_view QVSQLiteErrorDomain = "com.quorvex.QVSQLiteErrorDomain";
inline constexpr std::int64_t QVSQLiteErrorDatabaseFileDoesNotExist = 1;
inline constexpr std::int64_t QVSQLiteErrorDatabaseFileNotReadable = 2;
inline constexpr std::int64_t QVSQLiteErrorCannotOpenDatabase = 3;
// These two say "%d - %s" with SQLite's code and message.
inline constexpr std::int64_t QVSQLiteErrorCannotPrepareStatement = 4;
inline constexpr std::int64_t QVSQLiteErrorStepFailed = 5;

using QVSQLiteDatabase = sqlite3*;
using QVSQLiteRows = std::vector<std::shared_ptr<fnd::Dictionary>>;

// The database must exist and be readable; none on failure.
QVSQLiteDatabase QVSQLiteOpenDatabase(const fnd::URL& databaseURL, std::optional<fnd::Error>* error = nullptr);
// A busy database is closed once more after its leaked statements are
// finalized; true when a close succeeded.
bool QVSQLiteCloseDatabase(QVSQLiteDatabase database);
// Each row maps column names ("Undefined-N" for a nameless column) to a
// 64-bit integer, a double, a text, bytes or the null object. A failing step
// sets the error and returns the rows read before it.
QVSQLiteRows QVSQLiteExecuteQuery(QVSQLiteDatabase database, std::string_view sql,
                                  std::optional<fnd::Error>* error = nullptr);
