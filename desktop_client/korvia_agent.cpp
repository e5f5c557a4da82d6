// The desktop client's background agent, KorviaAgent.app inside Korvia.app,
// installed and started for the user by "-silentLaunch".
//
//   KorviaAgent -xpcServer   keeps the current environment's catalogue
//                            fresh: whenever the last refresh is older than
//                            the interval ($KORVIA_AGENT_REFRESH_SECONDS,
//                            six hours) and automatic refreshes are allowed,
//                            it refreshes as scheduled, through the same
//                            synchronizer as the client, so it never fetches
//                            while the client does

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "desktop_client/afx_reference_apps_refresh.h"
#include "desktop_client/afx_reference_client_installation.h"
#include "foundation/date.h"
#include "foundation/process.h"
#include "foundation/queue.h"
#include "foundation/url_session_configuration.h"
#include "interface/client_services/afx_agent.h"
#include "interface/logging/afx_setup_logger.h"
#include "logging/dd_log.h"
#include "logging/dd_log_macros.h"

namespace {

constexpr double kDefaultIntervalSeconds = 6 * 60 * 60;

class ScheduledRefreshes {
 public:
  explicit ScheduledRefreshes(double interval)
      : interval_(interval),
        session_(fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration())) {}

  // On the main queue.
  void tick() {
    auto environmentID = AFXReferenceClientCurrentEnvironmentID();
    if (!refresher_ || refresher_->synchronizer()->environmentID()->userDefaultsValue() != environmentID->userDefaultsValue()) {
      refresher_ = AFXReferenceAppsRefresher::make(environmentID, AFXReferenceClientStateFolder(), session_);
    }
    const auto& synchronizer = refresher_->synchronizer();
    const auto last = synchronizer->lastRefreshDate();
    const double age = last ? fnd::Date::now()->timeIntervalSinceDate(*last) : interval_;
    if (!synchronizer->allowedAutomaticRefresh()) {
      scheduleTick(interval_);
      return;
    }
    if (age < interval_) {
      scheduleTick(interval_ - age);
      return;
    }
    refresher_->refresh(AFXAppsRefreshReasonScheduled, [this](fnd::Expected<AFXReferenceAppsRefreshOutcome> outcome) {
      if (outcome) {
        DDLogInfo("Scheduled apps refresh %@", std::string(*outcome == AFXReferenceAppsRefreshOutcome::refreshed
                                                               ? "done"
                                                               : "answered by another process"));
      }
      fnd::Queue::main().async([this] { scheduleTick(interval_); });
    });
  }

 private:
  void scheduleTick(double seconds) {
    const auto delay = std::chrono::duration_cast<fnd::Clock::Duration>(
        std::chrono::duration<double>(std::clamp(seconds, 1.0, interval_)));
    fnd::Queue::main().after(delay, [this] { tick(); });
  }

  const double interval_;
  const std::shared_ptr<fnd::URLSession> session_;
  std::shared_ptr<AFXReferenceAppsRefresher> refresher_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1] != AFXAgentServerArgument) {
    std::fprintf(stderr, "usage: KorviaAgent -xpcServer\n");
    return 64;
  }
  AFXSetupLogger("KorviaAgent");
  const auto configured = fnd::environmentValue("KORVIA_AGENT_REFRESH_SECONDS");
  const double seconds = configured ? std::strtod(configured->c_str(), nullptr) : kDefaultIntervalSeconds;
  static ScheduledRefreshes refreshes(seconds >= 1 ? seconds : kDefaultIntervalSeconds);
  fnd::Queue::main().async([] { refreshes.tick(); });
  fnd::MainLoop::run();
  DDLog::flushLog();
  return 0;
}
