#pragma once

// Lets every process of the service that refreshes one environment's app
// catalogue tell the others: who is refreshing (and whether the user asked
// for it), when the last refresh ended, whether automatic refreshes are
// allowed. The truth lives in the desktop client's shared preferences, keyed
// per environment; each change is announced with a distributed notification
// that brings every process's cached copies up to date, the announcer's too.
//
// The cached values live on the internal queue
// "com.quorvex.apps-refresh-synchronizer.internal-queue", where the
// notifications are delivered.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/date.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/queue.h"
#include "interface/model/afx_environment_id.h"

using AFXAppsRefreshReason = std::uint64_t;
inline constexpr AFXAppsRefreshReason AFXAppsRefreshReasonInternal = 0;
inline constexpr AFXAppsRefreshReason AFXAppsRefreshReasonScheduled = 1;
inline constexpr AFXAppsRefreshReason AFXAppsRefreshReasonByUser = 2;
// For queries only: a session of any reason.
inline constexpr AFXAppsRefreshReason AFXAppsRefreshReasonAny = 3;

inline constexpr std::string_view AFXAppsRefreshWillStartNotification = "com.korvia.apps-refresh-will-start";
inline constexpr std::string_view AFXAppsRefreshDidEndNotification = "com.korvia.apps-refresh-did-end";
inline constexpr std::string_view AFXAutomaticAppsRefreshDidChangeNotification =
    "com.korvia.automatic-apps-refresh-did-change";
inline constexpr std::string_view AFXLastRefreshDateDidChangeNotification = "com.korvia.last-refresh-date-did-change";
inline constexpr std::string_view AFXAppsRefreshProcessIDKey = "com.korvia.apps-refresh-process-id";

// How long a session that was never ended counts as running.
inline constexpr double AFXAppsRefreshSessionLifetime = 300;

class AFXAppsRefreshSynchronizer final : public std::enable_shared_from_this<AFXAppsRefreshSynchronizer> {
  struct Token {};

 public:
  // Told the name of a cached property whenever its value changes.
  using PropertyObserver = std::function<void(std::string_view propertyName)>;

  static std::shared_ptr<AFXAppsRefreshSynchronizer> initWithEnvironmentID(std::shared_ptr<AFXEnvironmentID> environmentID);
  AFXAppsRefreshSynchronizer(Token, std::shared_ptr<AFXEnvironmentID> environmentID);
  ~AFXAppsRefreshSynchronizer();
  AFXAppsRefreshSynchronizer() = delete;

  // The session key of a reason, before the session identifier.
  static std::string sessionKeyPrefixForReason(AFXAppsRefreshReason reason);

  const std::shared_ptr<AFXEnvironmentID>& environmentID() const { return environmentID_; }
  std::shared_ptr<fnd::Date> lastRefreshDate() const;
  // The last refresh date as the shared preferences hold it now; the cached
  // one above follows only when the change has been announced.
  std::shared_ptr<fnd::Date> storedLastRefreshDate() const;
  bool appsRefreshInProgress() const;
  bool userInitiatedAppsRefreshInProgress() const;
  bool allowedAutomaticRefresh() const;
  void addObserver(PropertyObserver observer);

  void willStartAppsRefreshWithID(std::string_view sessionID, AFXAppsRefreshReason reason);
  void didEndAppsRefreshWithID(std::string_view sessionID, AFXAppsRefreshReason reason, bool updateRefreshDate);
  void updateLastRefreshDate();
  // Takes effect on the cached value when the announcement comes back.
  void setAllowedAutomaticRefresh(bool allowed);
  void clearAllActiveRefreshSessions();
  // The live sessions of the reason, preference key to start date. Stale
  // ones (older than the lifetime, or not dates) are removed in the
  // background.
  std::map<std::string, std::shared_ptr<fnd::Date>> activeRefreshSessionsWithReason(AFXAppsRefreshReason reason) const;

 private:
  std::string environmentKey(std::string_view key) const;
  bool ownsKey(const std::string& key) const;
  void post(std::string_view name, const std::optional<std::string>& sessionID) const;
  void subscribe();
  void refreshSessions();
  void refreshLastRefreshDate();
  void refreshAllowedAutomaticRefresh();
  void tell(std::string_view propertyName);
  // Observers run on the internal queue and may read the properties there.
  template <class F>
  auto read(F f) const {
    return internalQueue_.isCurrent() ? f() : internalQueue_.sync(f);
  }

  const std::shared_ptr<AFXEnvironmentID> environmentID_;
  const std::string environmentPrefix_;
  const fnd::Queue internalQueue_;
  std::vector<fnd::DistributedNotificationCenter::ObserverToken> tokens_;

  // Confined to the internal queue.
  std::shared_ptr<fnd::Date> lastRefreshDate_;
  bool appsRefreshInProgress_ = false;
  bool userInitiatedAppsRefreshInProgress_ = false;
  bool allowedAutomaticRefresh_ = true;
  std::vector<PropertyObserver> observers_;
};
