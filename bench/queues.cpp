// A serial-queue hop and a sync call against the bare executor and a mutex, in
// the same run. Each async benchmark posts a batch and waits for the last one,
// so the figure is the cost per hop at steady throughput.

#include <benchmark/benchmark.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/queue.h"
#include "foundation/semaphore.h"

namespace {

constexpr int kBatch = 1000;

void BM_SerialQueueAsyncHop(benchmark::State& state) {
  fnd::Queue queue = fnd::Queue::serial("com.korvia.bench.hop");
  for (auto _ : state) {
    fnd::Semaphore done(0);
    int counter = 0;
    for (int i = 0; i < kBatch; ++i) {
      queue.async([&counter, done] {
        if (++counter == kBatch) done.signal();
      });
    }
    done.wait();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_SerialQueueAsyncHop)->UseRealTime();

// The peer: the same batch posted straight to an io_context run by one thread.
void BM_BareAsioPost(benchmark::State& state) {
  asio::io_context context;
  auto guard = asio::make_work_guard(context);
  std::thread runner([&] { context.run(); });
  for (auto _ : state) {
    fnd::Semaphore done(0);
    int counter = 0;
    for (int i = 0; i < kBatch; ++i) {
      asio::post(context, [&counter, done] {
        if (++counter == kBatch) done.signal();
      });
    }
    done.wait();
  }
  guard.reset();
  runner.join();
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_BareAsioPost)->UseRealTime();

void BM_SerialQueueSync(benchmark::State& state) {
  fnd::Queue queue = fnd::Queue::serial("com.korvia.bench.sync");
  int counter = 0;
  for (auto _ : state) queue.sync([&counter] { ++counter; });
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_SerialQueueSync)->UseRealTime();

// The peer of sync: the same critical section behind a mutex.
void BM_MutexProtectedCall(benchmark::State& state) {
  std::mutex mutex;
  int counter = 0;
  for (auto _ : state) {
    std::lock_guard lock(mutex);
    ++counter;
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_MutexProtectedCall)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
