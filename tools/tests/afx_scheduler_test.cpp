#include "tools/afx_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "foundation/clock.h"
#include "tools/tests/fake_network_reachability.h"

namespace {

using namespace std::chrono_literals;

fnd::DateComponents seconds(std::int64_t count) {
  fnd::DateComponents components;
  components.seconds = count;
  return components;
}

fnd::DateComponents minutes(std::int64_t count) {
  fnd::DateComponents components;
  components.minutes = count;
  return components;
}

fnd::DateComponents hours(std::int64_t count) {
  fnd::DateComponents components;
  components.hours = count;
  return components;
}

// Counts handler calls; they arrive on the global queue, so waits are in real
// time, never on the test's manual clock.
class HandlerCounter {
 public:
  AFXScheduler::Handler handler() {
    return [state = state_] {
      std::lock_guard lock(state->mutex);
      ++state->count;
      state->onUtilityQueue &= fnd::Queue::global(fnd::QualityOfService::utility).isCurrent();
      state->changed.notify_all();
    };
  }

  bool waitForCount(int count) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, 5s, [&] { return state_->count >= count; });
  }

  // True when no call beyond `count` arrives within a short while.
  bool staysAt(int count) {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait_for(lock, 20ms, [&] { return state_->count > count; });
    return state_->count == count;
  }

  bool allOnUtilityQueue() const {
    std::lock_guard lock(state_->mutex);
    return state_->onUtilityQueue;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    bool onUtilityQueue = true;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

constexpr fnd::NetworkReachabilityFlags kUp = fnd::kNetworkReachabilityFlagsReachable;
constexpr fnd::NetworkReachabilityFlags kDown = 0;

class AFXSchedulerTest : public ::testing::Test {
 protected:
  void TearDown() override { destroyScheduler(); }

  void make(std::optional<fnd::DateComponents> automatic, std::optional<fnd::DateComponents> minimal,
            std::shared_ptr<QVReachability> reachability = nullptr) {
    scheduler = AFXScheduler::initWithAutomaticTriggeringThreshold(automatic, minimal, std::move(reachability),
                                                                   counter.handler());
    drain();
  }

  // Destroys the scheduler and waits until no block of its queue still holds
  // it, so that nothing outlives the manual clock.
  void destroyScheduler() {
    if (!scheduler) return;
    const fnd::Queue queue = scheduler->internalQueue();
    scheduler.reset();
    queue.sync([] {});
  }

  void drain() {
    scheduler->internalQueue().sync([] {});
  }

  // Moves the clock and lets the scheduler handle whatever fired.
  void advance(fnd::Clock::Duration step) {
    clock.advance(step);
    drain();
  }

  // Seconds from the start of the test to the scheduler's force date.
  double forceDateOffset() const { return scheduler->forceTriggeringDate()->timeIntervalSinceDate(*start); }

  fnd::ManualClock clock;
  fnd::ScopedClockOverride clockOverride{clock};
  std::shared_ptr<fnd::Date> start = fnd::Date::now();
  HandlerCounter counter;
  std::shared_ptr<AFXScheduler> scheduler;
};

TEST_F(AFXSchedulerTest, PagerFiresEveryTenSecondsFromThePreviousCall) {
  make(seconds(10), seconds(10));
  EXPECT_TRUE(scheduler->isEnabled());
  EXPECT_EQ(scheduler->internalQueue().label(), "com.quorvex.refreshing-scheduler.internal-queue");

  advance(9s);
  EXPECT_TRUE(counter.staysAt(0));
  advance(1s);
  ASSERT_TRUE(counter.waitForCount(1));
  advance(10s);
  ASSERT_TRUE(counter.waitForCount(2));
  EXPECT_NEAR(forceDateOffset(), 30, 1e-6);

  // A forced firing at 23 s restarts the period: the next one is at 33 s.
  advance(3s);
  scheduler->forceTrigger();
  ASSERT_TRUE(counter.waitForCount(3));
  EXPECT_NEAR(forceDateOffset(), 33, 1e-6);
  advance(7s);
  EXPECT_TRUE(counter.staysAt(3));
  advance(3s);
  ASSERT_TRUE(counter.waitForCount(4));
  EXPECT_TRUE(counter.allOnUtilityQueue());
}

TEST_F(AFXSchedulerTest, MinimalThresholdRefusesTriggerUntilInvalidatedOnce) {
  make(minutes(5), minutes(5));
  scheduler->forceTrigger();
  ASSERT_TRUE(counter.waitForCount(1));

  advance(1s);
  scheduler->trigger();
  drain();
  EXPECT_TRUE(counter.staysAt(1));

  scheduler->invalidateMinimalTriggeringThresholdOnce();
  scheduler->trigger();
  ASSERT_TRUE(counter.waitForCount(2));
  scheduler->trigger();
  drain();
  EXPECT_TRUE(counter.staysAt(2));

  // The automatic firing comes five minutes after the last one.
  advance(5min - 1s);
  EXPECT_TRUE(counter.staysAt(2));
  advance(1s);
  ASSERT_TRUE(counter.waitForCount(3));
}

TEST_F(AFXSchedulerTest, NetworkDownHoldsFiringBackUntilReachabilityChanges) {
  auto target = std::make_shared<FakeNetworkReachability>(kDown);
  auto reachability = QVReachability::initWithReachabilityRef(target);
  make(seconds(10), seconds(10), reachability);
  EXPECT_EQ(scheduler->reachability(), reachability);
  ASSERT_EQ(clock.pendingTaskCount(), 1u);

  advance(10s);
  EXPECT_TRUE(counter.staysAt(0));
  EXPECT_EQ(clock.pendingTaskCount(), 0u);  // nothing scheduled either
  EXPECT_NEAR(forceDateOffset(), 10, 1e-6);
  scheduler->forceTrigger();
  drain();
  EXPECT_TRUE(counter.staysAt(0));

  advance(5s);
  target->change(kUp);
  ASSERT_TRUE(counter.waitForCount(1));
  drain();
  EXPECT_NEAR(forceDateOffset(), 25, 1e-6);
  EXPECT_EQ(clock.pendingTaskCount(), 1u);
}

TEST_F(AFXSchedulerTest, UpdateEnabledRestartsThePeriod) {
  make(seconds(10), seconds(10));
  scheduler->updateEnabled(true);  // already enabled: nothing changes
  drain();
  EXPECT_NEAR(forceDateOffset(), 10, 1e-6);

  advance(4s);
  scheduler->updateEnabled(false);
  EXPECT_FALSE(scheduler->isEnabled());
  EXPECT_EQ(clock.pendingTaskCount(), 0u);
  advance(30s);
  EXPECT_TRUE(counter.staysAt(0));

  scheduler->updateEnabled(true);
  EXPECT_TRUE(scheduler->isEnabled());
  EXPECT_NEAR(forceDateOffset(), 44, 1e-6);
  advance(9s);
  EXPECT_TRUE(counter.staysAt(0));
  advance(1s);
  ASSERT_TRUE(counter.waitForCount(1));
}

TEST_F(AFXSchedulerTest, DisabledSchedulerStillFiresOnRequest) {
  make(seconds(10), seconds(10));
  scheduler->updateEnabled(false);
  scheduler->forceTrigger();
  ASSERT_TRUE(counter.waitForCount(1));
}

TEST_F(AFXSchedulerTest, WithoutAutomaticThresholdFiresOnlyOnRequest) {
  make(std::nullopt, seconds(5));
  EXPECT_EQ(scheduler->forceTriggeringDate(), nullptr);
  EXPECT_EQ(clock.pendingTaskCount(), 0u);
  advance(1h);
  EXPECT_TRUE(counter.staysAt(0));

  scheduler->trigger();  // the minimal date is long past
  ASSERT_TRUE(counter.waitForCount(1));
  scheduler->trigger();
  drain();
  EXPECT_TRUE(counter.staysAt(1));
  advance(5s);
  scheduler->trigger();
  ASSERT_TRUE(counter.waitForCount(2));
  EXPECT_EQ(clock.pendingTaskCount(), 0u);
}

TEST_F(AFXSchedulerTest, TimeIntervalMakesAPlainRepeatingTimer) {
  scheduler = AFXScheduler::initWithTimeInterval(2.5, counter.handler());
  drain();
  ASSERT_TRUE(scheduler->automaticTriggeringThreshold().has_value());
  EXPECT_EQ(scheduler->automaticTriggeringThreshold()->seconds, 2);
  EXPECT_EQ(scheduler->automaticTriggeringThreshold()->nanoseconds, 500'000'000);
  EXPECT_FALSE(scheduler->minimalTriggeringThreshold().has_value());
  EXPECT_EQ(scheduler->reachability(), nullptr);

  advance(2s);
  EXPECT_TRUE(counter.staysAt(0));
  advance(500ms);
  ASSERT_TRUE(counter.waitForCount(1));
  advance(2500ms);
  ASSERT_TRUE(counter.waitForCount(2));
}

TEST_F(AFXSchedulerTest, DestroyingCancelsTheTimerAndNothingKeepsItAlive) {
  make(seconds(10), seconds(10));
  std::weak_ptr<AFXScheduler> weak = scheduler;
  ASSERT_EQ(clock.pendingTaskCount(), 1u);
  destroyScheduler();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(clock.pendingTaskCount(), 0u);
  clock.advance(1min);
  EXPECT_TRUE(counter.staysAt(0));
}

TEST_F(AFXSchedulerTest, FactoriesWaitForTheInternetWithTheirThresholds) {
  struct Expected {
    std::shared_ptr<AFXScheduler> scheduler;
    fnd::DateComponents automatic;
    fnd::DateComponents minimal;
  };
  fnd::DateComponents oneYear;
  oneYear.years = 1;
  const fnd::Value unused;
  std::vector<Expected> all = {
      {AFXScheduler::statsdHeartbeatSchedulerWithHandler(counter.handler()), minutes(5), minutes(5)},
      {AFXScheduler::storeRefreshesSchedulerForEnvironment(unused, counter.handler()), minutes(30), minutes(20)},
      {AFXScheduler::usageReportsUpdatingSchedulerForS3Region(unused, counter.handler()), hours(6), hours(1)},
      {AFXScheduler::customerPermissionsInfoUpdatingSchedulerForEnvironment(unused, counter.handler()), oneYear,
       hours(1)},
      {AFXScheduler::recommendationsUpdatingSchedulerWithHandler(counter.handler()), hours(6), hours(1)},
  };
  for (Expected& expected : all) {
    EXPECT_EQ(expected.scheduler->automaticTriggeringThreshold(), expected.automatic);
    EXPECT_EQ(expected.scheduler->minimalTriggeringThreshold(), expected.minimal);
    EXPECT_NE(expected.scheduler->reachability(), nullptr);
    const fnd::Queue queue = expected.scheduler->internalQueue();
    expected.scheduler.reset();
    queue.sync([] {});
  }
}

}  // namespace
