// The reference desktop client, the executable of Korvia.app.
//
//   Korvia -silentLaunch     registers the bundle, makes its services
//                            startable by D-Bus activation, gives the
//                            applications folder its shortcuts, installs
//                            and starts the background agents, and exits
//   Korvia -refreshApps      refreshes the current environment's catalogue,
//                            or follows the refresh another process has
//                            under way; prints "refreshed" or "followed"
//   Korvia -xpcServer        publishes the five services and the push
//                            notifications receiver; exits after a
//                            quiet period ($KORVIA_CLIENT_QUIET_SECONDS, 60)
//   Korvia korviadiscovery://open_collection?...
//                            shows (logs) the page the URL names

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "desktop_client/afx_reference_apps_refresh.h"
#include "desktop_client/afx_reference_client_installation.h"
#include "desktop_client/afx_reference_client_setup.h"
#include "desktop_client/afx_reference_desktop_client_service.h"
#include "desktop_client/afx_reference_push_delegate.h"
#include "foundation/process.h"
#include "interface/client_services/afx_push_notifications_delivery.h"
#include "foundation/bundle.h"
#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
#include "foundation/queue.h"
#include "foundation/search_paths.h"
#include "foundation/url.h"
#include "foundation/url_session_configuration.h"
#include "interface/client_services/afx_desktop_client_servers.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/logging/afx_setup_logger.h"
#include "interface/services/afx_services_factory.h"
#include "interface/web/afx_customer_urls.h"
#include "logging/dd_log.h"

namespace {

int silentLaunch() {
  const auto bundle = fnd::Bundle::mainBundle();
  if (auto registered = fnd::LaunchServices::registerURL(*fnd::URL::fileURLWithPath(bundle->bundlePath(), true), true);
      !registered) {
    std::fprintf(stderr, "Cannot register %s: %s\n", bundle->bundlePath().c_str(), registered.error().description().c_str());
  }
  if (auto made = fnd::FileManager::defaultManager().createDirectoryAtPath(AFXReferenceClientStateFolder(), true); !made) {
    std::fprintf(stderr, "Cannot make the state folder: %s\n", made.error().description().c_str());
    return 73;
  }
  if (auto written = AFXReferenceClientWriteActivationFiles(fnd::currentExecutablePath()); !written) {
    std::fprintf(stderr, "Cannot make the services startable: %s\n", written.error().description().c_str());
    return 69;
  }
  // The services are reachable now; what is left makes the client handier
  // and is reported without failing the start.
  const AFXReferenceClientSetup setup(
      fnd::URL::fileURLWithPath(fnd::SearchPaths::path(fnd::SearchPathLocation::applications), true),
      AFXReferenceClientStateFolder());
  for (const auto& problem : setup.setUp()) std::fprintf(stderr, "%s\n", problem.c_str());
  return 0;
}

int refreshApps() {
  const char* const outcomes[] = {"refreshed", "followed"};
  auto refresher = AFXReferenceAppsRefresher::make(
      AFXReferenceClientCurrentEnvironmentID(), AFXReferenceClientStateFolder(),
      fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration()));
  // Said at once, so that whoever started this knows a refresh is followed.
  refresher->setFollowObserver([](const std::vector<std::string>& sessions) {
    for (const auto& session : sessions) std::printf("following %s\n", session.c_str());
    std::fflush(stdout);
  });
  int status = 0;
  refresher->refresh(AFXAppsRefreshReasonByUser, [&](fnd::Expected<AFXReferenceAppsRefreshOutcome> outcome) {
    if (outcome) {
      std::printf("%s\n", outcomes[static_cast<int>(*outcome)]);
    } else {
      std::fprintf(stderr, "Cannot refresh the catalogue: %s\n", outcome.error().description().c_str());
      status = 1;
    }
    fnd::Queue::main().async([] { fnd::MainLoop::quit(); });
  });
  fnd::MainLoop::run();
  return status;
}

// Ends the main loop once no request has come for the quiet period.
class QuietPeriod {
 public:
  explicit QuietPeriod(std::chrono::seconds length) : length_(length) {}
  void noteActivity() {
    const unsigned generation = ++generation_;
    fnd::Queue::main().after(length_, [this, generation] {
      if (generation_.load() == generation) fnd::MainLoop::quit();
    });
  }

 private:
  const std::chrono::seconds length_;
  std::atomic<unsigned> generation_{0};
};

int serve() {
  const auto configured = fnd::environmentValue("KORVIA_CLIENT_QUIET_SECONDS");
  const long seconds = configured ? std::strtol(configured->c_str(), nullptr, 10) : 60;
  static QuietPeriod quiet(std::chrono::seconds(seconds > 0 ? seconds : 60));
  (void)fnd::FileManager::defaultManager().createDirectoryAtPath(AFXReferenceClientStateFolder(), true);
  auto service = std::make_shared<AFXReferenceDesktopClientService>(fnd::Bundle::mainBundle()->bundlePath(),
                                                                    AFXReferenceClientStateFolder(),
                                                                    [] { quiet.noteActivity(); });
  auto delegate = std::make_shared<AFXDesktopClientServersDelegate>(service, [service] { return service->currentEnvironment(); });
  auto factory = AFXServicesFactory::initWithServicesClasses(AFXDesktopClientServerClasses(), "KorviaDesktopClient", delegate);
  if (!factory) return std::fprintf(stderr, "Cannot publish the services\n"), 69;
  // The service's notifications arrive on a bus service of the client.
  auto pushDelegate = std::make_shared<AFXReferencePushDelegate>(service);
  auto push = AFXPushNotificationsManager::initWithDelegate(pushDelegate);
  push->registerForPushNotifications();
  auto pushListener = AFXPushNotificationsListener::listen(push);
  if (!pushListener) std::fprintf(stderr, "No push notifications: %s\n", pushListener.error().description().c_str());
  quiet.noteActivity();
  fnd::MainLoop::run();
  return 0;
}

int showPage(const std::string& text) {
  auto url = fnd::URL::URLWithString(text);
  if (!url || url->scheme() != "korviadiscovery") {
    std::fprintf(stderr, "Not a page of this client: %s\n", text.c_str());
    return 64;
  }
  const std::string line = "Showing " + url->absoluteString();
  std::printf("%s\n", line.c_str());
  (void)fnd::FileManager::defaultManager().createDirectoryAtPath(AFXReferenceClientStateFolder(), true);
  std::ofstream(AFXReferenceClientStateFolder() + "/pages.log", std::ios::app) << url->absoluteString() << "\n";
  return 0;
}

int run(const std::string& argument) {
  if (argument == AFXDesktopClientSilentLaunchArgument) return silentLaunch();
  if (argument == AFXReferenceClientServerArgument) return serve();
  if (argument == "-refreshApps") return refreshApps();
  return showPage(argument);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: Korvia -silentLaunch | -xpcServer | -refreshApps | URL\n");
    return 64;
  }
  AFXSetupLogger("Korvia");
  const int status = run(argv[1]);
  DDLog::flushLog();
  return status;
}
