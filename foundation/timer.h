#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "foundation/clock.h"
#include "foundation/queue.h"

namespace fnd {

// Calls its handler on its queue after `interval`, and again every interval
// when repeating. Deadlines advance by whole intervals from the start, so a
// repeating timer does not drift. A timer that is cancelled or destroyed
// calls its handler no more; cancelling on the timer's own queue guarantees
// that no call is in flight.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  static std::shared_ptr<Timer> create(Queue queue, Clock::Duration interval, bool repeats,
                                       std::function<void()> handler);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Schedules the first fire `interval` from now. Restarting re-arms it.
  void start();
  void cancel();
  bool isValid() const;

 private:
  Timer(Queue queue, Clock::Duration interval, bool repeats, std::function<void()> handler, Clock& clock);
  void arm(Clock::TimePoint deadline, std::uint64_t generation);
  void fired(Clock::TimePoint deadline, std::uint64_t generation);

  const Queue queue_;
  const Clock::Duration interval_;
  const bool repeats_;
  const std::function<void()> handler_;
  Clock& clock_;

  mutable std::mutex mutex_;
  std::uint64_t generation_ = 0;  // bumped by start and cancel; stale fires are dropped
  Clock::TaskID task_ = 0;
  bool valid_ = true;
};

}  // namespace fnd
