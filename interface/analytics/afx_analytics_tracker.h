#pragma once

// Turns screen views, events and timings into analytics events for the data
// hub: decides whether tracking is allowed, fills in the standard fields (hit
// type, current screen, session identifier), keeps the stack of modal
// screens, holds events back in a queue kept in the preferences, and reports
// newly raised health issues of the desktop client.
//
// Tracking calls may come from any thread; they run in call order on the
// internal queue "com.quorvex.analytics-tracker.internal-queue", which owns
// the screens and the cached version.

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bundle.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/queue.h"
#include "foundation/user_defaults.h"
#include "interface/analytics/afx_analytics_event_sink.h"
#include "interface/analytics/afx_monitors_coordinator.h"

// Event field keys and hit types.
inline constexpr std::string_view AFXAnalyticsHitTypeKey = "t";
inline constexpr std::string_view AFXAnalyticsContentDescriptionKey = "cd";
inline constexpr std::string_view AFXAnalyticsUserIdentifierKey = "uid";
inline constexpr std::string_view AFXAnalyticsEventCategoryKey = "ec";
inline constexpr std::string_view AFXAnalyticsEventActionKey = "ea";
inline constexpr std::string_view AFXAnalyticsEventLabelKey = "el";
inline constexpr std::string_view AFXAnalyticsEventValueKey = "ev";
inline constexpr std::string_view AFXAnalyticsHitTypeEvent = "event";
inline constexpr std::string_view AFXAnalyticsHitTypeTiming = "timing";
inline constexpr std::string_view AFXAnalyticsHitTypeAppView = "appview";

// Preferences the tracker reads and keeps.
inline constexpr std::string_view AFXAnalyticsSendProfileInfoKey = "SUSendProfileInfo";
inline constexpr std::string_view AFXAnalyticsRemoteUsageTrackingKey = "RemoteConfigEnableUsageTracking";
inline constexpr std::string_view AFXAnalyticsSessionIdentifierKey = "VT_SID";
inline constexpr std::string_view AFXAnalyticsTrackerDeferredQueueKey = "AFXAnalyticsTrackerDeferredQueue";

class AFXAnalyticsTracker final : public AFXMonitorsCoordinatorObserver,
                                  public std::enable_shared_from_this<AFXAnalyticsTracker> {
  struct Token {};

 public:
  using Fields = std::shared_ptr<fnd::Dictionary>;

  // What a tracker is made of; null members take the process's own (the
  // standard preferences, the main bundle).
  struct Parts {
    std::shared_ptr<AFXAnalyticsEventSink> dataHub;
    std::shared_ptr<fnd::UserDefaults> userDefaults;
    std::shared_ptr<fnd::Bundle> mainBundle;
    std::shared_ptr<AFXMonitorsCoordinator> monitorsCoordinator;
  };

  // With the identification for the name and a data hub on the default
  // configuration.
  static std::shared_ptr<AFXAnalyticsTracker> trackerWithApplicationName(
      std::string applicationName, std::string applicationIdentifier,
      std::shared_ptr<AFXMonitorsCoordinator> monitorsCoordinator);
  static std::shared_ptr<AFXAnalyticsTracker> initWithApplicationName(std::string applicationName,
                                                                      std::string applicationIdentifier, Parts parts);

  AFXAnalyticsTracker(Token, std::string applicationName, std::string applicationIdentifier, Parts parts);

  bool enabled() const { return enabled_.load(); }
  void setEnabled(bool enabled) { enabled_.store(enabled); }

  // The name as given, percent-escaped as UTF-8 with "&" as "%26".
  const std::string& applicationName() const { return applicationName_; }
  const std::string& applicationIdentifier() const { return applicationIdentifier_; }
  const std::shared_ptr<AFXAnalyticsEventSink>& dataHub() const { return dataHub_; }
  const std::shared_ptr<fnd::UserDefaults>& userDefaults() const { return userDefaults_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }
  // Whether the main bundle's version, in lower case, contains "b".
  bool isBeta() const;
  std::shared_ptr<fnd::Date> launchDate() const;

  // The application finished launching: its launch date is now.
  void applicationDidFinishLaunching();

  void trackEventWithParameters(Fields fields);
  void trackTimingWithParameters(Fields fields);
  // Sends exactly {"t": "appview", "cd": name or ""}, nothing else.
  void trackView(std::optional<std::string> name);
  void trackModalView(std::string name);
  void switchToModalView(std::string name);
  void stopTrackingModalView();
  void deferEventWithParameters(Fields fields);
  void sendDeferredEvents();
  void cancelDeferredEvents();

  // Read on the internal queue; for callers that must see the screens.
  std::optional<std::string> currentScreen() const;
  // Top first.
  std::vector<std::string> modalScreens() const;
  // A UUID text kept in the preferences, made on first use.
  std::string sessionIdentifier();

  // AFXMonitorsCoordinatorObserver
  void monitorsCoordinatorActiveIssuesDidChange(const std::optional<AFXHealthIssues>& oldIssues,
                                                const std::optional<AFXHealthIssues>& newIssues) override;
  void monitorsCoordinatorHumanReadableValuesDidChange() override;

 private:
  void registerDefaults();
  // On the internal queue.
  Fields preparedFields(const Fields& fields, std::string_view hitType, bool withContentDescription);
  void send(const Fields& fields);
  void trackViewNow(const std::optional<std::string>& name);
  std::string applicationVersionNow();
  std::string sessionIdentifierNow();

  const std::string applicationName_;
  const std::string applicationIdentifier_;
  const std::shared_ptr<AFXAnalyticsEventSink> dataHub_;
  const std::shared_ptr<fnd::UserDefaults> userDefaults_;
  const std::shared_ptr<fnd::Bundle> mainBundle_;
  const std::shared_ptr<AFXMonitorsCoordinator> monitorsCoordinator_;
  const fnd::Queue internalQueue_;
  std::atomic<bool> enabled_{false};

  // Confined to the internal queue.
  std::optional<std::string> currentScreen_;
  std::vector<std::string> modalScreens_;  // top last
  std::optional<std::string> applicationVersion_;

  mutable std::once_flag betaOnce_;
  mutable bool isBeta_ = false;
  mutable std::mutex launchMutex_;
  std::shared_ptr<fnd::Date> launchDate_;
};

namespace afx_analytics_detail {

// Percent-escapes what a URL cannot carry as is (space, quotes, brackets of
// HTML, non-ASCII bytes, controls), then "&".
std::string escapedApplicationName(std::string_view name);

}  // namespace afx_analytics_detail
