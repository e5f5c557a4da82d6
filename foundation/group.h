#pragma once

#include <memory>

#include "foundation/clock.h"
#include "foundation/queue.h"

namespace fnd {

// Counts work in flight. Notifications run once, when the count next reaches
// zero (at once when it is zero already). Copies share one group.
class Group {
 public:
  Group();

  void enter() const;
  // Leaving more often than entering is a programming error.
  void leave() const;
  void notify(const Queue& queue, Queue::Block block) const;
  // Waits until the count is zero.
  void wait() const;
  // Waits at most `timeout` on the current clock; false when it ran out.
  [[nodiscard]] bool waitFor(Clock::Duration timeout) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace fnd
