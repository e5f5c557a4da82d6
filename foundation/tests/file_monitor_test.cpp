#include "foundation/file_monitor.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fnd {
namespace {

template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class FileMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-file-monitor-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::shared_ptr<FileMonitor> watch(const std::string& name) {
    auto monitor = FileMonitor::create(dir_ + "/" + name, queue_, [this] {
      EXPECT_TRUE(queue_.isCurrent());
      ++calls_;
    });
    EXPECT_TRUE(monitor);
    return monitor ? *monitor : nullptr;
  }

  std::string dir_;
  Queue queue_ = Queue::serial("test.file-monitor");
  std::atomic<int> calls_{0};
};

TEST_F(FileMonitorTest, TellsOfWritesToItsFileOnlyEvenBeforeTheFileExists) {
  auto monitor = watch("db-wal");
  std::ofstream(dir_ + "/db") << "other file";
  std::ofstream(dir_ + "/db-wal") << "created later";
  ASSERT_TRUE(eventually([&] { return calls_ > 0; }));
  const int seen = calls_;
  {
    std::ofstream append(dir_ + "/db-wal", std::ios::app);
    append << "more";
  }
  EXPECT_TRUE(eventually([&] { return calls_ > seen; }));

  monitor->cancel();
  queue_.sync([] {});
  const int afterCancel = calls_;
  std::ofstream(dir_ + "/db-wal") << "ignored";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue_.sync([] {});
  EXPECT_EQ(calls_, afterCancel);
}

TEST_F(FileMonitorTest, WritesToOtherFilesAreNotReported) {
  auto monitor = watch("db");
  std::ofstream(dir_ + "/unrelated") << "x";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue_.sync([] {});
  EXPECT_EQ(calls_, 0);
}

TEST_F(FileMonitorTest, AMissingFolderCannotBeWatched) {
  auto monitor = FileMonitor::create(dir_ + "/missing/db", queue_, [] {});
  ASSERT_FALSE(monitor);
  EXPECT_TRUE(monitor.error().is(NSPOSIXErrorDomain, ENOENT));
}

}  // namespace
}  // namespace fnd
