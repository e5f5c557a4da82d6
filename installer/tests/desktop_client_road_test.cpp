// The whole road against the reference desktop client: the distribution
// folder made by korvia-make-distribution and served on loopback, the real
// client unpacked, started silently and then reached through D-Bus
// activation on the test's private bus, the featured app installed by it,
// launched through it, and everything undone by a stop.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/ipc_echo/tests/private_bus.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/code_signing.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/process.h"
#include "foundation/search_paths.h"
#include "desktop_client/afx_reference_desktop_client_service.h"
#include "installer/afx_installation_manager.h"
#include "interface/errors/afx_errors.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

namespace fs = std::filesystem;
namespace dist = korvia::distribution;
using fnd::ipc::testing::Inbox;

constexpr auto kRoadBound = std::chrono::seconds(90);

class DesktopClientRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    sandbox_.set("XDG_DATA_HOME", sandbox_.root() + "/home/.local/share");
    sandbox_.set("KORVIA_DBUS_SERVICES_DIR", ipc_echo_testing::PrivateBus::shared().root + "/services");
    sandbox_.set("KORVIA_CLIENT_QUIET_SECONDS", "5");
    applications_ = fnd::SearchPaths::path(fnd::SearchPathLocation::applications);
    const std::string served = sandbox_.work() + "/served";
    fs::create_directories(served);
    dist::Options options;
    options.rootFolder = served;
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server) << server.error().description();
    server_ = std::move(*server);
    sandbox_.set(std::string(AFXDistributionURLVariable), server_->baseURL());

    // Signed by the test team, whose root the client trusts.
    const std::string identities = sandbox_.work() + "/identities";
    fnd::ProcessLaunchOptions identify;
    identify.executablePath = KORVIA_CODESIGN_TOOL;
    identify.arguments = {"make-test-identities", identities};
    identify.captureStandardOutput = true;
    auto identified = fnd::Process::run(identify);
    ASSERT_TRUE(identified && identified->status == 0);
    sandbox_.set(std::string(fnd::kCodeSignatureAnchorEnvironment), identities + "/root.pem");
    fnd::ProcessLaunchOptions make;
    make.executablePath = KORVIA_MAKE_DISTRIBUTION_TOOL;
    make.arguments = {served, "--base-url", server_->baseURL()};
    if (signDistribution()) {
      make.arguments.insert(make.arguments.end(),
                            {"--identity", identities + "/leaf-key.pem", "--chain", identities + "/chain.pem"});
    }
    make.captureStandardOutput = true;
    auto made = fnd::Process::run(make);
    ASSERT_TRUE(made && made->status == 0);
    dataHome_ = sandbox_.root() + "/home/.local/share";
    fs::create_directories(dataHome_);
    untouched_ = snapshotOfWhatTheClientOwns();
    stateFolder_ = dataHome_ + "/Korvia";
    fs::create_directories(stateFolder_);
    fs::copy_file(served + "/catalogue.json", stateFolder_ + "/catalogue.json");
  }

  // The folders the client and its uninstaller write to; the registry of
  // Launch Services keeps its file, which lists nothing once the client is
  // unregistered.
  unarchiver_test::Tree snapshotOfWhatTheClientOwns() const {
    unarchiver_test::Tree tree;
    for (const auto& [path, item] : unarchiver_test::snapshot(dataHome_)) {
      if (!path.starts_with("korvia-launchservices")) tree.emplace("data/" + path, item);
    }
    for (const auto& [path, item] : unarchiver_test::snapshot(ipc_echo_testing::PrivateBus::shared().root + "/services")) {
      tree.emplace("services/" + path, item);
    }
    if (fs::exists(applications_)) {
      for (const auto& [path, item] : unarchiver_test::snapshot(applications_)) tree.emplace("apps/" + path, item);
    }
    return tree;
  }

  // Until the file this returns is removed, the client holds every
  // installation before its download.
  std::string holdInstallations() {
    const std::string gate = sandbox_.work() + "/install.gate";
    std::ofstream(gate) << "held\n";
    sandbox_.set(std::string(AFXReferenceClientInstallGateVariable), gate);
    return gate;
  }

  virtual bool signDistribution() const { return true; }

  unarchiver_test::Sandbox sandbox_;
  std::unique_ptr<dist::Server> server_;
  std::string dataHome_, stateFolder_, applications_;
  unarchiver_test::Tree untouched_;
};

TEST_F(DesktopClientRoadTest, InstallsLaunchesAndUndoesEverything) {
  auto manager = AFXInstallationManager::initWithAppID(246);
  ASSERT_FALSE(manager->korviaWasInstalledBefore());
  Inbox<std::optional<fnd::Error>> completions;
  Inbox<double> progress;
  manager->installWithProgressBlock([&](AFXInstallationState, double value) { progress.put(value); },
                                    [&](const std::optional<fnd::Error>& error) { completions.put(error); });
  auto end = completions.first(kRoadBound);
  ASSERT_TRUE(end) << "no end of the road; state " << manager->state();
  ASSERT_FALSE(*end) << (*end)->description();
  EXPECT_EQ(manager->state(), AFXInstallationStateReady);
  EXPECT_DOUBLE_EQ(progress.items().back(), 1.0);
  EXPECT_TRUE(fs::exists(applications_ + "/Korvia.app/Contents/MacOS/Korvia"));
  EXPECT_TRUE(fs::exists(applications_ + "/Chronofold.app/Contents/MacOS/Chronofold"));

  Inbox<bool> opened;
  manager->launchWithCallback([&](bool value) { opened.put(value); });
  EXPECT_EQ(opened.first(), true);
  const auto pages = unarchiver_test::linesOnceThereAre(stateFolder_ + "/pages.log", 1);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].starts_with("korviadiscovery://open_collection?")) << pages[0];
  EXPECT_NE(pages[0].find("app_id=246"), std::string::npos) << pages[0];

  Inbox<bool> stopped;
  manager->stopInstallationWithCallback([&] { stopped.put(true); });
  ASSERT_TRUE(stopped.first(kRoadBound));
  EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
  EXPECT_FALSE(fs::exists(applications_ + "/Chronofold.app"));
  EXPECT_FALSE(fs::exists(applications_ + "/Korvia.app"));
  EXPECT_FALSE(fs::exists(stateFolder_));
  EXPECT_EQ(unarchiver_test::describe(snapshotOfWhatTheClientOwns()), unarchiver_test::describe(untouched_));
}

TEST_F(DesktopClientRoadTest, ClientKilledDuringTheInstallationComesBackAndTheRequestIsResent) {
  const std::string gate = holdInstallations();
  auto manager = AFXInstallationManager::initWithAppID(246);
  Inbox<std::optional<fnd::Error>> completions;
  manager->installWithProgressBlock(nullptr, [&](const std::optional<fnd::Error>& error) { completions.put(error); });
  for (int i = 0; i < 3000 && manager->state() != AFXInstallationStateInstallingApp; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(manager->state(), AFXInstallationStateInstallingApp);
  // The installation is held in the client: the client goes away with it.
  ipc_echo_testing::PrivateBus::shared().stopOwnerOf(std::string(AFXAppsManagementServiceName));
  fs::remove(gate);
  auto end = completions.first(kRoadBound);
  ASSERT_TRUE(end) << "no end of the road; state " << manager->state();
  ASSERT_FALSE(*end) << (*end)->description();
  EXPECT_EQ(manager->state(), AFXInstallationStateReady);
  EXPECT_TRUE(fs::exists(applications_ + "/Chronofold.app/Contents/MacOS/Chronofold"));
}

TEST_F(DesktopClientRoadTest, HeadlessInstallerPrintsItsRoadAndEndsReady) {
  fnd::ProcessLaunchOptions options;
  options.executablePath = KORVIA_INSTALLER_TOOL;
  options.arguments = {"--headless"};
  options.captureStandardOutput = true;
  auto run = fnd::Process::run(options);
  ASSERT_TRUE(run);
  const std::string output(run->standardOutput.begin(), run->standardOutput.end());
  EXPECT_EQ(run->status, 0) << output;
  std::istringstream lines(output);
  double last = 0;
  std::string line, final;
  while (std::getline(lines, line)) {
    long long state = 0;
    double progress = 0;
    char status[32] = {};
    if (std::sscanf(line.c_str(), "%lld %lf %31s", &state, &progress, status) == 3) {
      EXPECT_GE(progress, last - 1e-9) << line;
      last = progress;
    }
    final = line;
  }
  EXPECT_EQ(final, "ready") << output;
  EXPECT_DOUBLE_EQ(last, 1.0) << output;
  EXPECT_TRUE(fs::exists(applications_ + "/Chronofold.app"));
}

TEST_F(DesktopClientRoadTest, HeadlessInstallerTerminatedMidwayUndoesTheInstallation) {
  const std::string gate = holdInstallations();
  // The client's first word about the app's installation says it is held.
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  ASSERT_TRUE(center);
  Inbox<bool> installing;
  auto observer = (*center)->addObserverForName(std::string(AFXAppsManagementAppWorkflowChangedNotification), std::nullopt,
                                                fnd::Queue::serial("road-test.workflow"),
                                                [&](const fnd::DistributedNotification&) { installing.put(true); });
  ASSERT_TRUE(observer);
  fnd::ProcessLaunchOptions options;
  options.executablePath = KORVIA_INSTALLER_TOOL;
  options.arguments = {"--headless"};
  options.captureStandardOutput = true;
  auto installer = fnd::Process::launch(options);
  ASSERT_TRUE(installer);
  ASSERT_TRUE(installing.first(kRoadBound));
  (*installer)->terminate();
  const auto ended = (*installer)->waitUntilExit();
  (*center)->removeObserver(*observer);
  const std::string output(ended.standardOutput.begin(), ended.standardOutput.end());
  EXPECT_EQ(ended.status, 128 + SIGTERM) << output;
  EXPECT_NE(output.find("stopping\n"), std::string::npos) << output;
  EXPECT_EQ(output.find("ready"), std::string::npos) << output;
  // No client was there before: the stop ran its uninstaller.
  EXPECT_FALSE(fs::exists(applications_ + "/Korvia.app"));
  EXPECT_FALSE(fs::exists(applications_ + "/Chronofold.app"));
  fs::remove(gate);
}

// The service's notification reaches the client through its bus service,
// started by activation like its other services, and its action runs.
TEST_F(DesktopClientRoadTest, PushNotificationsReachTheClientAndTheirActionsRun) {
  const std::string opened = sandbox_.work() + "/opened.log";
  const std::string opener = sandbox_.work() + "/opener";
  ASSERT_TRUE(unarchiver_test::writeRecordingProgram(opener, opened));
  sandbox_.set("KORVIA_OPEN_COMMAND", opener);
  auto manager = AFXInstallationManager::initWithAppID(246);
  Inbox<std::optional<fnd::Error>> completions;
  manager->installWithProgressBlock(nullptr, [&](const std::optional<fnd::Error>& error) { completions.put(error); });
  auto end = completions.first(kRoadBound);
  ASSERT_TRUE(end && !*end);

  auto deliver = [&](const std::string& json, bool remote) {
    const std::string path = sandbox_.work() + "/push.json";
    std::ofstream(path, std::ios::trunc) << json;
    fnd::ProcessLaunchOptions options;
    options.executablePath = KORVIA_PUSH_TOOL;
    options.arguments = remote ? std::vector<std::string>{"deliver", path} : std::vector<std::string>{"deliver", "--local", path};
    options.captureStandardOutput = true;
    auto run = fnd::Process::run(options);
    return run && run->status == 0 ? std::string(run->standardOutput.begin(), run->standardOutput.end()) : std::string("failed");
  };
  const std::string news = R"({"identifier": "com.korvia.push.news", "analytics-identifier": "news-1",
      "actions": {"open-url": {"link": "https://example.test/news"}}})";
  EXPECT_EQ(deliver(news, false), "not handled\n");
  EXPECT_EQ(deliver(R"({"identifier": "org.example.push", "actions": {}})", true), "not handled\n");
  EXPECT_EQ(deliver(news, true), "handled\n");
  EXPECT_EQ(unarchiver_test::linesOnceThereAre(opened, 1), std::vector<std::string>{"https://example.test/news"});
}

class UnsignedDistributionRoadTest : public DesktopClientRoadTest {
 protected:
  bool signDistribution() const override { return false; }
};

TEST_F(UnsignedDistributionRoadTest, AnAppTheTeamDidNotSignIsRefusedByTheClient) {
  auto manager = AFXInstallationManager::initWithAppID(246);
  Inbox<std::optional<fnd::Error>> completions;
  manager->installWithProgressBlock(nullptr, [&](const std::optional<fnd::Error>& error) { completions.put(error); });
  auto end = completions.first(kRoadBound);
  ASSERT_TRUE(end && *end) << "the unsigned app must not be installed";
  EXPECT_TRUE((*end)->is(AFXDefaultErrorDomain, afx_appSignatureCheckFailedWithError(std::nullopt).code()))
      << (*end)->description();
  EXPECT_EQ(manager->state(), AFXInstallationStateAppInstallationFailed);
  EXPECT_FALSE(fs::exists(applications_ + "/Chronofold.app"));
}

}  // namespace
