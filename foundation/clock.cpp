#include "foundation/clock.h"

#include <asio/steady_timer.hpp>
#include <atomic>
#include <memory>
#include <unordered_map>

#include "foundation/executor.h"

namespace fnd {

namespace {

class SystemClock final : public Clock {
 public:
  TimePoint now() const override { return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now()); }
  WallTimePoint wallNow() const override {
    return std::chrono::time_point_cast<Duration>(std::chrono::system_clock::now());
  }

  TaskID schedule(TimePoint deadline, std::function<void()> fire) override {
    auto timer = std::make_shared<asio::steady_timer>(detail::Executor::shared().context(), deadline);
    TaskID id;
    {
      std::lock_guard lock(mutex_);
      id = nextTask_++;
      timers_.emplace(id, timer);
    }
    // The handler keeps its timer alive until it has run.
    timer->async_wait([this, id, timer, fire = std::move(fire)](const std::error_code& error) {
      if (error) return;
      {
        std::lock_guard lock(mutex_);
        // Gone when cancelled after the timer had already expired.
        if (timers_.erase(id) == 0) return;
      }
      fire();
    });
    return id;
  }

  void cancel(TaskID task) override {
    std::shared_ptr<asio::steady_timer> timer;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.find(task);
      if (it == timers_.end()) return;
      timer = std::move(it->second);
      timers_.erase(it);
    }
    timer->cancel();
  }

 private:
  std::mutex mutex_;
  TaskID nextTask_ = 1;
  std::unordered_map<TaskID, std::shared_ptr<asio::steady_timer>> timers_;
};

std::atomic<Clock*> gCurrentClock{nullptr};

}  // namespace

Clock& Clock::system() {
  // Leaked: timers may fire while the process exits.
  static SystemClock* clock = new SystemClock;
  return *clock;
}

Clock& Clock::current() {
  Clock* installed = gCurrentClock.load(std::memory_order_acquire);
  return installed ? *installed : system();
}

ManualClock::ManualClock()
    // Far from the epoch, so subtracting delays never goes below it.
    : now_(std::chrono::hours(24 * 365)),
      wallOffset_(std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()).time_since_epoch() -
                  now_.time_since_epoch()) {}

Clock::TimePoint ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

Clock::WallTimePoint ManualClock::wallNow() const {
  std::lock_guard lock(mutex_);
  return WallTimePoint(now_.time_since_epoch() + wallOffset_);
}

Clock::TaskID ManualClock::schedule(TimePoint deadline, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  TaskID id = nextTask_++;
  tasks_.emplace(std::make_pair(deadline, id), std::move(fire));
  return id;
}

void ManualClock::cancel(TaskID task) {
  std::lock_guard lock(mutex_);
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
    if (it->first.second == task) {
      tasks_.erase(it);
      return;
    }
  }
}

void ManualClock::advance(Duration step) {
  std::lock_guard advancing(advancing_);
  TimePoint target;
  {
    std::lock_guard lock(mutex_);
    target = now_ + step;
  }
  for (;;) {
    std::function<void()> fire;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty() || tasks_.begin()->first.first > target) break;
      auto node = tasks_.extract(tasks_.begin());
      now_ = std::max(now_, node.key().first);
      fire = std::move(node.mapped());
    }
    fire();
  }
  std::lock_guard lock(mutex_);
  now_ = target;
}

void ManualClock::setWallNow(WallTimePoint wall) {
  std::lock_guard lock(mutex_);
  wallOffset_ = wall.time_since_epoch() - now_.time_since_epoch();
}

std::size_t ManualClock::pendingTaskCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

ScopedClockOverride::ScopedClockOverride(Clock& clock) : previous_(gCurrentClock.exchange(&clock)) {}

ScopedClockOverride::~ScopedClockOverride() { gCurrentClock.store(previous_); }

}  // namespace fnd
