#include "foundation/executor.h"

#include <algorithm>
#include <thread>

namespace fnd::detail {

namespace {
thread_local bool tIsWorker = false;
}

Executor& Executor::shared() {
  // Leaked: workers keep running while the process exits.
  static Executor* executor = new Executor;
  return *executor;
}

Executor::Executor()
    : guard_(asio::make_work_guard(context_)), baseline_(std::max(2u, std::thread::hardware_concurrency())) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < baseline_; ++i) spawnWorker();
}

void Executor::spawnWorker() {
  ++workers_;
  std::thread([this] {
    tIsWorker = true;
    context_.run();
  }).detach();
}

std::size_t Executor::workerCount() {
  std::lock_guard lock(mutex_);
  return workers_;
}

bool Executor::enterBlocking() {
  if (!tIsWorker) return false;
  std::lock_guard lock(mutex_);
  ++blocked_;
  if (workers_ - blocked_ < baseline_ && workers_ < kMaximumWorkers) spawnWorker();
  return true;
}

void Executor::leaveBlocking() {
  std::lock_guard lock(mutex_);
  --blocked_;
}

Executor::BlockingScope::BlockingScope() : counted_(shared().enterBlocking()) {}

Executor::BlockingScope::~BlockingScope() {
  if (counted_) shared().leaveBlocking();
}

}  // namespace fnd::detail
