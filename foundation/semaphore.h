#pragma once

#include <memory>

#include "foundation/clock.h"

namespace fnd {

// A counting semaphore. Copies share one semaphore.
class Semaphore {
 public:
  explicit Semaphore(long initialValue);

  void signal() const;
  void wait() const;
  // Waits at most `timeout` on the current clock; false when it ran out.
  [[nodiscard]] bool waitFor(Clock::Duration timeout) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace fnd
