#include "foundation/timer.h"

#include "foundation/check.h"

namespace fnd {

std::shared_ptr<Timer> Timer::create(Queue queue, Clock::Duration interval, bool repeats,
                                     std::function<void()> handler) {
  FND_PARAMETER_ASSERT(handler != nullptr);
  FND_PARAMETER_ASSERT(!repeats || interval > Clock::Duration::zero());
  return std::shared_ptr<Timer>(new Timer(std::move(queue), interval, repeats, std::move(handler), Clock::current()));
}

Timer::Timer(Queue queue, Clock::Duration interval, bool repeats, std::function<void()> handler, Clock& clock)
    : queue_(std::move(queue)), interval_(interval), repeats_(repeats), handler_(std::move(handler)), clock_(clock) {}

Timer::~Timer() { clock_.cancel(task_); }

void Timer::start() {
  Clock::TaskID previous;
  std::uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(task_, 0);
    generation = ++generation_;
    valid_ = true;
  }
  clock_.cancel(previous);
  arm(clock_.now() + interval_, generation);
}

void Timer::cancel() {
  Clock::TaskID task;
  {
    std::lock_guard lock(mutex_);
    valid_ = false;
    ++generation_;
    task = std::exchange(task_, 0);
  }
  clock_.cancel(task);
}

bool Timer::isValid() const {
  std::lock_guard lock(mutex_);
  return valid_;
}

void Timer::arm(Clock::TimePoint deadline, std::uint64_t generation) {
  std::weak_ptr<Timer> weak = weak_from_this();
  Clock::TaskID task = clock_.schedule(deadline, [weak, deadline, generation] {
    if (auto self = weak.lock()) self->fired(deadline, generation);
  });
  bool stale;
  {
    std::lock_guard lock(mutex_);
    stale = generation != generation_;
    if (!stale) task_ = task;
  }
  if (stale) clock_.cancel(task);
}

void Timer::fired(Clock::TimePoint deadline, std::uint64_t generation) {
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_) return;
    task_ = 0;
    if (!repeats_) valid_ = false;  // a one-shot timer is spent once it has fired
  }
  if (repeats_) arm(deadline + interval_, generation);
  std::weak_ptr<Timer> weak = weak_from_this();
  queue_.async([weak, generation] {
    auto self = weak.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->mutex_);
      if (generation != self->generation_) return;
    }
    self->handler_();
  });
}

}  // namespace fnd
