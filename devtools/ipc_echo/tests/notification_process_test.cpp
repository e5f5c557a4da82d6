// Distributed notifications between this process and a second one.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devtools/ipc_echo/tests/private_bus.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/process.h"

namespace {

using fnd::ipc::testing::Inbox;

std::string outputOf(const fnd::ProcessTermination& termination) {
  return std::string(termination.standardOutput.begin(), termination.standardOutput.end());
}

class NotificationProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    center = *fnd::DistributedNotificationCenter::defaultCenter();
  }

  // Starts an observer process and posts until it has seen one notification.
  std::string observeInOtherProcess(std::vector<std::string> observeArguments,
                                    const std::vector<std::pair<std::string, std::string>>& posts) {
    fnd::ProcessLaunchOptions options;
    options.executablePath = KORVIA_IPC_ECHO_TOOL;
    options.arguments = std::move(observeArguments);
    options.captureStandardOutput = true;
    auto process = fnd::Process::launch(options);
    EXPECT_TRUE(process);
    if (!process) return {};
    // The observer's match rule may not be in place yet: keep posting.
    for (int round = 0; round < 500 && (*process)->isRunning(); ++round) {
      for (const auto& [object, value] : posts) {
        EXPECT_TRUE(center->postNotificationName(name, object, fnd::Dictionary::make({{fnd::Value("k"), fnd::Value(value)}})));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    (*process)->kill();
    return outputOf((*process)->waitUntilExit());
  }

  fnd::DistributedNotificationCenter* center = nullptr;
  const std::string name = ipc_echo_testing::uniqueServiceName("notification");
};

TEST_F(NotificationProcessTest, AnObserverInAnotherProcessGetsNameObjectAndUserInfo) {
  const std::string output = observeInOtherProcess({"observe", name}, {{"workflow-7", "v1"}});
  EXPECT_EQ(output, "observing\n" + name + "|workflow-7|k=v1\n");
}

TEST_F(NotificationProcessTest, AnObjectFilterHoldsBackOtherObjects) {
  const std::string output =
      observeInOtherProcess({"observe", name, "mine"}, {{"theirs", "wrong"}, {"mine", "right"}, {"theirs", "wrong"}});
  EXPECT_EQ(output, "observing\n" + name + "|mine|k=right\n");
}

TEST_F(NotificationProcessTest, PostsOfAnotherProcessReachThisOne) {
  auto inbox = std::make_shared<Inbox<fnd::DistributedNotification>>();
  auto token = center->addObserverForName(name, std::nullopt, fnd::Queue::global(),
                                          [inbox](const fnd::DistributedNotification& n) { inbox->put(n); });
  ASSERT_TRUE(token);
  fnd::ProcessLaunchOptions options;
  options.executablePath = KORVIA_IPC_ECHO_TOOL;
  options.arguments = {"post", name, "customer-1", "state", "2"};
  auto run = fnd::Process::run(options);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->status, 0);
  auto received = inbox->first();
  center->removeObserver(*token);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->object, "customer-1");
  ASSERT_TRUE(received->userInfo);
  EXPECT_EQ(fnd::Value(received->userInfo->objectForKey(fnd::Value("state"))).stringValue(), "2");
}

}  // namespace
