#include "foundation/group.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/clock.h"
#include "foundation/semaphore.h"

namespace fnd {
namespace {

using namespace std::chrono_literals;

// Advances a manual clock once the waiter has armed its time-out task, so the
// wait is ended by the clock and not by real time.
void advanceWhenArmed(ManualClock& clock, Clock::Duration step) {
  while (clock.pendingTaskCount() == 0) std::this_thread::yield();
  clock.advance(step);
}

TEST(Group, NotifiesOnceAfterTheLastLeave) {
  Group group;
  Queue queue = Queue::serial("com.korvia.test.group");
  std::atomic<int> notified{0};
  group.enter();
  group.enter();
  group.notify(queue, [&] { ++notified; });
  group.leave();
  queue.sync([] {});
  EXPECT_EQ(notified, 0);
  group.leave();
  queue.sync([] {});
  EXPECT_EQ(notified, 1);
  // A later round does not repeat the spent notification.
  group.enter();
  group.leave();
  queue.sync([] {});
  EXPECT_EQ(notified, 1);
}

TEST(Group, NotifiesAtOnceWhenNothingIsInFlight) {
  Group group;
  Queue queue = Queue::serial("com.korvia.test.group-empty");
  bool notified = false;
  group.notify(queue, [&] { notified = true; });
  queue.sync([] {});
  EXPECT_TRUE(notified);
}

TEST(Group, WaitsForAsyncWorkOnManyQueues) {
  Group group;
  std::atomic<int> ran{0};
  for (int i = 0; i < 50; ++i) {
    Queue::global().async(group, [&] { ++ran; });
    Queue::serial("com.korvia.test.group-many").async(group, [&] { ++ran; });
  }
  group.wait();
  EXPECT_EQ(ran, 100);
}

TEST(Group, TimedWaitEndsWithTheManualClock) {
  ManualClock clock;
  ScopedClockOverride installed(clock);
  Group group;
  group.enter();
  std::thread advancer([&] { advanceWhenArmed(clock, 5s); });
  EXPECT_FALSE(group.waitFor(5s));
  advancer.join();
  group.leave();
  EXPECT_TRUE(group.waitFor(5s));
}

TEST(GroupDeathTest, LeavingMoreThanEnteredIsCaught) {
  EXPECT_DEATH(Group().leave(), "Invalid parameter not satisfying: state_->count > 0");
}

TEST(Semaphore, CountsSignalsAndWaits) {
  Semaphore semaphore(2);
  semaphore.wait();
  semaphore.wait();
  std::atomic<bool> passed{false};
  std::thread waiter([&] {
    semaphore.wait();
    passed = true;
  });
  semaphore.signal();
  waiter.join();
  EXPECT_TRUE(passed);
}

TEST(Semaphore, TimedWaitEndsWithTheManualClockAndTakesNothing) {
  ManualClock clock;
  ScopedClockOverride installed(clock);
  Semaphore semaphore(0);
  std::thread advancer([&] { advanceWhenArmed(clock, 1s); });
  EXPECT_FALSE(semaphore.waitFor(1s));
  advancer.join();
  semaphore.signal();
  EXPECT_TRUE(semaphore.waitFor(1s));
  EXPECT_EQ(clock.pendingTaskCount(), 0u);  // a satisfied wait withdraws its time-out
}

TEST(SemaphoreDeathTest, NegativeStartIsCaught) {
  EXPECT_DEATH(Semaphore(-1), "Invalid parameter not satisfying: initialValue >= 0");
}

}  // namespace
}  // namespace fnd
