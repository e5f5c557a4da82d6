#include "interface/launchpad/afx_launchpad_watcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/clock.h"
#include "foundation/sqlite_database.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSchema[] =
    "CREATE TABLE items (rowid INTEGER PRIMARY KEY ASC, uuid VARCHAR, type INTEGER, parent_id INTEGER NOT NULL);"
    "CREATE TABLE apps (item_id INTEGER PRIMARY KEY, title VARCHAR, bundleid VARCHAR);"
    "CREATE TABLE groups (item_id INTEGER PRIMARY KEY, category_id INTEGER, title VARCHAR);";

template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class AFXLaunchpadWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-launchpad-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("KORVIA_SYSTEM_ROOT", dir_.c_str(), 1);
    ::setenv("HOME", (dir_ + "/home").c_str(), 1);
    databasePath_ = dir_ + "/var/folders/xy/abc/0/com.apple.dock.launchpad/db/db";
    fs::create_directories(fs::path(databasePath_).parent_path());
    app_ = makeApp(dir_ + "/Applications/Tools/Chronofold.app", "com.korvia.Chronofold");
  }
  void TearDown() override {
    ::unsetenv("KORVIA_SYSTEM_ROOT");
    fs::remove_all(dir_);
  }

  static std::shared_ptr<fnd::URL> makeApp(const std::string& path, const std::string& bundleID) {
    fs::create_directories(path + "/Contents");
    std::ofstream(path + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
           "<string>"
        << bundleID << "</string></dict></plist>";
    return fnd::URL::fileURLWithPath(path, true);
  }

  void execute(const std::string& sql) {
    auto database = fnd::SQLiteDatabase::open(databasePath_, fnd::SQLiteDatabase::OpenMode::readWriteCreate);
    ASSERT_TRUE(database);
    ASSERT_TRUE((*database)->execute(sql));
  }

  // The next tick finds no request and stops watching; the timer is gone
  // before the test's clock is.
  static bool watchingStops(fnd::ManualClock& clock, const std::shared_ptr<AFXLaunchpadWatcher>& launchpad) {
    return eventually([&] {
      clock.advance(std::chrono::seconds(1));
      launchpad->internalQueue().sync([] {});
      return clock.pendingTaskCount() == 0;
    });
  }

  std::shared_ptr<AFXLaunchpadWatcher> watcher() {
    return AFXLaunchpadWatcher::createWithDatabaseURL(fnd::URL::fileURLWithPath(databasePath_));
  }

  // Starts a watch; the outcome lands in `outcome_`.
  void watch(const std::shared_ptr<AFXLaunchpadWatcher>& watcher, double limit) {
    watcher->watchForAppAppearance(app_, "Tools", limit, [this](long outcome) {
      ++calls_;
      outcome_ = outcome;
    });
  }

  std::string dir_;
  std::string databasePath_;
  std::shared_ptr<fnd::URL> app_;
  std::atomic<long> outcome_{-1};
  std::atomic<int> calls_{0};
};

TEST_F(AFXLaunchpadWatcherTest, OnlyAFolderInsideTheApplicationsFolderNamesAGroup) {
  EXPECT_EQ(AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(*app_), "Tools");
  EXPECT_FALSE(AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(
      *fnd::URL::fileURLWithPath(dir_ + "/Applications/Chronofold.app", true)));
  EXPECT_FALSE(AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(
      *fnd::URL::fileURLWithPath(dir_ + "/home/Applications/Tools/Chronofold.app", true)));
}

TEST_F(AFXLaunchpadWatcherTest, SchemaCheckAcceptsTextColumnsAndRejectsMissingParts) {
  execute(
      "CREATE TABLE items (rowid INTEGER PRIMARY KEY, parent_id INTEGER);"
      "CREATE TABLE apps (item_id INTEGER PRIMARY KEY, bundleid TEXT);"
      "CREATE TABLE groups (item_id INTEGER PRIMARY KEY, title TEXT);");
  EXPECT_TRUE(AFXLaunchpadWatcher::databaseHasWatchableSchema(*fnd::URL::fileURLWithPath(databasePath_)));
  execute("DROP TABLE groups; CREATE TABLE groups (item_id INTEGER PRIMARY KEY, name TEXT);");
  EXPECT_FALSE(AFXLaunchpadWatcher::databaseHasWatchableSchema(*fnd::URL::fileURLWithPath(databasePath_)));
  execute("DROP TABLE groups;");
  EXPECT_FALSE(AFXLaunchpadWatcher::databaseHasWatchableSchema(*fnd::URL::fileURLWithPath(databasePath_)));

  // Every watch on such a database, or on none, ends with 2 at once.
  watch(watcher(), 10);
  EXPECT_EQ(outcome_, AFXLaunchpadWatchOutcomeCannotWatch);
  watch(AFXLaunchpadWatcher::createWithDatabaseURL(fnd::URL::fileURLWithPath(dir_ + "/missing/db")), 10);
  watch(AFXLaunchpadWatcher::createWithDatabaseURL(nullptr), 10);
  EXPECT_EQ(outcome_, AFXLaunchpadWatchOutcomeCannotWatch);
  EXPECT_EQ(calls_, 3);
}

TEST_F(AFXLaunchpadWatcherTest, FindsTheSystemDatabaseUnderThePerUserFolders) {
  execute(kSchema);
  EXPECT_EQ(AFXLaunchpadWatcher::launchpadDatabaseURL()->path(), databasePath_);
  EXPECT_TRUE(AFXLaunchpadWatcher::canWatchLaunchpadDatabase());
}

TEST_F(AFXLaunchpadWatcherTest, AppAddedInsideAPageOfTheGroupWhileWatchingEndsWithZero) {
  execute(kSchema);
  fnd::ManualClock clock;  // no tick happens: only the file writes can tell
  fnd::ScopedClockOverride useClock(clock);
  auto launchpad = watcher();
  watch(launchpad, 10);
  ASSERT_TRUE(eventually([&] { return clock.pendingTaskCount() >= 2; }));
  execute(
      "INSERT INTO items (rowid, type, parent_id) VALUES (7, 2, 1);"    // the group
      "INSERT INTO groups (item_id, title) VALUES (7, 'Korvia Tools');"
      "INSERT INTO items (rowid, type, parent_id) VALUES (8, 3, 7);"    // a page inside it
      "INSERT INTO items (rowid, type, parent_id) VALUES (9, 4, 8);"    // the app
      "INSERT INTO apps (item_id, title, bundleid) VALUES (9, 'Chronofold', 'com.korvia.Chronofold');");
  ASSERT_TRUE(eventually([&] { return calls_ == 1; }));
  EXPECT_EQ(outcome_, AFXLaunchpadWatchOutcomeAppeared);
  EXPECT_TRUE(watchingStops(clock, launchpad));
}

TEST_F(AFXLaunchpadWatcherTest, TimesOutAfterTheLimitFollowingTheNewestItemThenStopsWatching) {
  execute(kSchema);
  // An older copy sits in the group, the newest one outside it.
  execute(
      "INSERT INTO items (rowid, parent_id) VALUES (7, 1); INSERT INTO groups VALUES (7, 0, 'Tools');"
      "INSERT INTO items (rowid, parent_id) VALUES (10, 7); INSERT INTO apps VALUES (10, 'old', 'com.korvia.Chronofold');"
      "INSERT INTO items (rowid, parent_id) VALUES (20, 1); INSERT INTO apps VALUES (20, 'new', 'com.korvia.Chronofold');"
      // A damaged parent cycle must not hang the walk.
      "INSERT INTO items (rowid, parent_id) VALUES (30, 31); INSERT INTO items (rowid, parent_id) VALUES (31, 30);");
  fnd::ManualClock clock;
  fnd::ScopedClockOverride useClock(clock);
  auto launchpad = watcher();
  watch(launchpad, 10);
  ASSERT_TRUE(eventually([&] { return clock.pendingTaskCount() >= 2; }));
  clock.advance(std::chrono::milliseconds(9999));
  launchpad->internalQueue().sync([] {});
  EXPECT_EQ(calls_, 0);
  clock.advance(std::chrono::milliseconds(1));
  ASSERT_TRUE(eventually([&] { return calls_ == 1; }));
  EXPECT_EQ(outcome_, AFXLaunchpadWatchOutcomeTimedOut);

  // The dropped request stops the watching at the next check.
  EXPECT_TRUE(watchingStops(clock, launchpad));
}

}  // namespace
