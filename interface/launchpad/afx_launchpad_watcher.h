#pragma once

// Watches the Dock's Launchpad database until an app shows up inside a
// Launchpad group, or a time limit passes. Only reads the database. Requests
// are held and examined on the watcher's queue; each request's waiting
// happens on a utility worker.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/queue.h"
#include "foundation/timer.h"
#include "foundation/url.h"
#include "interface/launchpad/afx_launchpad_watch_params_holder.h"
#include "tools/files/qv_file_monitor.h"
#include "tools/files/qv_file_observer.h"

// Outcomes of a watch.
inline constexpr long AFXLaunchpadWatchOutcomeAppeared = 0;
inline constexpr long AFXLaunchpadWatchOutcomeTimedOut = 1;
inline constexpr long AFXLaunchpadWatchOutcomeCannotWatch = 2;

class AFXLaunchpadWatcher final : public QVFileObserver, public std::enable_shared_from_this<AFXLaunchpadWatcher> {
 public:
  static constexpr fnd::Clock::Duration kCheckInterval = std::chrono::seconds(1);

  // A watcher of the system's database (see launchpadDatabaseURL).
  static std::shared_ptr<AFXLaunchpadWatcher> create();
  // A watcher of the database at `databaseURL` (null: none), whose schema is
  // checked now.
  static std::shared_ptr<AFXLaunchpadWatcher> createWithDatabaseURL(std::shared_ptr<fnd::URL> databaseURL);
  ~AFXLaunchpadWatcher() override;

  // The first readable ".../com.apple.dock.launchpad/db/db" under the
  // per-user folders ("/var/folders" under the system root); searched once
  // per process.
  static std::shared_ptr<fnd::URL> launchpadDatabaseURL();
  // Whether that database has the tables the watcher reads; decided once.
  static bool canWatchLaunchpadDatabase();
  static bool databaseHasWatchableSchema(const fnd::URL& databaseURL);
  // The first folder below the system applications folder that holds the
  // app, or none.
  static std::optional<std::string> launchpadGroupThatCanBeCreatedForAppURL(const fnd::URL& appURL);

  // Calls `completionHandler` exactly once, on a utility worker, with an
  // AFXLaunchpadWatchOutcome: at once with 2 when the database cannot be
  // watched, else 0 when the app appears inside the group within
  // `untilTimeInterval` seconds (on the installed clock), 1 otherwise.
  void watchForAppAppearance(std::shared_ptr<fnd::URL> appURL, std::string groupName, double untilTimeInterval,
                             std::function<void(long)> completionHandler);

  const fnd::Queue& internalQueue() const { return internalQueue_; }
  void fileMonitorDidObserveChange(QVFileMonitor& monitor, const fnd::URL& fileURL) override;

 private:
  AFXLaunchpadWatcher(std::shared_ptr<fnd::URL> databaseURL, bool canWatch);

  // On the internal queue.
  void startWatching();
  void stopWatching();
  void check();
  void drop(const std::shared_ptr<AFXLaunchpadWatchParamsHolder>& holder);

  const std::shared_ptr<fnd::URL> databaseURL_;
  const bool canWatch_;
  const fnd::Queue internalQueue_;
  // Confined to the internal queue.
  std::shared_ptr<fnd::Timer> checkTimer_;
  std::vector<std::shared_ptr<QVFileMonitor>> fileMonitors_;
  std::vector<std::shared_ptr<AFXLaunchpadWatchParamsHolder>> paramsHolders_;
};
