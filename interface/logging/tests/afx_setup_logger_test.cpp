#include "interface/logging/afx_setup_logger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/clock.h"
#include "foundation/search_paths.h"
#include "logging/dd_file_logger.h"
#include "logging/dd_log.h"
#include "logging/dd_log_macros.h"

namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
namespace fs = std::filesystem;

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AFXSetupLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-setup-logger-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("HOME", (dir_ + "/home").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    clock_.setWallNow(fnd::Clock::WallTimePoint(std::chrono::seconds(1709647629) + std::chrono::milliseconds(123)));
    DDLog::removeAllLoggers();
    logs_ = fnd::SearchPaths::resolve("~/Library/Logs/Korvia");
  }
  void TearDown() override {
    DDLog::flushLog();
    DDLog::removeAllLoggers();
    fs::remove_all(dir_);
  }

  // The file loggers only: the console and system log are not the test's.
  static void setUp(std::string_view name) {
    AFXSetupLogger(name);
    for (const auto& logger : DDLog::allLoggers()) {
      if (!std::dynamic_pointer_cast<DDFileLogger>(logger)) DDLog::removeLogger(logger);
    }
  }

  static std::shared_ptr<DDFileLogger> fileLogger() {
    for (const auto& logger : DDLog::allLoggers()) {
      if (auto file = std::dynamic_pointer_cast<DDFileLogger>(logger)) return file;
    }
    return nullptr;
  }

  fnd::ManualClock clock_;
  fnd::ScopedClockOverride useClock_{clock_};
  std::string dir_;
  std::string logs_;
};

TEST_F(AFXSetupLoggerTest, WithoutALoggerNothingIsWritten) {
  DDLogError("failed %d", 1);
  DDLogInfo("progress");
  DDLog::flushLog();
  EXPECT_FALSE(fs::exists(dir_ + "/state"));
  EXPECT_TRUE(AFXGetSortedLogFiles().empty());
}

TEST_F(AFXSetupLoggerTest, WritesPrefixedLinesToTheProductsLogFolder) {
  setUp("agent");
  setUp("agent");  // a second set-up adds no second file logger
  DDLogError("refresh failed: %@", std::string("offline"));
  auto files = AFXGetSortedLogFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0]->path(), logs_ + "/com.korvia 2024-03-05--14-07-09-123.log");
  EXPECT_EQ(readText(files[0]->path()), "<agent>             2024/03/05 14:07:09:123  refresh failed: offline\n");
}

TEST_F(AFXSetupLoggerTest, PrefixIsPaddedToTwentyButNeverCut) {
  EXPECT_EQ(AFXLogPrefixForName("agent"), "<agent>             ");
  EXPECT_EQ(AFXLogPrefixForName("agent").size(), 20u);
  EXPECT_EQ(AFXLogPrefixForName("sixteen-letters!"), "<sixteen-letters!>  ");
  EXPECT_EQ(AFXLogPrefixForName("seventeen-letters"), "<seventeen-letters> ");
  EXPECT_EQ(AFXLogPrefixForName("a-much-longer-process-name"), "<a-much-longer-process-name> ");
}

TEST_F(AFXSetupLoggerTest, AnEighthFileDeletesTheOldestArchivedOne) {
  setUp("client");
  auto logger = fileLogger();
  ASSERT_TRUE(logger);
  std::vector<std::string> created;
  for (int i = 0; i < 8; ++i) {
    DDLogError("file %d", i);
    created.push_back(logger->currentLogFileInfo()->filePath());
    if (i < 7) logger->rollLogFile();
    clock_.advance(std::chrono::minutes(1));
  }
  auto files = AFXGetSortedLogFiles();
  ASSERT_EQ(files.size(), 7u);
  EXPECT_EQ(files.front()->path(), created.back());
  EXPECT_EQ(files.back()->path(), created[1]);
  EXPECT_FALSE(fs::exists(created[0]));
}

TEST_F(AFXSetupLoggerTest, ASandboxedAppAlsoLogsUnderTheRealHome) {
  EXPECT_THAT(AFXLogDirectories(false), ElementsAre(logs_));
  auto sandboxed = AFXLogDirectories(true);
  ASSERT_EQ(sandboxed.size(), 2u);
  EXPECT_EQ(sandboxed[0], logs_);
  EXPECT_THAT(sandboxed[1], ::testing::Not(StartsWith(dir_)));
}

}  // namespace
