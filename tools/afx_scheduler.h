#pragma once

// Calls a handler periodically. After the automatic threshold has passed
// since the last firing (or the start) the scheduler fires by itself; before
// the minimal threshold has passed a request to fire is refused. With a
// reachability monitor it does not fire while the network is down and tries
// again whenever reachability changes.
//
// Every state change runs on the scheduler's serial internal queue; the
// public operations only submit work there and return at once. The handler
// runs on the global utility queue, never on the internal queue. Timers and
// subscriptions hold the scheduler weakly, so the owner's reference alone
// keeps it alive.

#include <functional>
#include <memory>
#include <optional>

#include "foundation/calendar.h"
#include "foundation/date.h"
#include "foundation/queue.h"
#include "foundation/timer.h"
#include "foundation/uuid.h"
#include "foundation/value.h"
#include "tools/qv_reachability.h"

class AFXScheduler : public std::enable_shared_from_this<AFXScheduler> {
 public:
  using Handler = std::function<void()>;

  // Thresholds are added to the current date with their own calendar, or the
  // current calendar when they carry none. Either may be absent: without an
  // automatic threshold the scheduler fires only on request.
  static std::shared_ptr<AFXScheduler> initWithAutomaticTriggeringThreshold(
      std::optional<fnd::DateComponents> automaticTriggeringThreshold,
      std::optional<fnd::DateComponents> minimalTriggeringThreshold, std::shared_ptr<QVReachability> reachability,
      Handler handler);
  // A plain repeating timer: no minimal threshold, no reachability.
  static std::shared_ptr<AFXScheduler> initWithTimeInterval(double seconds, Handler handler);

  // Schedulers of the periodic background work, each waiting for the
  // internet connection. The environment and region are not used.
  static std::shared_ptr<AFXScheduler> statsdHeartbeatSchedulerWithHandler(Handler handler);
  static std::shared_ptr<AFXScheduler> storeRefreshesSchedulerForEnvironment(const fnd::Value& environment,
                                                                             Handler handler);
  static std::shared_ptr<AFXScheduler> usageReportsUpdatingSchedulerForS3Region(const fnd::Value& region,
                                                                                Handler handler);
  static std::shared_ptr<AFXScheduler> customerPermissionsInfoUpdatingSchedulerForEnvironment(
      const fnd::Value& environment, Handler handler);
  static std::shared_ptr<AFXScheduler> recommendationsUpdatingSchedulerWithHandler(Handler handler);

  AFXScheduler() = delete;
  AFXScheduler(const AFXScheduler&) = delete;
  AFXScheduler& operator=(const AFXScheduler&) = delete;
  ~AFXScheduler();

  // Fires if the minimal threshold has passed.
  void trigger();
  // Fires now, regardless of the minimal threshold.
  void forceTrigger();
  // Lets the next `trigger` pass the minimal test once.
  void invalidateMinimalTriggeringThresholdOnce();
  // Disabling cancels the pending timer; enabling starts a fresh period.
  void updateEnabled(bool enabled);

  const std::optional<fnd::DateComponents>& automaticTriggeringThreshold() const {
    return automaticTriggeringThreshold_;
  }
  const std::optional<fnd::DateComponents>& minimalTriggeringThreshold() const { return minimalTriggeringThreshold_; }
  const std::shared_ptr<QVReachability>& reachability() const { return reachability_; }
  // "com.quorvex.refreshing-scheduler.internal-queue".
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // Read on the internal queue, after the work submitted before.
  bool isEnabled() const;
  std::shared_ptr<fnd::Date> forceTriggeringDate() const;
  std::shared_ptr<fnd::Date> minimalTriggeringDate() const;

 private:
  AFXScheduler(std::optional<fnd::DateComponents> automaticTriggeringThreshold,
               std::optional<fnd::DateComponents> minimalTriggeringThreshold,
               std::shared_ptr<QVReachability> reachability, Handler handler);
  static std::shared_ptr<AFXScheduler> internetScheduler(fnd::DateComponents automatic, fnd::DateComponents minimal,
                                                         Handler handler);
  void start();

  // All on the internal queue.
  void updateDates();
  void conditionalTrigger();
  void forcedTrigger();
  void scheduleTrigger();
  void cancelTimer();

  const std::optional<fnd::DateComponents> automaticTriggeringThreshold_;
  const std::optional<fnd::DateComponents> minimalTriggeringThreshold_;
  const std::shared_ptr<QVReachability> reachability_;
  const Handler handler_;
  const fnd::Queue internalQueue_;
  std::shared_ptr<fnd::UUID> reachabilityToken_;

  // Confined to the internal queue.
  std::shared_ptr<fnd::Date> forceTriggeringDate_;
  std::shared_ptr<fnd::Date> minimalTriggeringDate_;
  std::shared_ptr<fnd::Timer> timer_;
  bool isEnabled_ = false;
};
