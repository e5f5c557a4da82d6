#include "tools/afx_scheduler.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "foundation/check.h"
#include "tools/qv_queue_builder.h"

namespace {

// Dates are doubles: a minimal date within this much of now counts as
// passed, so that a timer set for that very moment is not refused over
// rounding.
constexpr double kDateSlackSeconds = 1e-6;

fnd::DateComponents componentsWithSeconds(std::int64_t seconds) {
  fnd::DateComponents components;
  components.seconds = seconds;
  return components;
}

fnd::DateComponents componentsWithMinutes(std::int64_t minutes) {
  fnd::DateComponents components;
  components.minutes = minutes;
  return components;
}

fnd::DateComponents componentsWithHours(std::int64_t hours) {
  fnd::DateComponents components;
  components.hours = hours;
  return components;
}

fnd::DateComponents componentsWithYears(std::int64_t years) {
  fnd::DateComponents components;
  components.years = years;
  return components;
}

std::shared_ptr<fnd::Date> dateAfter(const fnd::DateComponents& threshold, const fnd::Date& now) {
  return threshold.calendarOrCurrent().dateByAddingComponents(threshold, now);
}

}  // namespace

std::shared_ptr<AFXScheduler> AFXScheduler::initWithAutomaticTriggeringThreshold(
    std::optional<fnd::DateComponents> automaticTriggeringThreshold,
    std::optional<fnd::DateComponents> minimalTriggeringThreshold, std::shared_ptr<QVReachability> reachability,
    Handler handler) {
  FND_PARAMETER_ASSERT(handler != nullptr);
  std::shared_ptr<AFXScheduler> scheduler(new AFXScheduler(std::move(automaticTriggeringThreshold),
                                                           std::move(minimalTriggeringThreshold),
                                                           std::move(reachability), std::move(handler)));
  scheduler->start();
  return scheduler;
}

std::shared_ptr<AFXScheduler> AFXScheduler::initWithTimeInterval(double seconds, Handler handler) {
  FND_PARAMETER_ASSERT(std::isfinite(seconds) && seconds >= 0);
  const double whole = std::floor(seconds);
  fnd::DateComponents interval = componentsWithSeconds(static_cast<std::int64_t>(whole));
  interval.nanoseconds = std::llround((seconds - whole) * 1e9);
  return initWithAutomaticTriggeringThreshold(interval, std::nullopt, nullptr, std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::internetScheduler(fnd::DateComponents automatic,
                                                              fnd::DateComponents minimal, Handler handler) {
  return initWithAutomaticTriggeringThreshold(automatic, minimal, QVReachability::initForInternetConnection(),
                                              std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::statsdHeartbeatSchedulerWithHandler(Handler handler) {
  return internetScheduler(componentsWithMinutes(5), componentsWithMinutes(5), std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::storeRefreshesSchedulerForEnvironment(const fnd::Value&, Handler handler) {
  return internetScheduler(componentsWithMinutes(30), componentsWithMinutes(20), std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::usageReportsUpdatingSchedulerForS3Region(const fnd::Value&,
                                                                                     Handler handler) {
  return internetScheduler(componentsWithHours(6), componentsWithHours(1), std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::customerPermissionsInfoUpdatingSchedulerForEnvironment(const fnd::Value&,
                                                                                                   Handler handler) {
  return internetScheduler(componentsWithYears(1), componentsWithHours(1), std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::recommendationsUpdatingSchedulerWithHandler(Handler handler) {
  return internetScheduler(componentsWithHours(6), componentsWithHours(1), std::move(handler));
}

AFXScheduler::AFXScheduler(std::optional<fnd::DateComponents> automaticTriggeringThreshold,
                           std::optional<fnd::DateComponents> minimalTriggeringThreshold,
                           std::shared_ptr<QVReachability> reachability, Handler handler)
    : automaticTriggeringThreshold_(std::move(automaticTriggeringThreshold)),
      minimalTriggeringThreshold_(std::move(minimalTriggeringThreshold)),
      reachability_(std::move(reachability)),
      handler_(std::move(handler)),
      internalQueue_(QVQueueBuilder::internalQueueWithName("refreshing-scheduler")) {}

AFXScheduler::~AFXScheduler() {
  // Nothing else references the scheduler any more, so its queue-confined
  // state may be touched from here.
  if (reachability_ && reachabilityToken_) reachability_->unsubscribeForChangesWithToken(reachabilityToken_);
  cancelTimer();
}

void AFXScheduler::start() {
  std::weak_ptr<AFXScheduler> weak = weak_from_this();
  if (reachability_) {
    reachabilityToken_ =
        reachability_->subscribeForChangesWithBlock([weak, queue = internalQueue_](QVReachabilityStatus) {
          queue.async([weak] {
            if (auto self = weak.lock()) self->conditionalTrigger();
          });
        });
  }
  internalQueue_.async([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->updateDates();
    self->scheduleTrigger();
    self->isEnabled_ = true;
  });
}

void AFXScheduler::trigger() {
  internalQueue_.async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->conditionalTrigger();
  });
}

void AFXScheduler::forceTrigger() {
  internalQueue_.async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->forcedTrigger();
  });
}

void AFXScheduler::invalidateMinimalTriggeringThresholdOnce() {
  internalQueue_.async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->minimalTriggeringDate_ = nullptr;
  });
}

void AFXScheduler::updateEnabled(bool enabled) {
  internalQueue_.async([weak = weak_from_this(), enabled] {
    auto self = weak.lock();
    if (!self || self->isEnabled_ == enabled) return;
    self->isEnabled_ = enabled;
    self->cancelTimer();
    if (enabled) {
      self->updateDates();
      self->scheduleTrigger();
    }
  });
}

bool AFXScheduler::isEnabled() const {
  return internalQueue_.sync([this] { return isEnabled_; });
}

std::shared_ptr<fnd::Date> AFXScheduler::forceTriggeringDate() const {
  return internalQueue_.sync([this] { return forceTriggeringDate_; });
}

std::shared_ptr<fnd::Date> AFXScheduler::minimalTriggeringDate() const {
  return internalQueue_.sync([this] { return minimalTriggeringDate_; });
}

void AFXScheduler::updateDates() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  const std::shared_ptr<fnd::Date> now = fnd::Date::now();
  if (automaticTriggeringThreshold_) forceTriggeringDate_ = dateAfter(*automaticTriggeringThreshold_, *now);
  if (minimalTriggeringThreshold_) minimalTriggeringDate_ = dateAfter(*minimalTriggeringThreshold_, *now);
}

void AFXScheduler::conditionalTrigger() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (minimalTriggeringDate_ && minimalTriggeringDate_->timeIntervalSinceDate(*fnd::Date::now()) > kDateSlackSeconds) {
    return;
  }
  forcedTrigger();
}

void AFXScheduler::forcedTrigger() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  // While the network is down nothing fires and nothing is scheduled: the
  // next reachability change tries again.
  if (reachability_ && reachability_->status() != QVReachabilityStatusReachable) return;
  updateDates();
  fnd::Queue::global(fnd::QualityOfService::utility).async(handler_);
  scheduleTrigger();
}

void AFXScheduler::scheduleTrigger() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  cancelTimer();
  if (!forceTriggeringDate_) return;
  // The force date is wall-clock time; the timer waits for the same span on
  // the clock's own time line. Firing on time is within the platform's
  // leeway (a fifth of the wait, at most 100 seconds), so none is added.
  const double wait = std::max(0.0, forceTriggeringDate_->timeIntervalSinceDate(*fnd::Date::now()));
  const std::chrono::microseconds delay(std::llround(wait * 1e6));
  timer_ = fnd::Timer::create(internalQueue_, delay, /*repeats=*/false, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->conditionalTrigger();
  });
  timer_->start();
}

void AFXScheduler::cancelTimer() {
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}
