#include "foundation/semaphore.h"

#include <condition_variable>
#include <mutex>

#include "foundation/check.h"
#include "foundation/executor.h"
#include "foundation/wait.h"

namespace fnd {

struct Semaphore::State {
  std::mutex mutex;
  std::condition_variable condition;
  long value;
};

Semaphore::Semaphore(long initialValue) : state_(std::make_shared<State>()) {
  FND_PARAMETER_ASSERT(initialValue >= 0);
  state_->value = initialValue;
}

void Semaphore::signal() const {
  {
    std::lock_guard lock(state_->mutex);
    ++state_->value;
  }
  state_->condition.notify_one();
}

void Semaphore::wait() const {
  std::unique_lock lock(state_->mutex);
  if (state_->value == 0) {
    detail::Executor::BlockingScope blocking;
    state_->condition.wait(lock, [this] { return state_->value > 0; });
  }
  --state_->value;
}

bool Semaphore::waitFor(Clock::Duration timeout) const {
  return detail::waitWithTimeout(
      state_, timeout, [this] { return state_->value > 0; }, [this] { --state_->value; });
}

}  // namespace fnd
