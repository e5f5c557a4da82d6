#include "tools/sqlite/qv_sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/data.h"
#include "foundation/file_manager.h"
#include "foundation/null.h"
#include "foundation/number.h"

namespace {

class QVSQLiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-sqlite-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE apps (item_id INTEGER PRIMARY KEY, bundleid TEXT, score REAL, icon BLOB);"
                           "INSERT INTO apps VALUES (1, 'com.example.one', 1.5, x'0102');"
                           "INSERT INTO apps VALUES (2, NULL, NULL, NULL);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  void TearDown() override { (void)fnd::FileManager::defaultManager().removeItemAtPath(folder_); }

  std::string folder_;
  std::string path_;
};

TEST_F(QVSQLiteTest, RowsCarryEachColumnAsItsKind) {
  std::optional<fnd::Error> error;
  auto db = QVSQLiteOpenDatabase(*fnd::URL::fileURLWithPath(path_), &error);
  ASSERT_NE(db, nullptr) << (error ? error->description() : "");
  auto rows = QVSQLiteExecuteQuery(db, "SELECT item_id, bundleid, score, icon, 7 + 1 FROM apps ORDER BY item_id", &error);
  EXPECT_FALSE(error);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->objectForKey("item_id").as<fnd::Number>()->integerValue(), 1);
  EXPECT_EQ(rows[0]->objectForKey("bundleid").stringValue(), "com.example.one");
  EXPECT_DOUBLE_EQ(rows[0]->objectForKey("score").as<fnd::Number>()->doubleValue(), 1.5);
  ASSERT_TRUE(rows[0]->objectForKey("icon").as<fnd::Data>());
  EXPECT_EQ(rows[0]->objectForKey("icon").as<fnd::Data>()->bytes(), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(rows[0]->objectForKey("7 + 1").as<fnd::Number>()->integerValue(), 8);
  EXPECT_TRUE(rows[1]->objectForKey("bundleid").as<fnd::Null>());
  EXPECT_TRUE(QVSQLiteCloseDatabase(db));
}

TEST_F(QVSQLiteTest, EachFailureHasItsCode) {
  std::optional<fnd::Error> error;
  EXPECT_EQ(QVSQLiteOpenDatabase(*fnd::URL::fileURLWithPath(folder_ + "/missing"), &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(QVSQLiteErrorDomain, QVSQLiteErrorDatabaseFileDoesNotExist));
  if (::geteuid() != 0) {
    ::chmod(path_.c_str(), 0);
    EXPECT_EQ(QVSQLiteOpenDatabase(*fnd::URL::fileURLWithPath(path_), &error), nullptr);
    EXPECT_TRUE(error->is(QVSQLiteErrorDomain, QVSQLiteErrorDatabaseFileNotReadable));
    ::chmod(path_.c_str(), 0644);
  }
  auto db = QVSQLiteOpenDatabase(*fnd::URL::fileURLWithPath(path_), &error);
  ASSERT_NE(db, nullptr);
  error.reset();
  EXPECT_TRUE(QVSQLiteExecuteQuery(db, "SELECT x FROM nowhere", &error).empty());
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(QVSQLiteErrorDomain, QVSQLiteErrorCannotPrepareStatement));
  EXPECT_NE(error->description().find("1 - no such table: nowhere"), std::string::npos) << error->description();
  // A step that fails keeps the rows read before it.
  error.reset();
  auto rows = QVSQLiteExecuteQuery(db, "SELECT CASE WHEN item_id = 2 THEN abs(-9223372036854775807 - 1) ELSE item_id END AS v "
                                       "FROM apps ORDER BY item_id", &error);
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(QVSQLiteErrorDomain, QVSQLiteErrorStepFailed));
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_TRUE(QVSQLiteCloseDatabase(db));
}

TEST_F(QVSQLiteTest, CloseFinalizesLeakedStatements) {
  auto db = QVSQLiteOpenDatabase(*fnd::URL::fileURLWithPath(path_));
  ASSERT_NE(db, nullptr);
  sqlite3_stmt* leaked = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT 1", -1, &leaked, nullptr), SQLITE_OK);
  EXPECT_TRUE(QVSQLiteCloseDatabase(db));
  EXPECT_FALSE(QVSQLiteCloseDatabase(nullptr));
}

}  // namespace
