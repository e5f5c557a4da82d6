#pragma once

// Every delay, timer and time-out reads the installed clock. The system clock
// is real time; tests install a ManualClock and advance it, so a ten-second
// pager is tested in microseconds.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace fnd {

class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  // Monotonic time: delays and deadlines.
  using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;
  // Calendar time: dates.
  using WallTimePoint = std::chrono::time_point<std::chrono::system_clock, Duration>;
  using TaskID = std::uint64_t;

  virtual ~Clock() = default;

  virtual TimePoint now() const = 0;
  virtual WallTimePoint wallNow() const = 0;

  // Calls `fire` once, on a thread of the clock's choosing, when `deadline`
  // has passed. `fire` must be short: it hands work to a queue.
  virtual TaskID schedule(TimePoint deadline, std::function<void()> fire) = 0;
  // After cancel returns, `fire` of that task will not start; a cancel racing a
  // fire that has already started does not wait for it.
  virtual void cancel(TaskID task) = 0;

  static Clock& system();
  // The installed clock: the system clock unless a test installed another.
  static Clock& current();
};

// A clock that moves only when told. `advance` fires every task whose
// deadline falls inside the step, in deadline order (ties in scheduling
// order), on the calling thread, setting now() to each deadline as it goes;
// tasks scheduled by those fires are honoured within the same step.
class ManualClock final : public Clock {
 public:
  ManualClock();

  TimePoint now() const override;
  WallTimePoint wallNow() const override;
  TaskID schedule(TimePoint deadline, std::function<void()> fire) override;
  void cancel(TaskID task) override;

  void advance(Duration step);
  void setWallNow(WallTimePoint wall);
  std::size_t pendingTaskCount() const;

 private:
  mutable std::mutex mutex_;
  TimePoint now_;
  Duration wallOffset_;
  TaskID nextTask_ = 1;
  // Ordered by (deadline, task) so ties keep scheduling order.
  std::map<std::pair<TimePoint, TaskID>, std::function<void()>> tasks_;
  std::mutex advancing_;
};

// Installs a clock as the current one for a scope (tests).
class ScopedClockOverride {
 public:
  explicit ScopedClockOverride(Clock& clock);
  ~ScopedClockOverride();
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

 private:
  Clock* previous_;
};

}  // namespace fnd
