#pragma once

// Refreshing the reference client's catalogue: the catalogue file is fetched
// again from the distribution server the client came from
// ("$KORVIA_DISTRIBUTION_URL/catalogue.json"), checked, and put in place of
// the old one in one step.
//
// Every process of the client that refreshes (its services, its agent,
// `Korvia -refreshApps`) goes through the environment's
// AFXAppsRefreshSynchronizer. A request made while a refresh of the
// environment is under way anywhere does not fetch again: it waits for the
// sessions it found to end and is answered by them when the last refresh
// date then lies after the request; otherwise (the refresh failed, or its
// process died and its session went stale) it tries again. The synchronizer
// has no lock of its own, so looking for live sessions and starting one, and
// ending one, happen under a file lock in the state folder: of two requests
// made at once exactly one leads.
//
// Requests wait on the serial queue "reference-client.apps-refresh"; they are
// looked at again whenever the synchronizer reports a change, and every
// second in case a change went unannounced.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/queue.h"
#include "foundation/url_session.h"
#include "interface/client_services/afx_apps_refresh_synchronizer.h"
#include "interface/model/afx_environment_id.h"

// For tests of a refresh under way: while the file this names exists, a
// leading refresh waits before it fetches.
inline constexpr std::string_view AFXReferenceClientRefreshGateVariable = "KORVIA_CLIENT_REFRESH_GATE";
// The preference (in the client's shared suite) naming the current
// environment by its manifest URL; the default environment without it.
inline constexpr std::string_view AFXReferenceClientEnvironmentKey = "ReferenceEnvironmentManifestURL";

// The environment the preferences name.
std::shared_ptr<AFXEnvironmentID> AFXReferenceClientCurrentEnvironmentID();
// "<distribution server>/catalogue.json"; null when the variable holds no URL.
std::shared_ptr<fnd::URL> AFXReferenceClientCatalogueSourceURL();

enum class AFXReferenceAppsRefreshOutcome {
  refreshed,  // this request fetched the catalogue
  followed,   // a refresh of another request answered it
};

class AFXReferenceAppsRefresher final : public std::enable_shared_from_this<AFXReferenceAppsRefresher> {
  struct Token {};

 public:
  // Called once, on the refresher's queue.
  using Completion = std::function<void(fnd::Expected<AFXReferenceAppsRefreshOutcome>)>;
  // Told, on the refresher's queue, the preference keys of the sessions a
  // request waits for.
  using FollowObserver = std::function<void(const std::vector<std::string>& sessionKeys)>;

  // `stateFolder` holds the catalogue file and the lock.
  static std::shared_ptr<AFXReferenceAppsRefresher> make(std::shared_ptr<AFXEnvironmentID> environmentID,
                                                         std::string stateFolder,
                                                         std::shared_ptr<fnd::URLSession> session);
  AFXReferenceAppsRefresher(Token, std::shared_ptr<AFXEnvironmentID> environmentID, std::string stateFolder,
                            std::shared_ptr<fnd::URLSession> session);
  // Requests still waiting are answered with the cancel error.
  ~AFXReferenceAppsRefresher();

  const std::shared_ptr<AFXAppsRefreshSynchronizer>& synchronizer() const { return synchronizer_; }
  std::string catalogueFile() const { return stateFolder_ + "/catalogue.json"; }
  void setFollowObserver(FollowObserver observer);

  void refresh(AFXAppsRefreshReason reason, Completion completion);

 private:
  struct Request {
    AFXAppsRefreshReason reason = AFXAppsRefreshReasonInternal;
    double requestedAt = 0;
    Completion completion;
    // Empty until the request first finds others refreshing.
    std::vector<std::string> awaited;
  };

  // On the queue.
  void attempt(const std::shared_ptr<Request>& request);
  void checkWaiting();
  void scheduleCheck();
  void lead(const std::shared_ptr<Request>& request, const std::string& sessionID);
  void end(const std::shared_ptr<Request>& request, const std::string& sessionID, const fnd::Expected<void>& fetched);

  // Off the queue: the fetched catalogue checked and written.
  fnd::Expected<void> store(const std::shared_ptr<fnd::Data>& data, const std::shared_ptr<fnd::HTTPURLResponse>& response,
                            const std::optional<fnd::Error>& error) const;
  // Read from the shared preferences, not the synchronizer's cache, which
  // follows only once the announcement has come back.
  double storedLastRefreshDate() const;
  std::string lockFile() const;

  const std::shared_ptr<AFXEnvironmentID> environmentID_;
  const std::string stateFolder_;
  const std::shared_ptr<fnd::URLSession> session_;
  const fnd::Queue queue_;
  std::shared_ptr<AFXAppsRefreshSynchronizer> synchronizer_;

  // Confined to the queue.
  std::vector<std::shared_ptr<Request>> waiting_;
  bool checkScheduled_ = false;
  FollowObserver followObserver_;
};
