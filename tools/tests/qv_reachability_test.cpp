#include "tools/qv_reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "tools/tests/fake_network_reachability.h"

namespace {

using namespace std::chrono_literals;

constexpr fnd::NetworkReachabilityFlags kReachable = fnd::kNetworkReachabilityFlagsReachable;
constexpr fnd::NetworkReachabilityFlags kConnectionRequired = fnd::kNetworkReachabilityFlagsConnectionRequired;
constexpr fnd::NetworkReachabilityFlags kOnTraffic = fnd::kNetworkReachabilityFlagsConnectionOnTraffic;
constexpr fnd::NetworkReachabilityFlags kOnDemand = fnd::kNetworkReachabilityFlagsConnectionOnDemand;
constexpr fnd::NetworkReachabilityFlags kIntervention = fnd::kNetworkReachabilityFlagsInterventionRequired;

// Statuses as subscribers hear them, on whatever thread they arrive.
class Heard {
 public:
  QVReachability::ChangesBlock block() {
    return [state = state_](QVReachabilityStatus status) {
      std::lock_guard lock(state->mutex);
      state->statuses.push_back(status);
      state->onUtilityQueue &= fnd::Queue::global(fnd::QualityOfService::utility).isCurrent();
      state->onSharedQueue |= QVReachability::sharedQueue().isCurrent();
      state->changed.notify_all();
    };
  }
  bool waitForCount(std::size_t count) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, 5s, [&] { return state_->statuses.size() >= count; });
  }
  std::vector<QVReachabilityStatus> statuses() const {
    std::lock_guard lock(state_->mutex);
    return state_->statuses;
  }
  bool deliveredOnUtilityQueueOnly() const {
    std::lock_guard lock(state_->mutex);
    return state_->onUtilityQueue && !state_->onSharedQueue;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<QVReachabilityStatus> statuses;
    bool onUtilityQueue = true;
    bool onSharedQueue = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Lets every block queued so far on the shared queue run.
void drainSharedQueue() { QVReachability::sharedQueue().sync([] {}); }

TEST(QVReachabilityStatusTest, FollowsTheFlagRules) {
  struct Case {
    fnd::NetworkReachabilityFlags flags;
    QVReachabilityStatus status;
    bool connectionRequired;
  };
  const Case cases[] = {
      {0, QVReachabilityStatusNotReachable, false},
      {kConnectionRequired | kOnDemand, QVReachabilityStatusNotReachable, true},
      {kReachable, QVReachabilityStatusReachable, false},
      {kReachable | fnd::kNetworkReachabilityFlagsIsDirect, QVReachabilityStatusReachable, false},
      {kReachable | kConnectionRequired, QVReachabilityStatusNotReachable, true},
      {kReachable | kConnectionRequired | kOnDemand, QVReachabilityStatusReachable, true},
      {kReachable | kConnectionRequired | kOnTraffic, QVReachabilityStatusReachable, true},
      {kReachable | kConnectionRequired | kOnDemand | kIntervention, QVReachabilityStatusNotReachable, true},
      {kReachable | kConnectionRequired | kIntervention, QVReachabilityStatusNotReachable, true},
  };
  for (const Case& c : cases) {
    auto monitor = QVReachability::initWithReachabilityRef(std::make_shared<FakeNetworkReachability>(c.flags));
    EXPECT_EQ(monitor->status(), c.status) << "flags " << c.flags;
    EXPECT_EQ(monitor->connectionRequired(), c.connectionRequired) << "flags " << c.flags;
    EXPECT_EQ(monitor->reachabilityFlags(), c.flags);
  }
}

TEST(QVReachabilityTest, NotifierRunsExactlyWhileSomeoneListens) {
  auto target = std::make_shared<FakeNetworkReachability>(0);
  auto monitor = QVReachability::initWithReachabilityRef(target);

  // A token never handed out, with nobody listening, changes nothing.
  monitor->unsubscribeForChangesWithToken(fnd::UUID::make());
  drainSharedQueue();
  EXPECT_FALSE(target->isScheduled());

  Heard heard;
  auto first = monitor->subscribeForChangesWithBlock(heard.block());
  auto second = monitor->subscribeForChangesWithBlock(heard.block());
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(first->isEqual(*second));
  drainSharedQueue();
  EXPECT_TRUE(target->isScheduled());

  monitor->unsubscribeForChangesWithToken(first);
  drainSharedQueue();
  EXPECT_TRUE(target->isScheduled());

  monitor->unsubscribeForChangesWithToken(second);
  drainSharedQueue();
  EXPECT_FALSE(target->isScheduled());

  // Listening again starts it again.
  auto third = monitor->subscribeForChangesWithBlock(heard.block());
  drainSharedQueue();
  EXPECT_TRUE(target->isScheduled());
  monitor.reset();
  drainSharedQueue();
  EXPECT_FALSE(target->isScheduled()) << "destroying the monitor stops the notifier";
}

TEST(QVReachabilityTest, EverySubscriberHearsEachChangeOnTheUtilityQueue) {
  auto target = std::make_shared<FakeNetworkReachability>(0);
  auto monitor = QVReachability::initWithReachabilityRef(target);
  Heard first;
  Heard second;
  monitor->subscribeForChangesWithBlock(first.block());
  monitor->subscribeForChangesWithBlock(second.block());
  drainSharedQueue();

  target->change(kReachable);
  ASSERT_TRUE(first.waitForCount(1));
  ASSERT_TRUE(second.waitForCount(1));
  target->change(kReachable | kConnectionRequired | kIntervention);
  ASSERT_TRUE(first.waitForCount(2));
  ASSERT_TRUE(second.waitForCount(2));

  const std::vector<QVReachabilityStatus> expected{QVReachabilityStatusReachable, QVReachabilityStatusNotReachable};
  EXPECT_EQ(first.statuses(), expected);
  EXPECT_EQ(second.statuses(), expected);
  EXPECT_TRUE(first.deliveredOnUtilityQueueOnly());
}

TEST(QVReachabilityTest, LateSubscriberHearsOnlyLaterChanges) {
  auto target = std::make_shared<FakeNetworkReachability>(0);
  auto monitor = QVReachability::initWithReachabilityRef(target);
  Heard early;
  monitor->subscribeForChangesWithBlock(early.block());
  drainSharedQueue();
  target->change(kReachable);
  ASSERT_TRUE(early.waitForCount(1));

  Heard late;
  monitor->subscribeForChangesWithBlock(late.block());
  drainSharedQueue();
  target->change(0);
  ASSERT_TRUE(late.waitForCount(1));
  ASSERT_TRUE(early.waitForCount(2));
  EXPECT_EQ(late.statuses(), std::vector<QVReachabilityStatus>{QVReachabilityStatusNotReachable});
}

TEST(QVReachabilityTest, UnscheduledTargetStillAnswersReads) {
  auto target = std::make_shared<FakeNetworkReachability>(kReachable);
  target->setFailsToSchedule(true);
  auto monitor = QVReachability::initWithReachabilityRef(target);
  Heard heard;
  monitor->subscribeForChangesWithBlock(heard.block());
  drainSharedQueue();
  EXPECT_FALSE(target->isScheduled());
  EXPECT_EQ(monitor->status(), QVReachabilityStatusReachable);
}

TEST(QVReachabilityTest, MissingTargetIsAProgrammingError) {
  EXPECT_DEATH(QVReachability::initWithReachabilityRef(nullptr), "reachabilityRef");
}

TEST(QVReachabilityTest, UnwatchableDestinationsMakeNoMonitor) {
  EXPECT_EQ(QVReachability::initWithHostName(""), nullptr);
  sockaddr unixFamily{};
  unixFamily.sa_family = AF_UNIX;
  EXPECT_EQ(QVReachability::initWithAddress(&unixFamily, sizeof unixFamily), nullptr);
  sockaddr_in shortAddress{};
  shortAddress.sin_family = AF_INET;
  EXPECT_EQ(QVReachability::initWithAddress(reinterpret_cast<const sockaddr*>(&shortAddress), 4), nullptr);
  EXPECT_NE(QVReachability::initForInternetConnection(), nullptr);
}

TEST(QVReachabilityTest, LoopbackIsReachableAndLocal) {
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto monitor = QVReachability::initWithAddress(reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback);
  ASSERT_NE(monitor, nullptr);
  const fnd::NetworkReachabilityFlags flags = monitor->reachabilityFlags();
  if (flags == 0) GTEST_SKIP() << "the routing tables cannot be read here, or loopback is down";
  EXPECT_EQ(monitor->status(), QVReachabilityStatusReachable);
  EXPECT_NE(flags & fnd::kNetworkReachabilityFlagsIsLocalAddress, 0u);
  EXPECT_NE(flags & fnd::kNetworkReachabilityFlagsIsDirect, 0u);
}

}  // namespace
