#include "foundation/queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/clock.h"
#include "foundation/group.h"
#include "foundation/semaphore.h"

namespace fnd {
namespace {

using namespace std::chrono_literals;

TEST(SerialQueue, KeepsOrderAndExcludesUnderManyProducers) {
  constexpr int kProducers = 8;
  constexpr int kPerProducer = 500;
  Queue queue = Queue::serial("com.korvia.test.order");
  std::vector<std::vector<int>> seen(kProducers);
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  Group done;

  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        queue.async(done, [&, p, i] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          seen[p].push_back(i);  // unsynchronised on purpose: the queue is the lock
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (auto& t : producers) t.join();
  done.wait();

  EXPECT_FALSE(overlapped);
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kPerProducer));
    for (int i = 0; i < kPerProducer; ++i) ASSERT_EQ(seen[p][i], i) << "producer " << p;
  }
}

TEST(SerialQueue, SyncReturnsTheValueAndRunsAfterEarlierBlocks) {
  Queue queue = Queue::serial("com.korvia.test.sync");
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) queue.async([&order, i] { order.push_back(i); });
  const std::size_t count = queue.sync([&] { return order.size(); });
  EXPECT_EQ(count, 100u);
  EXPECT_TRUE(queue.sync([&] { return queue.isCurrent(); }));
  EXPECT_FALSE(queue.isCurrent());
  EXPECT_EQ(queue.sync([] { return Queue::currentLabel(); }), "com.korvia.test.sync");
}

TEST(SerialQueue, OuterQueueStaysCurrentInsideANestedSync) {
  Queue outer = Queue::serial("com.korvia.test.outer");
  Queue inner = Queue::serial("com.korvia.test.inner");
  struct Seen {
    bool outerCurrent = false;
    bool innerCurrent = false;
    std::string label;
  };
  const Seen seen = outer.sync([&] {
    return inner.sync([&] { return Seen{outer.isCurrent(), inner.isCurrent(), Queue::currentLabel()}; });
  });
  EXPECT_TRUE(seen.outerCurrent);
  EXPECT_TRUE(seen.innerCurrent);
  EXPECT_EQ(seen.label, "com.korvia.test.inner");
}

TEST(SerialQueueDeathTest, SyncOntoTheCurrentQueueIsCaught) {
  EXPECT_DEATH(
      {
        Queue queue = Queue::serial("com.korvia.test.self");
        queue.sync([&] { queue.sync([] {}); });
      },
      "Invalid parameter not satisfying: !isCurrent\\(\\)");
}

TEST(SerialQueueDeathTest, SyncBackOntoAnOuterQueueIsCaught) {
  EXPECT_DEATH(
      {
        Queue a = Queue::serial("com.korvia.test.a");
        Queue b = Queue::serial("com.korvia.test.b");
        a.sync([&] { b.sync([&] { a.sync([] {}); }); });
      },
      "Invalid parameter not satisfying: !isCurrent\\(\\)");
}

TEST(GlobalQueue, RunsBlocksConcurrently) {
  // Two blocks that each wait for the other can only finish when they run at
  // the same time.
  Queue global = Queue::global(QualityOfService::utility);
  EXPECT_EQ(global.label(), "com.apple.root.utility-qos");
  Semaphore first(0), second(0);
  Group done;
  std::atomic<int> met{0};
  global.async(done, [&] {
    first.signal();
    if (second.waitFor(5s)) ++met;
  });
  global.async(done, [&] {
    second.signal();
    if (first.waitFor(5s)) ++met;
  });
  done.wait();
  EXPECT_EQ(met, 2);
}

TEST(GlobalQueue, ManyBlockingBlocksDoNotStarveTheWorkTheyWaitFor) {
  // More waiting blocks than baseline workers: the elastic pool must still
  // find a thread for the serial block that releases them.
  constexpr int kWaiters = 16;
  Queue global = Queue::global();
  Queue releaser = Queue::serial("com.korvia.test.releaser");
  Semaphore gate(0);
  Group done;
  for (int i = 0; i < kWaiters; ++i) global.async(done, [&] { gate.wait(); });
  releaser.async([&] {
    for (int i = 0; i < kWaiters; ++i) gate.signal();
  });
  EXPECT_TRUE(done.waitFor(10s));
}

TEST(MainQueue, RunsOnTheMainThreadWhenTheLoopDrains) {
  ASSERT_TRUE(MainLoop::isMainThread());
  Queue main = Queue::main();
  EXPECT_EQ(main.label(), "com.apple.main-thread");
  EXPECT_TRUE(main.isCurrent());
  std::vector<int> order;
  main.async([&] {
    order.push_back(1);
    main.async([&] { order.push_back(3); });
  });
  main.async([&] { order.push_back(2); });
  EXPECT_EQ(MainLoop::runUntilIdle(), 3u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(MainLoop::runUntilIdle(), 0u);
}

TEST(MainQueue, SyncFromAWorkerRunsInsideTheLoop) {
  Queue main = Queue::main();
  std::thread::id ranOn;
  bool currentInside = false;
  Queue::global().async([&] {
    main.sync([&] {
      ranOn = std::this_thread::get_id();
      currentInside = main.isCurrent();
    });
    main.async([] { MainLoop::quit(); });
  });
  MainLoop::run();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(currentInside);
}

TEST(MainQueue, WakeUpHandlerIsCalledForEveryQueuedBlock) {
  std::atomic<int> wakes{0};
  MainLoop::setWakeUpHandler([&] { ++wakes; });
  Queue::main().async([] {});
  std::thread([] { Queue::main().async([] {}); }).join();
  MainLoop::setWakeUpHandler(nullptr);
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(MainLoop::runUntilIdle(), 2u);
}

TEST(QueueAfter, FiresOnAManualClockAdvanceWithoutRealWaiting) {
  ManualClock clock;
  ScopedClockOverride installed(clock);
  Queue queue = Queue::serial("com.korvia.test.after");
  std::atomic<int> fired{0};
  queue.after(10s, [&] { ++fired; });
  queue.after(20s, [&] { fired += 10; });

  clock.advance(9s);
  queue.sync([] {});
  EXPECT_EQ(fired, 0);

  clock.advance(1s);
  queue.sync([] {});
  EXPECT_EQ(fired, 1);

  clock.advance(10s);
  queue.sync([] {});
  EXPECT_EQ(fired, 11);
  EXPECT_EQ(clock.pendingTaskCount(), 0u);
}

TEST(QueueAfter, MainQueueBlockWaitsForTheClockThenTheLoop) {
  ManualClock clock;
  ScopedClockOverride installed(clock);
  bool fired = false;
  Queue::main().after(1s, [&] { fired = true; });
  EXPECT_EQ(MainLoop::runUntilIdle(), 0u);
  clock.advance(1s);
  EXPECT_FALSE(fired);  // the clock hands the block to the queue; the loop runs it
  EXPECT_EQ(MainLoop::runUntilIdle(), 1u);
  EXPECT_TRUE(fired);
}

}  // namespace
}  // namespace fnd
