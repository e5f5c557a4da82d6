#include "foundation/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "foundation/queue.h"
#include "foundation/semaphore.h"
#include "foundation/timer.h"

namespace fnd {
namespace {

using namespace std::chrono_literals;

TEST(ManualClock, FiresInDeadlineOrderAndKeepsTiesInSchedulingOrder) {
  ManualClock clock;
  const Clock::TimePoint start = clock.now();
  std::vector<std::pair<int, Clock::Duration>> fired;
  auto record = [&](int tag) { return [&, tag] { fired.emplace_back(tag, clock.now() - start); }; };
  clock.schedule(start + 3s, record(3));
  clock.schedule(start + 1s, record(1));
  clock.schedule(start + 3s, record(4));
  clock.schedule(start + 2s, record(2));
  clock.schedule(start + 9s, record(9));

  clock.advance(5s);
  EXPECT_EQ(fired, (std::vector<std::pair<int, Clock::Duration>>{{1, 1s}, {2, 2s}, {3, 3s}, {4, 3s}}));
  EXPECT_EQ(clock.now() - start, 5s);
  EXPECT_EQ(clock.pendingTaskCount(), 1u);
}

TEST(ManualClock, HonoursTasksScheduledByAFireWithinTheSameStep) {
  ManualClock clock;
  const Clock::TimePoint start = clock.now();
  std::vector<Clock::Duration> fired;
  std::function<void()> chain = [&] {
    fired.push_back(clock.now() - start);
    if (fired.size() < 10) clock.schedule(clock.now() + 1s, chain);
  };
  clock.schedule(start + 1s, chain);
  clock.advance(4s);
  EXPECT_EQ(fired, (std::vector<Clock::Duration>{1s, 2s, 3s, 4s}));
  clock.advance(100s);
  EXPECT_EQ(fired.size(), 10u);
}

TEST(ManualClock, CancelledTasksNeverFire) {
  ManualClock clock;
  bool fired = false;
  const Clock::TaskID task = clock.schedule(clock.now() + 1s, [&] { fired = true; });
  clock.cancel(task);
  clock.cancel(task);  // twice is harmless
  clock.advance(2s);
  EXPECT_FALSE(fired);
}

TEST(ManualClock, WallTimeMovesWithTheClock) {
  ManualClock clock;
  const Clock::WallTimePoint epoch2001{std::chrono::seconds(978307200)};
  clock.setWallNow(epoch2001);
  clock.advance(90s);
  EXPECT_EQ(clock.wallNow() - epoch2001, 90s);
}

TEST(ScopedClockOverride, InstallsAndRestores) {
  EXPECT_EQ(&Clock::current(), &Clock::system());
  {
    ManualClock outer;
    ScopedClockOverride a(outer);
    {
      ManualClock inner;
      ScopedClockOverride b(inner);
      EXPECT_EQ(&Clock::current(), &inner);
    }
    EXPECT_EQ(&Clock::current(), &outer);
  }
  EXPECT_EQ(&Clock::current(), &Clock::system());
}

TEST(SystemClock, FiresAShortDelayForReal) {
  Semaphore fired(0);
  Clock& clock = Clock::system();
  clock.schedule(clock.now() + 1ms, [&] { fired.signal(); });
  EXPECT_TRUE(fired.waitFor(5s));
}

class TimerTest : public ::testing::Test {
 protected:
  // Lets the queue run what the clock handed it.
  void drain() { queue_.sync([] {}); }

  ManualClock clock_;
  ScopedClockOverride installed_{clock_};
  Queue queue_ = Queue::serial("com.korvia.test.timer");
  std::atomic<int> fires_{0};
};

TEST_F(TimerTest, RepeatingTimerFiresOncePerIntervalWithoutDrift) {
  auto timer = Timer::create(queue_, 10s, true, [&] { ++fires_; });
  timer->start();
  clock_.advance(9s);
  drain();
  EXPECT_EQ(fires_, 0);
  clock_.advance(1s);
  drain();
  EXPECT_EQ(fires_, 1);
  // A long step delivers every missed interval, at whole intervals from start.
  clock_.advance(35s);
  drain();
  EXPECT_EQ(fires_, 4);
  clock_.advance(5s);
  drain();
  EXPECT_EQ(fires_, 5);
  EXPECT_TRUE(timer->isValid());
}

TEST_F(TimerTest, OneShotTimerFiresOnceAndIsSpent) {
  auto timer = Timer::create(queue_, 2s, false, [&] { ++fires_; });
  timer->start();
  clock_.advance(10s);
  drain();
  EXPECT_EQ(fires_, 1);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(clock_.pendingTaskCount(), 0u);
}

TEST_F(TimerTest, RestartPushesTheDeadlineBack) {
  auto timer = Timer::create(queue_, 10s, true, [&] { ++fires_; });
  timer->start();
  clock_.advance(8s);
  timer->start();
  clock_.advance(8s);
  drain();
  EXPECT_EQ(fires_, 0);
  clock_.advance(2s);
  drain();
  EXPECT_EQ(fires_, 1);
  EXPECT_EQ(clock_.pendingTaskCount(), 1u);  // the old deadline was withdrawn
}

TEST_F(TimerTest, CancelOnItsQueueStopsAFireAlreadyHandedOver) {
  auto timer = Timer::create(queue_, 1s, true, [&] { ++fires_; });
  timer->start();
  // Hold the queue so the fire is queued behind the cancel.
  Semaphore release(0);
  queue_.async([&] { release.wait(); });
  queue_.async([&] { timer->cancel(); });
  clock_.advance(1s);
  release.signal();
  drain();
  EXPECT_EQ(fires_, 0);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(clock_.pendingTaskCount(), 0u);
}

TEST_F(TimerTest, DestroyedTimerCallsNoMore) {
  auto timer = Timer::create(queue_, 1s, true, [&] { ++fires_; });
  timer->start();
  timer.reset();
  clock_.advance(5s);
  drain();
  EXPECT_EQ(fires_, 0);
  EXPECT_EQ(clock_.pendingTaskCount(), 0u);
}

TEST(TimerDeathTest, RepeatingTimerNeedsAnInterval) {
  EXPECT_DEATH(Timer::create(Queue::main(), Clock::Duration::zero(), true, [] {}),
               "Invalid parameter not satisfying: !repeats \\|\\| interval > Clock::Duration::zero\\(\\)");
}

}  // namespace
}  // namespace fnd
