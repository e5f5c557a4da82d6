// The installation manager's whole road in this process: the real
// downloader against the loopback distribution server, a client bundle
// whose executable records how it was started, and the desktop client's
// services played by korvia-test-services in a second process on the
// test's private bus, answering from a script.

#include "installer/afx_installation_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/ipc_echo/tests/private_bus.h"
#include "devtools/test_services/test_services_script.h"
#include "devtools/test_services/tests/test_services_process.h"
#include "foundation/array.h"
#include "foundation/file_manager.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/process.h"
#include "foundation/search_paths.h"
#include "foundation/set.h"
#include "interface/apps_management/afx_app_workflow_notification.h"
#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

namespace fs = std::filesystem;
namespace dist = korvia::distribution;
using namespace korvia_test_services;
using fnd::ipc::testing::Inbox;

constexpr std::int64_t kChronofoldID = 246;
constexpr auto kRunBound = std::chrono::seconds(30);

const std::string kInstallOperation = "installVendorApp:shouldLaunch:callback:";
const std::string kPrepareOperation = "prepareResourcesForApp:priority:reportHandler:callback:";

struct Report {
  AFXInstallationState state;
  double progress;
};

std::string infoPlist(const std::string& identifier, const std::string& executable) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>CFBundleIdentifier</key><string>" + identifier + "</string>"
         "<key>CFBundleExecutable</key><string>" + executable + "</string></dict></plist>";
}


class InstallationManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    clientLog_ = sandbox_.work() + "/client.log";
    writeClientArchive();
    dist::Options options;
    options.rootFolder = sandbox_.work() + "/served";
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server) << server.error().description();
    server_ = std::move(*server);
    sandbox_.set(std::string(AFXDistributionURLVariable), server_->baseURL());

    scriptPath_ = sandbox_.work() + "/script.plist";
    logFolder_ = sandbox_.work() + "/calls";
    fs::create_directories(logFolder_);
    scriptTheRoad();
    startServices();
  }

  void TearDown() override {
    manager_.reset();
    stopTestServices(services_);
  }

  void writeClientArchive() {
    const std::string folder = sandbox_.work() + "/served/com.korvia.DesktopClient";
    fs::create_directories(folder);
    unarchiver_test::ZipWriter zip(folder + "/Korvia.zip");
    zip.file("Korvia.app/Contents/Info.plist", infoPlist("com.korvia.DesktopClient", "Korvia"));
    zip.file("Korvia.app/Contents/MacOS/Korvia", unarchiver_test::recordingScript(clientLog_), 0755);
    ASSERT_TRUE(zip.close());
  }

  // The vendor app as the client would have put it in place.
  std::string makeInstalledApp() {
    const std::string app = sandbox_.work() + "/Applications/Chronofold.app";
    fs::create_directories(app + "/Contents/MacOS");
    std::ofstream(app + "/Contents/Info.plist") << infoPlist("com.chronofold.app", "Chronofold");
    return app;
  }

  std::shared_ptr<AFXAppWorkflow> workflowAt(std::int64_t state, double fraction) const {
    auto workflow = AFXAppWorkflow::initWithAppID(kChronofoldID, fnd::URL::fileURLWithPath(installedAppPath_));
    workflow->setState(state);
    workflow->setFractionCompleted(fraction);
    return workflow;
  }

  // Every answer of a successful road: a signed-in customer, a workflow not
  // yet installed, an installation that posts its progress, resources.
  void scriptTheRoad() {
    installedAppPath_ = makeInstalledApp();
    const auto environment = AFXEnvironment::initWithIdentifier(
        AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://store.test/manifest")),
        nullptr);
    const auto customer = AFXCustomer::initWithIdentifier(
        AFXCustomerID::initWithAccountName("ada@example.test", environment->identifier()), "backend-1", "token-1",
        AFXCustomerSubscriptionStatePaid, nullptr, nullptr, nullptr, nullptr, true);
    auto app = AFXCodedApp::make();
    app->setIdentifier(kChronofoldID);
    app->setName("Chronofold");
    std::vector<ScriptedNotification> progress;
    for (const double fraction : {0.25, 0.75, 1.0}) {
      auto step = workflowAt(fraction < 1.0 ? AFXAppWorkflowStateInstalling : AFXAppWorkflowStateInstalled, fraction);
      progress.push_back({std::string(AFXAppsManagementAppWorkflowChangedNotification), step->objectForNotification(),
                          AFXAppWorkflowChangedNotificationUserInfo(step)});
    }
    script_.answers["fetchCurrentEnvironmentUpdated:callback:"] = {.fields = {fnd::Value(environment)}};
    script_.answers["fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:"] =
        {.fields = {fnd::Value(customer)}};
    script_.answers["fetchAppWithID:callback:"] = {.fields = {fnd::Value(app)}};
    script_.answers["fetchAppWorkflowForApp:callback:"] = {.fields = {fnd::Value(workflowAt(AFXAppWorkflowStateIdle, 0))}};
    script_.answers[kInstallOperation] = {
        .fields = {fnd::Value(AFXVendorAppInstance::initWithAppID(kChronofoldID, *fnd::URL::fileURLWithPath(installedAppPath_, true)))},
        .notifications = progress};
    script_.answers[kPrepareOperation] = {.fields = {fnd::Value(fnd::Set::make())}, .reports = {{fnd::Value(0.5)}}};
    script_.answers["stopInstallVendorApp:callback:"] = {};
    writeTheScript();
  }

  void writeTheScript() { ASSERT_TRUE(writeScript(script_, scriptPath_)); }

  void startServices() {
    services_ = startTestServices(scriptPath_, logFolder_);
    ASSERT_TRUE(services_);
  }

  void install() {
    manager_ = AFXInstallationManager::initWithAppID(kChronofoldID);
    manager_->installWithProgressBlock([this](AFXInstallationState state, double progress) { reports_.put({state, progress}); },
                                       [this](const std::optional<fnd::Error>& error) { completions_.put(error); });
  }

  // The completion of the run's `count`th end.
  std::optional<std::optional<fnd::Error>> completion(std::size_t count = 1) {
    if (!completions_.waitForCount(count, kRunBound)) return std::nullopt;
    return completions_.items()[count - 1];
  }

  std::size_t callsOf(const std::string& operation) const {
    std::size_t count = 0;
    for (const auto& call : readCalls(logFolder_)) count += call.operation == operation;
    return count;
  }
  // One line per start of the client so far.
  std::vector<std::string> clientStarts() const { return unarchiver_test::linesOnceThereAre(clientLog_, 0); }

  unarchiver_test::Sandbox sandbox_;
  std::unique_ptr<dist::Server> server_;
  std::string clientLog_, scriptPath_, logFolder_, installedAppPath_;
  Script script_;
  std::shared_ptr<fnd::Process> services_;
  std::shared_ptr<AFXInstallationManager> manager_;
  Inbox<Report> reports_;
  Inbox<std::optional<fnd::Error>> completions_;
};

TEST_F(InstallationManagerTest, CleanInstallReachesReadyWithProgressNeverFalling) {
  install();
  auto end = completion();
  ASSERT_TRUE(end);
  ASSERT_FALSE(*end) << (*end)->description();
  EXPECT_EQ(manager_->state(), AFXInstallationStateReady);
  EXPECT_DOUBLE_EQ(manager_->progress(), 1.0);
  EXPECT_TRUE(manager_->canLaunchApp());

  const auto reports = reports_.items();
  ASSERT_FALSE(reports.empty());
  bool sawDownloadOnly = false;
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_GE(reports[i].progress, reports[i - 1].progress - 1e-9) << "report " << i;
    sawDownloadOnly |= std::abs(reports[i].progress - 0.3) < 1e-9;
  }
  EXPECT_TRUE(sawDownloadOnly) << "the finished download alone is 0.3";
  EXPECT_EQ(reports.back().state, AFXInstallationStateReady);

  // The client was unpacked, started silently once, and asked to install
  // the app without launching it and to prepare its resources.
  const std::string client = fnd::SearchPaths::path(fnd::SearchPathLocation::applications) + "/Korvia.app";
  EXPECT_EQ(manager_->desktopClientURL()->path(), client);
  EXPECT_EQ(clientStarts(), std::vector<std::string>{"-silentLaunch"});
  const auto& family = AFXAppsManagementFamily();
  for (const auto& call : readCalls(logFolder_)) {
    if (call.operation == kInstallOperation) {
      EXPECT_EQ(call.argument(family, "shouldLaunch").boolValue(), false);
    }
    if (call.operation == kPrepareOperation) {
      EXPECT_EQ(call.argument(family, "priority").integerValue(), 2);
    }
  }
  EXPECT_EQ(callsOf(kInstallOperation), 1u);
}

TEST_F(InstallationManagerTest, InstalledAppGoesStraightToResourcesAndTheirFailureStillSucceeds) {
  script_.answers["fetchAppWorkflowForApp:callback:"] = {.fields = {fnd::Value(workflowAt(AFXAppWorkflowStateInstalled, 1))}};
  script_.answers[kPrepareOperation] = {.error = afx_didFailToInstallVendorAppForUnknownReason()};
  writeTheScript();
  install();
  auto end = completion();
  ASSERT_TRUE(end);
  EXPECT_FALSE(*end);
  EXPECT_EQ(manager_->state(), AFXInstallationStateReady);
  EXPECT_EQ(callsOf(kInstallOperation), 0u);
  for (const auto& report : reports_.items()) EXPECT_NE(report.state, AFXInstallationStateInstallingApp);
}

TEST_F(InstallationManagerTest, FailedAppInstallationIsRetriedFromThatStep) {
  // A failed installation posts no progress.
  const auto progress = script_.answers[kInstallOperation].notifications;
  script_.answers[kInstallOperation].notifications.clear();
  script_.answers[kInstallOperation].error = afx_didFailToInstallVendorAppForUnknownReason();
  writeTheScript();
  install();
  auto failed = completion();
  ASSERT_TRUE(failed && *failed);
  EXPECT_TRUE((*failed)->is(AFXDefaultErrorDomain, afx_didFailToInstallVendorAppForUnknownReason().code()))
      << (*failed)->description();
  EXPECT_EQ(manager_->state(), AFXInstallationStateAppInstallationFailed);

  script_.answers[kInstallOperation].error.reset();
  script_.answers[kInstallOperation].notifications = progress;
  writeTheScript();
  const std::size_t served = server_->servedRequests().size();
  manager_->retryAfterError();
  auto retried = completion(2);
  ASSERT_TRUE(retried);
  EXPECT_FALSE(*retried);
  EXPECT_EQ(manager_->state(), AFXInstallationStateReady);
  // The retry asked for the app again, and neither downloaded nor started
  // the client again.
  EXPECT_EQ(callsOf("fetchAppWithID:callback:"), 2u);
  EXPECT_EQ(clientStarts().size(), 1u);
  EXPECT_EQ(server_->servedRequests().size(), served);
}

TEST_F(InstallationManagerTest, StopUndoesTheRunAndRunsTheUninstallerWhenNoClientWasThereBefore) {
  const std::string uninstallLog = sandbox_.work() + "/uninstaller.log";
  const std::string uninstaller = sandbox_.work() + "/uninstall";
  ASSERT_TRUE(unarchiver_test::writeRecordingProgram(uninstaller, uninstallLog));
  script_.answers["fetchUninstallerExecutableInfoWithType:callback:"] = {
      .fields = {fnd::Value(AFXExecutableInfo::initWithPath(uninstaller, fnd::Array::make({fnd::Value("--quiet")})))}};
  writeTheScript();
  install();
  ASSERT_TRUE(completion());
  ASSERT_FALSE(manager_->korviaWasInstalledBefore());
  const std::size_t reportsBefore = reports_.size();

  Inbox<bool> stopped;
  manager_->stopInstallationWithCallback([&] { stopped.put(true); });
  ASSERT_TRUE(stopped.first(kRunBound));
  EXPECT_EQ(manager_->state(), AFXInstallationStateIdle);
  EXPECT_DOUBLE_EQ(manager_->progress(), 0.0);
  EXPECT_FALSE(manager_->canLaunchApp());
  EXPECT_FALSE(fs::exists(installedAppPath_));
  EXPECT_EQ(unarchiver_test::readTextFile(uninstallLog), "--quiet\n");
  EXPECT_EQ(callsOf("stopInstallVendorApp:callback:"), 1u);
  EXPECT_EQ(callsOf("fetchUninstallerExecutableInfoWithType:callback:"), 1u);
  EXPECT_EQ(reports_.size(), reportsBefore);
  EXPECT_EQ(completions_.size(), 1u);
}

TEST_F(InstallationManagerTest, LaunchOpensTheAppsPageInTheClientOnlyWhenReady) {
  script_.answers["fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:"] = {};
  writeTheScript();
  install();
  Inbox<bool> early;
  manager_->launchWithCallback([&](bool opened) { early.put(opened); });
  EXPECT_EQ(early.first(), false);
  ASSERT_TRUE(completion());
  EXPECT_FALSE(manager_->canLaunchApp());

  Inbox<bool> launched;
  manager_->launchWithCallback([&](bool opened) { launched.put(opened); });
  EXPECT_EQ(launched.first(), true);
  // The client is started with the discovery URL of the featured app.
  const auto starts = unarchiver_test::linesOnceThereAre(clientLog_, 2, std::chrono::seconds(2));
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_TRUE(starts[1].starts_with("korviadiscovery://open_collection?")) << starts[1];
  EXPECT_NE(starts[1].find("app_id=246"), std::string::npos) << starts[1];
  EXPECT_NE(starts[1].find("sender_domain=Installer"), std::string::npos) << starts[1];
}

}  // namespace
