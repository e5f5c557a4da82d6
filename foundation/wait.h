#pragma once

// Timed waits on the current clock (internal to fnd). The time-out is a task on
// the clock, so a manual clock's advance ends the wait as real time would.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "foundation/clock.h"
#include "foundation/executor.h"

namespace fnd::detail {

// Waits until `ready()` holds, then runs `take()` under the same lock and
// returns true; returns false once `timeout` has passed on the current clock.
// `State` has `mutex` and `condition` members; the clock task shares it, so a
// late time-out finds it alive.
template <class State, class Ready, class Take>
bool waitWithTimeout(const std::shared_ptr<State>& state, Clock::Duration timeout, Ready ready, Take take) {
  {
    std::lock_guard lock(state->mutex);
    if (ready()) {
      take();
      return true;
    }
  }
  auto expired = std::make_shared<bool>(false);
  Clock& clock = Clock::current();
  Clock::TaskID task = clock.schedule(clock.now() + timeout, [state, expired] {
    std::lock_guard lock(state->mutex);
    *expired = true;
    state->condition.notify_all();
  });
  bool satisfied;
  {
    Executor::BlockingScope blocking;
    std::unique_lock lock(state->mutex);
    state->condition.wait(lock, [&] { return ready() || *expired; });
    satisfied = ready();
    if (satisfied) take();
  }
  clock.cancel(task);
  return satisfied;
}

}  // namespace fnd::detail
