#include "foundation/group.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "foundation/check.h"
#include "foundation/executor.h"
#include "foundation/wait.h"

namespace fnd {

struct Group::State {
  std::mutex mutex;
  std::condition_variable condition;
  long count = 0;
  std::vector<std::pair<Queue, Queue::Block>> notifications;
};

Group::Group() : state_(std::make_shared<State>()) {}

void Group::enter() const {
  std::lock_guard lock(state_->mutex);
  ++state_->count;
}

void Group::leave() const {
  std::vector<std::pair<Queue, Queue::Block>> due;
  {
    std::lock_guard lock(state_->mutex);
    FND_PARAMETER_ASSERT(state_->count > 0);
    if (--state_->count > 0) return;
    due.swap(state_->notifications);
  }
  state_->condition.notify_all();
  for (auto& [queue, block] : due) queue.async(std::move(block));
}

void Group::notify(const Queue& queue, Queue::Block block) const {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->count > 0) {
      state_->notifications.emplace_back(queue, std::move(block));
      return;
    }
  }
  queue.async(std::move(block));
}

void Group::wait() const {
  std::unique_lock lock(state_->mutex);
  if (state_->count == 0) return;
  detail::Executor::BlockingScope blocking;
  state_->condition.wait(lock, [this] { return state_->count == 0; });
}

bool Group::waitFor(Clock::Duration timeout) const {
  return detail::waitWithTimeout(
      state_, timeout, [this] { return state_->count == 0; }, [] {});
}

}  // namespace fnd
