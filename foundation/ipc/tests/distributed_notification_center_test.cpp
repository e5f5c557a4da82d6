#include "foundation/ipc/distributed_notification_center.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "foundation/data.h"
#include "foundation/ipc/tests/ipc_test_support.h"

namespace fnd {
namespace {

using ipc::testing::Inbox;

std::string uniqueName(const char* what) {
  static int counter = 0;
  return std::string("com.korvia.test.") + what + "." + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

class DistributedNotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FND_REQUIRE_SESSION_BUS();
    auto made = DistributedNotificationCenter::defaultCenter();
    ASSERT_TRUE(made);
    center = *made;
  }
  void TearDown() override {
    for (auto token : tokens) center->removeObserver(token);
  }
  // A serial queue of its own per observer, so its inbox keeps the order of
  // arrival (a concurrent queue may run two deliveries in either order).
  void observe(const std::string& name, std::optional<std::string> object,
               std::shared_ptr<Inbox<DistributedNotification>> inbox,
               Queue queue = Queue::serial("com.korvia.test.notification-observer")) {
    auto token = center->addObserverForName(name, object, queue, [inbox](const DistributedNotification& n) {
      inbox->put(n);
    });
    ASSERT_TRUE(token);
    tokens.push_back(*token);
  }

  DistributedNotificationCenter* center = nullptr;
  std::vector<DistributedNotificationCenter::ObserverToken> tokens;
};

TEST_F(DistributedNotificationCenterTest, DeliversNameObjectAndUserInfoOnTheObserversQueue) {
  const std::string name = uniqueName("workflow-changed");
  auto inbox = std::make_shared<Inbox<DistributedNotification>>();
  Queue queue = Queue::serial("com.korvia.test.observer");
  auto onQueue = std::make_shared<std::atomic<bool>>(false);
  auto token = center->addObserverForName(name, std::nullopt, queue, [inbox, queue, onQueue](const auto& n) {
    *onQueue = queue.isCurrent();
    inbox->put(n);
  });
  ASSERT_TRUE(token);
  tokens.push_back(*token);

  auto info = Dictionary::make({{Value("app_workflow"), Value(Data::make(std::string_view("\x01\x02", 2)))},
                                {Value("state"), Value(2)}});
  ASSERT_TRUE(center->postNotificationName(name, std::string("workflow-246"), info));
  auto received = inbox->first();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->name, name);
  EXPECT_EQ(received->object, "workflow-246");
  ASSERT_TRUE(received->userInfo);
  EXPECT_TRUE(Value(received->userInfo).isEqual(Value(info)));
  EXPECT_TRUE(*onQueue);
}

TEST_F(DistributedNotificationCenterTest, ObjectFilterHoldsBackOthersAndRemovalStopsDelivery) {
  const std::string name = uniqueName("apps-changed");
  auto filtered = std::make_shared<Inbox<DistributedNotification>>();
  auto everything = std::make_shared<Inbox<DistributedNotification>>();
  observe(name, std::string("it's-mine"), filtered);
  observe(name, std::nullopt, everything);
  observe(uniqueName("other"), std::nullopt, std::make_shared<Inbox<DistributedNotification>>());

  ASSERT_TRUE(center->postNotificationName(name, std::string("someone-else"), nullptr));
  ASSERT_TRUE(center->postNotificationName(name, std::nullopt, nullptr));
  ASSERT_TRUE(center->postNotificationName(name, std::string("it's-mine"), nullptr));
  ASSERT_TRUE(everything->waitForCount(3));
  ASSERT_TRUE(filtered->waitForCount(1));
  // Signals of one sender arrive in order, so the last one seen by everyone
  // is the last one the filter could have let through.
  EXPECT_EQ(filtered->size(), 1u);
  EXPECT_EQ(filtered->items()[0].object, "it's-mine");
  EXPECT_FALSE(everything->items()[1].object.has_value());
  EXPECT_EQ(everything->items()[1].userInfo, nullptr);

  center->removeObserver(tokens.back());
  tokens.pop_back();
  center->removeObserver(tokens[1]);
  ASSERT_TRUE(center->postNotificationName(name, std::string("it's-mine"), nullptr));
  ASSERT_TRUE(filtered->waitForCount(2));
  EXPECT_EQ(everything->size(), 3u);
}

TEST(DistributedNotificationCenterRules, FilterByNameAndObjectUnlessAnApostropheForbidsIt) {
  const std::string base =
      "type='signal',interface='com.korvia.DistributedNotificationCenter',member='Notification',"
      "path='/com/korvia/DistributedNotificationCenter'";
  EXPECT_EQ(DistributedNotificationCenter::matchRuleForName("n", std::string("o")), base + ",arg0='n',arg1='o'");
  EXPECT_EQ(DistributedNotificationCenter::matchRuleForName("n", std::nullopt), base + ",arg0='n'");
  EXPECT_EQ(DistributedNotificationCenter::matchRuleForName("n", std::string("a'b")), base + ",arg0='n'");
}

}  // namespace
}  // namespace fnd
