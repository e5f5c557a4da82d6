#include "logging/dd_tty_logger.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "foundation/clock.h"
#include "logging/dd_log.h"
#include "logging/dd_log_macros.h"

namespace {

// A pipe whose read end never blocks, standing in for a terminal.
class Pipe {
 public:
  Pipe() {
    if (pipe(ends_) != 0) ends_[0] = ends_[1] = -1;
    fcntl(ends_[0], F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    close(ends_[0]);
    close(ends_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int writeEnd() const { return ends_[1]; }
  // Everything written so far.
  std::string drain() const {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(ends_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }

 private:
  int ends_[2];
};

class DDTTYLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DDLog::removeAllLoggers();
    const char* zone = std::getenv("TZ");
    savedZone_ = zone ? std::optional<std::string>(zone) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    DDLog::flushLog();
    DDLog::removeAllLoggers();
    if (savedZone_) {
      setenv("TZ", savedZone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> savedZone_;
};

TEST_F(DDTTYLoggerTest, ErrorLineIsOnTheConsoleWhenTheCallReturns) {
  Pipe console;
  DDLog::addLogger(std::make_shared<DDTTYLogger>(console.writeEnd()));
  fnd::ManualClock clock;
  // 2024-03-05 14:07:09.123 UTC
  clock.setWallNow(fnd::Clock::WallTimePoint(std::chrono::seconds(1709647629) + std::chrono::milliseconds(123)));
  fnd::ScopedClockOverride useClock(clock);

  DDLogError("disk %@ is %d%% full", "sda", 97);

  std::string expected = "2024-03-05 14:07:09.123 " + std::string(program_invocation_short_name) + "[" +
                         std::to_string(getpid()) + ":" + std::to_string(gettid()) + "] disk sda is 97% full\n";
  EXPECT_EQ(console.drain(), expected);
}

// Shapes warnings and drops everything else.
class WarningsOnlyFormatter final : public DDLogFormatter {
 public:
  std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override {
    if (logMessage.flag() != DDLogFlagWarning) return std::nullopt;
    return "W " + logMessage.fileName() + ":" + std::to_string(logMessage.line()) + " " + logMessage.message();
  }
};

TEST_F(DDTTYLoggerTest, FormatterShapesOrDropsLines) {
  Pipe console;
  auto tty = std::make_shared<DDTTYLogger>(console.writeEnd());
  auto formatter = std::make_shared<WarningsOnlyFormatter>();
  tty->setLogFormatter(formatter);
  EXPECT_EQ(tty->logFormatter(), formatter);
  DDLog::addLogger(tty);

  DDLogInfo("dropped");
  unsigned line = __LINE__ + 1;
  DDLogWarn("kept %d", 1);
  DDLogError("dropped too");
  DDLog::flushLog();

  EXPECT_EQ(console.drain(), "W dd_tty_logger_test:" + std::to_string(line) + " kept 1\n");
}

TEST_F(DDTTYLoggerTest, SharedInstanceWritesToStandardErrorOnItsOwnQueue) {
  auto shared = DDTTYLogger::sharedInstance();
  EXPECT_EQ(DDTTYLogger::sharedInstance(), shared);
  EXPECT_EQ(shared->fileDescriptor(), STDERR_FILENO);
  EXPECT_EQ(shared->loggerName(), "cocoa.lumberjack.ttyLogger");
  ASSERT_TRUE(shared->loggerQueue().has_value());
  EXPECT_EQ(shared->loggerQueue()->label(), "cocoa.lumberjack.ttyLogger");
}

// Slow enough that the process would be gone before the line was written,
// were it not flushed at exit.
class SlowFormatter final : public DDLogFormatter {
 public:
  std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return "slow: " + logMessage.message();
  }
};

TEST(DDLogExitTest, QueuedLinesAreWrittenAtExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto tty = DDTTYLogger::sharedInstance();
        tty->setLogFormatter(std::make_shared<SlowFormatter>());
        DDLog::addLogger(tty);
        DDLogInfo("last words %d", 42);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "slow: last words 42");
}

}  // namespace
