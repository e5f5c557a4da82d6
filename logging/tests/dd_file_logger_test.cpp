#include "logging/dd_file_logger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <syslog.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/clock.h"
#include "foundation/extended_attributes.h"
#include "logging/dd_asl_logger.h"
#include "logging/dd_log.h"
#include "logging/dd_log_file_formatter_default.h"
#include "logging/dd_log_file_manager_default.h"
#include "logging/dd_log_macros.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
namespace fs = std::filesystem;

class NamedManager final : public DDLogFileManagerDefault {
 public:
  using DDLogFileManagerDefault::DDLogFileManagerDefault;
  std::string applicationName() const override { return "com.korvia.test"; }
};

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

class DDFileLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-file-logger-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    logs_ = dir_ + "/Logs";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2024-03-05 14:07:09.123 UTC.
    clock_.setWallNow(fnd::Clock::WallTimePoint(std::chrono::seconds(1709647629) + std::chrono::milliseconds(123)));
    DDLog::removeAllLoggers();
  }
  void TearDown() override {
    DDLog::flushLog();
    DDLog::removeAllLoggers();
    fs::remove_all(dir_);
  }

  std::shared_ptr<DDFileLogger> makeLogger() {
    manager_ = std::make_shared<NamedManager>(logs_);
    return std::make_shared<DDFileLogger>(manager_);
  }

  static DDLogMessage message(std::string text, DDLogFlag flag = DDLogFlagInfo) {
    return DDLogMessage(std::move(text), DDLogLevelVerbose, flag, 0, __FILE__, __func__, __LINE__);
  }

  // Runs a line through the logger on its queue, as DDLog would.
  static void write(DDFileLogger& logger, const std::string& text) {
    logger.loggerQueue()->sync([&] { logger.logMessage(message(text)); });
  }

  std::vector<std::string> fileNames() const {
    std::vector<std::string> names;
    for (const auto& info : manager_->sortedLogFileInfos()) names.push_back(info->fileName());
    return names;
  }

  fnd::ManualClock clock_;
  fnd::ScopedClockOverride useClock_{clock_};
  std::string dir_;
  std::string logs_;
  std::shared_ptr<NamedManager> manager_;
};

TEST_F(DDFileLoggerTest, NamesFilesByDateAndWritesFormattedLines) {
  auto logger = makeLogger();
  logger->setLogFormatter(std::make_shared<DDLogFileFormatterDefault>());
  write(*logger, "first");
  write(*logger, "second\n");
  auto info = logger->currentLogFileInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->fileName(), "com.korvia.test 2024-03-05--14-07-09-123.log");
  EXPECT_EQ(readText(info->filePath()), "2024/03/05 14:07:09:123  first\n2024/03/05 14:07:09:123  second\n");
  EXPECT_FALSE(info->isArchived());
  EXPECT_TRUE(manager_->isLogFile(info->fileName()));
  EXPECT_FALSE(manager_->isLogFile("com.korvia.other 2024.log"));
  EXPECT_FALSE(manager_->isLogFile("com.korvia.test 2024.txt"));
}

TEST_F(DDFileLoggerTest, RollsBySizeAndMarksTheOldFileArchived) {
  auto logger = makeLogger();
  logger->setMaximumFileSize(20);
  write(*logger, "0123456789");  // 11 bytes
  auto first = logger->currentLogFileInfo();
  clock_.advance(std::chrono::milliseconds(5));
  write(*logger, "0123456789");  // reaches 22: rolled after the line
  EXPECT_TRUE(first->isArchived());
  auto value = fnd::ExtendedAttributes::value(first->filePath(), "lumberjack.log.archived");
  EXPECT_TRUE(value.hasValue());
  write(*logger, "next");
  auto second = logger->currentLogFileInfo();
  EXPECT_NE(second->filePath(), first->filePath());
  EXPECT_EQ(readText(first->filePath()), "0123456789\n0123456789\n");
  EXPECT_EQ(readText(second->filePath()), "next\n");
}

TEST_F(DDFileLoggerTest, RollsWhenTwentyFourHoursHavePassedOnTheClock) {
  auto logger = makeLogger();
  write(*logger, "day one");
  auto first = logger->currentLogFileInfo();
  clock_.advance(std::chrono::hours(24) - std::chrono::seconds(1));
  (void)logger->logFormatter();  // waits for the logger's queue
  EXPECT_FALSE(first->isArchived());
  clock_.advance(std::chrono::seconds(1));
  (void)logger->logFormatter();
  EXPECT_TRUE(first->isArchived()) << "the rolling timer did not fire";
  write(*logger, "day two");
  auto second = logger->currentLogFileInfo();
  EXPECT_EQ(second->fileName(), "com.korvia.test 2024-03-06--14-07-09-123.log");
  EXPECT_EQ(readText(second->filePath()), "day two\n");
}

TEST_F(DDFileLoggerTest, KeepsTheNewestFilesWithinCountAndQuota) {
  auto logger = makeLogger();
  manager_->setMaximumNumberOfLogFiles(3);
  std::vector<std::string> created;
  for (int i = 0; i < 5; ++i) {
    write(*logger, "line " + std::to_string(i));
    created.push_back(logger->currentLogFileInfo()->fileName());
    logger->rollLogFile();
    clock_.advance(std::chrono::seconds(1));
  }
  write(*logger, "current");
  created.push_back(logger->currentLogFileInfo()->fileName());
  EXPECT_THAT(fileNames(), ElementsAre(created[5], created[4], created[3]));

  // Over the quota the oldest go, but never the file being written.
  manager_->setMaximumNumberOfLogFiles(0);
  manager_->setLogFilesDiskQuota(12);
  logger->rollLogFile();
  (void)logger->logFormatter();
  EXPECT_THAT(fileNames(), ElementsAre(created[5]));
  clock_.advance(std::chrono::seconds(1));
  write(*logger, std::string(30, 'x'));
  const std::string big = logger->currentLogFileInfo()->fileName();
  EXPECT_THAT(fileNames(), ElementsAre(big, created[5]));
  logger->rollLogFile();
  (void)logger->logFormatter();
  EXPECT_THAT(fileNames(), ElementsAre(big));
}

TEST_F(DDFileLoggerTest, ReusesTheNewestUnarchivedFileOnStart) {
  {
    auto logger = makeLogger();
    write(*logger, "before restart");
  }
  clock_.advance(std::chrono::hours(1));
  auto logger = makeLogger();
  write(*logger, "after restart");
  ASSERT_EQ(fileNames().size(), 1u);
  EXPECT_EQ(readText(logs_ + "/" + fileNames()[0]), "before restart\nafter restart\n");

  // A file older than the rolling frequency is not reused.
  logger.reset();
  clock_.advance(std::chrono::hours(24));
  logger = makeLogger();
  write(*logger, "next day");
  EXPECT_EQ(fileNames().size(), 2u);
}

class ThrowingFormatter final : public DDLogFormatter {
 public:
  std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override {
    if (logMessage.message() == "bad") throw std::runtime_error("formatter broke");
    return logMessage.message();
  }
};

TEST_F(DDFileLoggerTest, ReportsFailuresOnStandardErrorAndGoesOn) {
  std::ofstream(dir_ + "/not-a-folder") << "x";
  auto blocked = std::make_shared<DDFileLogger>(std::make_shared<NamedManager>(dir_ + "/not-a-folder/Logs"));
  ::testing::internal::CaptureStderr();
  write(*blocked, "lost");
  EXPECT_FALSE(blocked->currentLogFileInfo());
  std::string reported = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(reported, HasSubstr("DDFileLogManagerDefault: Error creating logsDirectory: "));

  auto logger = makeLogger();
  logger->setLogFormatter(std::make_shared<ThrowingFormatter>());
  ::testing::internal::CaptureStderr();
  write(*logger, "bad");
  write(*logger, "good");
  reported = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(reported, HasSubstr("DDFileLogger.logMessage: formatter broke"));
  EXPECT_EQ(readText(logger->currentLogFileInfo()->filePath()), "good\n");

  // Only the first ten are reported, the tenth with the closing line.
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 20; ++i) write(*logger, "bad");
  reported = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(reported, HasSubstr("DDFileLogger.logMessage: Too many exceptions -- will not log any more of them."));
  const auto reports = linesOf(reported).size();
  EXPECT_LE(reports, static_cast<std::size_t>(DDFileLogger::kReportedExceptionLimit));
}

TEST_F(DDFileLoggerTest, LinesFromManyThreadsArriveCompleteAndInOrder) {
  auto logger = makeLogger();
  logger->setMaximumFileSize(0);
  DDLog::addLogger(logger);
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 1250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesPerThread; ++i) DDLogInfo("thread %d line %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  DDLog::flushLog();

  std::map<int, int> next;
  int total = 0;
  for (const std::string& line : linesOf(readText(logger->currentLogFileInfo()->filePath()))) {
    int thread = -1, index = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &thread, &index), 2) << line;
    ASSERT_EQ(index, next[thread]) << "thread " << thread;
    ++next[thread];
    ++total;
  }
  EXPECT_EQ(total, kThreads * kLinesPerThread);
}

TEST(DDASLLoggerTest, MapsFlagsToSyslogPriorities) {
  EXPECT_EQ(DDASLLogger::priorityForFlag(DDLogFlagError), LOG_ERR);
  EXPECT_EQ(DDASLLogger::priorityForFlag(DDLogFlagWarning), LOG_WARNING);
  EXPECT_EQ(DDASLLogger::priorityForFlag(DDLogFlagInfo), LOG_INFO);
  EXPECT_EQ(DDASLLogger::priorityForFlag(DDLogFlagVerbose), LOG_DEBUG);
  EXPECT_EQ(DDASLLogger::sharedInstance()->loggerName(), "cocoa.lumberjack.aslLogger");
}

}  // namespace
