#include "logging/dd_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "foundation/class.h"
#include "foundation/clock.h"
#include "foundation/object.h"
#include "foundation/queue.h"
#include "logging/dd_log_macros.h"
#include "logging/dd_log_testing.h"
#include "logging/tests/recording_logger.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Polls for a condition another thread makes true, in short steps.
template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class DDLogTest : public ::testing::Test {
 protected:
  void SetUp() override { DDLog::removeAllLoggers(); }
  void TearDown() override {
    DDLog::flushLog();
    DDLog::removeAllLoggers();
    DDLogSetProcessorCountForTesting(0);
  }
};

// Delivery with one processor (loggers one after the other) and with several
// (loggers in parallel as a group).
class DDLogDispatchTest : public DDLogTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    DDLogTest::SetUp();
    DDLogSetProcessorCountForTesting(GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(Processors, DDLogDispatchTest, ::testing::Values(1u, 4u),
                         [](const ::testing::TestParamInfo<unsigned>& processors) {
                           return processors.param == 1 ? "One" : "Several";
                         });

TEST_F(DDLogTest, MacrosRecordCallSiteThreadQueueAndClockTime) {
  auto logger = std::make_shared<RecordingLogger>();
  DDLog::addLogger(logger);
  fnd::ManualClock clock;
  clock.setWallNow(fnd::Clock::WallTimePoint(std::chrono::seconds(1709647629) + std::chrono::milliseconds(123)));
  fnd::ScopedClockOverride useClock(clock);

  unsigned line = 0;
  std::string threadID;
  std::thread producer([&] {
    pthread_setname_np(pthread_self(), "producer-7");
    threadID = std::to_string(gettid());
    line = __LINE__ + 1;
    DDLogWarn("copied %d of %@", 3, std::string("files"));
    fnd::Queue::serial("test.caller").sync([] { DDLogError("inside a queue"); });
  });
  producer.join();
  DDLog::flushLog();

  auto messages = logger->messages();
  ASSERT_EQ(messages.size(), 2u);
  const DDLogMessage& warning = messages[0];
  EXPECT_EQ(warning.message(), "copied 3 of files");
  EXPECT_EQ(warning.flag(), DDLogFlagWarning);
  EXPECT_EQ(warning.level(), DDLogLevelVerbose);
  EXPECT_EQ(warning.context(), 0);
  EXPECT_EQ(warning.file(), __FILE__);
  EXPECT_EQ(warning.fileName(), "dd_log_test");
  EXPECT_THAT(warning.function(), HasSubstr("TestBody"));
  EXPECT_EQ(warning.line(), line);
  EXPECT_TRUE(warning.tag().isNil());
  EXPECT_EQ(warning.threadID(), threadID);
  EXPECT_EQ(warning.threadName(), "producer-7");
  EXPECT_EQ(warning.queueLabel(), "");
  EXPECT_DOUBLE_EQ(warning.timestamp()->timeIntervalSince1970(), 1709647629.123);

  EXPECT_EQ(messages[1].flag(), DDLogFlagError);
  EXPECT_EQ(messages[1].queueLabel(), "test.caller");
}

TEST_F(DDLogTest, FileNameDropsDirectoryAndLastExtension) {
  auto fileNameOf = [](std::string path) {
    return DDLogMessage("", DDLogLevelVerbose, DDLogFlagInfo, 0, std::move(path), "f", 1).fileName();
  };
  EXPECT_EQ(fileNameOf("/src/dir.d/archive.tar.gz"), "archive.tar");
  EXPECT_EQ(fileNameOf("/src/dir.d/Makefile"), "Makefile");
  EXPECT_EQ(fileNameOf("relative.cpp"), "relative");
  EXPECT_EQ(fileNameOf("/home/.profile"), ".profile");
  EXPECT_EQ(fileNameOf(""), "");
}

TEST_F(DDLogTest, EachLoggerGetsTheFlagsItsLevelAdmits) {
  std::vector<std::pair<DDLogLevel, std::shared_ptr<RecordingLogger>>> loggers;
  for (DDLogLevel level : {DDLogLevelOff, DDLogLevelError, DDLogLevelWarning, DDLogLevelInfo, DDLogLevelDebug,
                           DDLogLevelVerbose, static_cast<DDLogLevel>(DDLogFlagInfo)}) {
    loggers.emplace_back(level, std::make_shared<RecordingLogger>());
    DDLog::addLoggerWithLevel(loggers.back().second, level);
  }
  auto everything = std::make_shared<RecordingLogger>();
  DDLog::addLogger(everything);

  DDLogError("e");
  DDLogWarn("w");
  DDLogInfo("i");
  DDLogDebug("d");
  DDLogVerbose("v");
  // A flag past verbose reaches only loggers at all levels.
  DDLog::log(true, DDLogLevelAll, static_cast<DDLogFlag>(1u << 5), 0, __FILE__, __func__, __LINE__, nullptr, "x");
  DDLog::flushLog();

  std::vector<std::vector<std::string>> expected = {
      {}, {"e"}, {"e", "w"}, {"e", "w", "i"}, {"e", "w", "i", "d"}, {"e", "w", "i", "d", "v"}, {"i"}};
  for (std::size_t i = 0; i < loggers.size(); ++i) {
    EXPECT_EQ(loggers[i].second->texts(), expected[i]) << "level " << loggers[i].first;
  }
  EXPECT_THAT(everything->texts(), ElementsAre("e", "w", "i", "d", "v", "x"));
  std::vector<std::pair<unsigned, unsigned>> flagsAndLevels;
  for (const auto& m : everything->messages()) flagsAndLevels.emplace_back(m.flag(), m.level());
  EXPECT_THAT(flagsAndLevels, ElementsAre(std::pair(1u, 31u), std::pair(2u, 31u), std::pair(4u, 31u),
                                          std::pair(8u, 31u), std::pair(16u, 31u), std::pair(32u, ~0u)));
}

TEST_F(DDLogTest, RegistrationListsCallsLifecycleAndStopsDelivery) {
  auto first = std::make_shared<RecordingLogger>("test.first");
  auto second = std::make_shared<RecordingLogger>("test.second");
  DDLog::addLogger(first);
  DDLog::addLoggerWithLevel(second, DDLogLevelWarning);
  DDLog::addLoggerWithLevel(first, DDLogLevelError);  // already there: ignored

  auto listed = DDLog::allLoggersWithLevel();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].logger, first);
  EXPECT_EQ(listed[0].level, DDLogLevelAll);
  EXPECT_EQ(listed[1].logger, second);
  EXPECT_EQ(listed[1].level, DDLogLevelWarning);
  EXPECT_THAT(DDLog::allLoggers(), ElementsAre(first, second));

  DDLogInfo("to first only");
  DDLog::removeLogger(first);
  DDLogWarn("to second only");
  DDLog::flushLog();
  DDLog::removeAllLoggers();
  DDLogError("to nobody");
  DDLog::flushLog();

  EXPECT_TRUE(DDLog::allLoggers().empty());
  EXPECT_THAT(first->events(), ElementsAre("<added>", "to first only", "<removed>"));
  EXPECT_THAT(second->events(), ElementsAre("<added>", "to second only", "<flush>", "<removed>"));
}

TEST_P(DDLogDispatchTest, OrderPerLoggerHoldsUnderConcurrentProducers) {
  auto first = std::make_shared<RecordingLogger>("test.first");
  auto second = std::make_shared<RecordingLogger>("test.second");
  DDLog::addLogger(first);
  DDLog::addLogger(second);

  constexpr int kProducers = 6;
  constexpr int kLines = 300;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([p] {
      for (int i = 0; i < kLines; ++i) {
        if (i % 50 == 49) {
          DDLogError("%d %d", p, i);
        } else {
          DDLogInfo("%d %d", p, i);
        }
      }
    });
  }
  for (auto& producer : producers) producer.join();
  DDLog::flushLog();

  auto lines = first->texts();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kProducers * kLines));
  EXPECT_EQ(second->texts(), lines);
  std::vector<int> next(kProducers, 0);
  for (const auto& line : lines) {
    int p = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d %d", &p, &i), 2) << line;
    ASSERT_EQ(i, next[p]) << "producer " << p;
    ++next[p];
  }
}

// Takes its time over every line, so a line handed on asynchronously would
// not have arrived yet.
class SlowLogger final : public DDAbstractLogger {
 public:
  SlowLogger() : DDAbstractLogger("test.slowLogger") {}
  void logMessage(const DDLogMessage& logMessage) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (logMessage.flag() == DDLogFlagError) errorsDelivered.fetch_add(1);
    delivered.fetch_add(1);
  }
  std::atomic<int> delivered{0};
  std::atomic<int> errorsDelivered{0};
};

TEST_P(DDLogDispatchTest, ErrorIsDeliveredBeforeTheCallReturns) {
  auto slow = std::make_shared<SlowLogger>();
  auto recorder = std::make_shared<RecordingLogger>();
  DDLog::addLogger(slow);
  DDLog::addLogger(recorder);

  for (int i = 0; i < 5; ++i) DDLogInfo("queued %d", i);
  DDLogError("disk full");

  // Read without waiting on the loggers' queues.
  EXPECT_EQ(slow->errorsDelivered.load(), 1);
  EXPECT_EQ(slow->delivered.load(), 6);
  EXPECT_THAT(recorder->texts(), ElementsAre("queued 0", "queued 1", "queued 2", "queued 3", "queued 4", "disk full"));
}

// Holds its first line until the gate opens.
class GatedLogger final : public DDAbstractLogger {
 public:
  explicit GatedLogger(std::shared_future<void> gate) : DDAbstractLogger("test.gatedLogger"), gate_(std::move(gate)) {}
  void logMessage(const DDLogMessage& logMessage) override {
    gate_.wait();
    texts_.push_back(logMessage.message());
    delivered.fetch_add(1);
  }
  std::vector<std::string> texts() const {
    return loggerQueue()->sync([this] { return texts_; });
  }
  std::atomic<int> delivered{0};

 private:
  std::shared_future<void> gate_;
  std::vector<std::string> texts_;  // only on the logger's queue
};

TEST_P(DDLogDispatchTest, FullQueueBlocksTheProducerAndLosesNoLine) {
  std::promise<void> opener;
  auto gated = std::make_shared<GatedLogger>(opener.get_future().share());
  DDLog::addLogger(gated);

  constexpr int kLines = 1500;
  std::atomic<int> returned{0};
  std::thread producer([&] {
    for (int i = 0; i < kLines; ++i) {
      DDLogInfo("line %d", i);
      returned.fetch_add(1);
    }
  });

  // One line sits in the logger and 999 wait behind it: the 1001st call blocks.
  bool reachedLimit = eventually([&] { return returned.load() >= 1000; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int returnedWhileFull = returned.load();
  int deliveredWhileFull = gated->delivered.load();

  opener.set_value();
  producer.join();
  DDLog::flushLog();

  EXPECT_TRUE(reachedLimit);
  EXPECT_EQ(returnedWhileFull, 1000);
  EXPECT_EQ(deliveredWhileFull, 0);
  auto lines = gated->texts();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines));
  for (int i = 0; i < kLines; ++i) ASSERT_EQ(lines[static_cast<std::size_t>(i)], "line " + std::to_string(i));
}

// Reports on its own line through the facility, as a logger that meets a
// failure would.
class ReportingLogger final : public RecordingLogger {
 public:
  void logMessage(const DDLogMessage& logMessage) override {
    RecordingLogger::logMessage(logMessage);
    if (logMessage.message() == "trigger") {
      DDLogError("report on %@", logMessage.message());
      DDLog::flushLog();
      DDLog::addLogger(partner);
    }
  }
  std::shared_ptr<RecordingLogger> partner = std::make_shared<RecordingLogger>("test.partner");
};

TEST_P(DDLogDispatchTest, LoggerMayLogFromItsOwnDelivery) {
  auto reporting = std::make_shared<ReportingLogger>();
  DDLog::addLogger(reporting);

  DDLogError("trigger");
  DDLog::flushLog();

  EXPECT_THAT(reporting->texts(), ElementsAre("trigger", "report on trigger"));
  EXPECT_THAT(DDLog::allLoggers(), ElementsAre(reporting, reporting->partner));
}

// Counts how often the facility renders it.
class CountingObject final : public fnd::Object {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = fnd::Class::define("DDLogTestCountingObject", &fnd::Object::staticClass());
    return cls;
  }
  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string description() const override {
    descriptions.fetch_add(1);
    return "counted";
  }
  mutable std::atomic<int> descriptions{0};
};

TEST_F(DDLogTest, WithoutLoggersLinesAreFormattedOnceAndWrittenNowhere) {
  auto counted = std::make_shared<CountingObject>();
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  int savedStandardError = dup(STDERR_FILENO);
  dup2(pipeEnds[1], STDERR_FILENO);

  DDLogError("error %@", counted);
  DDLogInfo("info %@", counted);
  DDLog::flushLog();

  dup2(savedStandardError, STDERR_FILENO);
  close(savedStandardError);
  close(pipeEnds[1]);
  char buffer[256];
  ssize_t readBytes = read(pipeEnds[0], buffer, sizeof buffer);
  close(pipeEnds[0]);

  EXPECT_EQ(readBytes, 0) << std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(readBytes, 0)));
  EXPECT_EQ(counted->descriptions.load(), 2);
  // Nothing was kept for a logger that comes later.
  auto late = std::make_shared<RecordingLogger>();
  DDLog::addLogger(late);
  DDLog::flushLog();
  EXPECT_THAT(late->events(), ElementsAre("<added>", "<flush>"));
}

}  // namespace
