// Refreshes of the catalogue by several processes at once, against a local
// distribution server: the client executable twice, the client and this
// process's service, and the agent on its schedule. A gate holds the leading
// refresh before it fetches, so that the others certainly find it under way.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>

#include "desktop_client/afx_reference_apps_refresh.h"
#include "desktop_client/afx_reference_desktop_client_service.h"
#include "desktop_client/tests/client_process_support.h"
#include "devtools/distribution_server/distribution_server.h"
#include "devtools/ipc_echo/tests/private_bus.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/errors/afx_network_response.h"

namespace {

namespace fs = std::filesystem;
namespace dist = korvia::distribution;
using client_test::text;
using fnd::ipc::testing::Inbox;
using unarchiver_test::readTextFile;

constexpr std::string_view kServedCatalogue = R"({"apps": [
  {"id": 246, "name": "Chronofold", "bundle_name": "Chronofold.app", "archive_url": "http://127.0.0.1:9/apps/Chronofold.zip"},
  {"id": 7, "name": "Tidewell", "bundle_name": "Tidewell.app", "archive_url": "http://127.0.0.1:9/apps/Tidewell.zip"}]}
)";
constexpr std::string_view kOldCatalogue =
    R"({"apps": [{"id": 246, "name": "Chronofold", "bundle_name": "Chronofold.app", "archive_url": "http://127.0.0.1:9/old.zip"}]})";

// This process's shared preferences are opened once, so every test of the
// binary keeps them in one folder; each test refreshes an environment of
// its own there.
const std::string& sharedConfigurationFolder() {
  // Kept until the exit handler below has removed the folder.
  static const std::string* const folder = [] {
    char pattern[] = "/tmp/korvia-refresh-XXXXXX";
    auto* made = new std::string(::mkdtemp(pattern) ? pattern : "");
    std::atexit([] {
      std::error_code ignored;
      if (!sharedConfigurationFolder().empty()) fs::remove_all(sharedConfigurationFolder(), ignored);
    });
    return made;
  }();
  return *folder;
}

class AppsRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    auto& sandbox = client_.sandbox;
    sandbox.set("XDG_CONFIG_HOME", sharedConfigurationFolder());
    static std::atomic<int> counter{0};
    const std::string manifest =
        "https://refresh-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".test/endpoints.json";
    auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
    ASSERT_TRUE(defaults->setObject(fnd::Value(manifest), AFXReferenceClientEnvironmentKey));
    environmentPrefix_ = std::to_string(AFXEnvironmentID::environmentWithURLString(manifest)->hash()) + "-";

    const std::string served = sandbox.work() + "/served";
    fs::create_directories(served);
    std::ofstream(served + "/catalogue.json") << kServedCatalogue;
    dist::Options options;
    options.rootFolder = served;
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server) << server.error().description();
    server_ = std::move(*server);
    sandbox.set(std::string(AFXDistributionURLVariable), server_->baseURL());
    fs::create_directories(client_.stateFolder());
    std::ofstream(catalogue()) << kOldCatalogue;
  }

  // A test that failed midway leaves no process behind to write into the
  // removed sandbox.
  void TearDown() override {
    for (const auto& process : launched_) {
      if (!process->isRunning()) continue;
      process->terminate();
      (void)process->waitUntilExit();
    }
  }

  std::string catalogue() const { return client_.stateFolder() + "/catalogue.json"; }

  // Until the file this returns is removed, a leading refresh waits.
  std::string holdRefreshes() {
    const std::string gate = client_.sandbox.work() + "/refresh.gate";
    std::ofstream(gate) << "held\n";
    client_.sandbox.set(std::string(AFXReferenceClientRefreshGateVariable), gate);
    return gate;
  }

  struct Refresh {
    std::shared_ptr<fnd::Process> process;
    std::string output;
  };
  // `Korvia -refreshApps`, its output in a file that grows as it goes.
  Refresh launchRefresh(const std::string& name) {
    Refresh refresh{nullptr, client_.sandbox.work() + "/" + name + ".out"};
    fnd::ProcessLaunchOptions options;
    options.executablePath = "/bin/sh";
    options.arguments = {"-c", "exec \"$0\" -refreshApps >\"$1\"", client_test::assembledClient() + "/Contents/MacOS/Korvia",
                         refresh.output};
    options.captureStandardError = true;
    auto launched = fnd::Process::launch(std::move(options));
    EXPECT_TRUE(launched);
    if (launched) {
      refresh.process = *launched;
      launched_.push_back(*launched);
    }
    return refresh;
  }

  bool storedHere(std::string_view key) const {
    return client_test::ClientSandbox::hasSharedPreferenceContaining(environmentPrefix_ + std::string(key));
  }
  std::size_t catalogueFetches() const {
    const auto served = server_->servedRequests();
    return std::count_if(served.begin(), served.end(), [](const auto& request) { return request.path == "/catalogue.json"; });
  }

  client_test::ClientSandbox client_;
  std::unique_ptr<dist::Server> server_;
  std::string environmentPrefix_;
  std::vector<std::shared_ptr<fnd::Process>> launched_;
};

TEST_F(AppsRefreshTest, TwoClientsRefreshingAtOnceFetchOnceAndTheSecondFollows) {
  const std::string gate = holdRefreshes();
  Refresh refreshes[] = {launchRefresh("first"), launchRefresh("second")};
  ASSERT_TRUE(refreshes[0].process && refreshes[1].process);
  // Whichever leads is held; the other finds its session.
  ASSERT_TRUE(client_test::eventually([&] {
    return readTextFile(refreshes[0].output).starts_with("following ") || readTextFile(refreshes[1].output).starts_with("following ");
  }));
  EXPECT_TRUE(storedHere("ActiveRefreshSession_-reason_by_user"));
  EXPECT_EQ(catalogueFetches(), 0u);
  fs::remove(gate);

  std::vector<std::string> outputs;
  for (const auto& refresh : refreshes) {
    const auto ended = refresh.process->waitUntilExit();
    EXPECT_EQ(ended.status, 0) << text(ended.standardError);
    outputs.push_back(readTextFile(refresh.output));
  }
  std::sort(outputs.begin(), outputs.end());
  EXPECT_TRUE(outputs[0].starts_with("following " + environmentPrefix_ + "ActiveRefreshSession_-reason_by_user"))
      << outputs[0];
  EXPECT_TRUE(outputs[0].ends_with("\nfollowed\n")) << outputs[0];
  EXPECT_EQ(outputs[1], "refreshed\n");
  ASSERT_FALSE(server_->waitForServedRequests(1).empty());
  EXPECT_EQ(catalogueFetches(), 1u);
  EXPECT_EQ(readTextFile(catalogue()), kServedCatalogue);
  EXPECT_TRUE(storedHere("LastAppsRefreshDate"));
  EXPECT_FALSE(storedHere("ActiveRefreshSession_"));
}

TEST_F(AppsRefreshTest, WhenTheLeadingRefreshFailsTheFollowerFetchesItself) {
  dist::Faults faults;
  faults.cutAfterBytes = 10;  // the next answer only
  server_->setFaults(faults);
  const std::string gate = holdRefreshes();
  Refresh refreshes[] = {launchRefresh("first"), launchRefresh("second")};
  ASSERT_TRUE(client_test::eventually([&] {
    return readTextFile(refreshes[0].output).starts_with("following ") || readTextFile(refreshes[1].output).starts_with("following ");
  }));
  fs::remove(gate);
  int failures = 0;
  for (const auto& refresh : refreshes) {
    const auto ended = refresh.process->waitUntilExit();
    const std::string output = readTextFile(refresh.output);
    if (ended.status != 0) {
      ++failures;
      EXPECT_NE(text(ended.standardError).find("Cannot refresh the catalogue"), std::string::npos);
      EXPECT_EQ(output, "");
    } else {
      EXPECT_TRUE(output.starts_with("following ") && output.ends_with("\nrefreshed\n")) << output;
    }
  }
  EXPECT_EQ(failures, 1);
  server_->waitForServedRequests(2);
  EXPECT_EQ(catalogueFetches(), 2u);
  EXPECT_EQ(readTextFile(catalogue()), kServedCatalogue);
}

TEST_F(AppsRefreshTest, AnswersThatAreNoCatalogueLeaveTheOldOneAndNoDate) {
  dist::Faults faults;
  faults.statusForPath = {{"/catalogue.json", 503}};
  server_->setFaults(faults);
  auto failed = client_.run(client_test::assembledClient() + "/Contents/MacOS/Korvia", {"-refreshApps"});
  EXPECT_EQ(failed.status, 1);
  server_->setFaults({});
  std::ofstream(client_.sandbox.work() + "/served/catalogue.json", std::ios::trunc) << R"({"apps": [)";
  auto broken = client_.run(client_test::assembledClient() + "/Contents/MacOS/Korvia", {"-refreshApps"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(readTextFile(catalogue()), kOldCatalogue);
  EXPECT_FALSE(storedHere("LastAppsRefreshDate"));
  EXPECT_FALSE(storedHere("ActiveRefreshSession_"));
  EXPECT_EQ(catalogueFetches(), 2u);
}

// The catalogue service asked to refresh while a client process refreshes
// waits for that refresh instead of fetching again.
TEST_F(AppsRefreshTest, TheServiceFollowsTheRefreshOfAnotherProcess) {
  const std::string gate = holdRefreshes();
  auto other = launchRefresh("other");
  ASSERT_TRUE(client_test::eventually([&] { return storedHere("ActiveRefreshSession_"); }));
  auto service = std::make_shared<AFXReferenceDesktopClientService>(client_test::assembledClient(), client_.stateFolder(), nullptr);
  auto refreshStore = [&](Inbox<std::optional<fnd::Error>>& answers) {
    AFXFamilyCall call;
    call.operation = AFXAppsManagementFamily().operationNamed("refreshStoreInitiatedByUser:callback:");
    ASSERT_TRUE(call.operation);
    call.arguments = {fnd::Value(true)};
    call.finish = [&answers](fnd::Expected<std::vector<fnd::Value>> fields) {
      answers.put(fields ? std::nullopt : std::optional<fnd::Error>(fields.error()));
    };
    service->performFamilyOperation(std::move(call));
  };
  Inbox<std::optional<fnd::Error>> followed;
  refreshStore(followed);
  EXPECT_FALSE(followed.first(std::chrono::milliseconds(50)));
  fs::remove(gate);
  const auto answer = followed.first(std::chrono::seconds(20));
  ASSERT_TRUE(answer);
  EXPECT_FALSE(*answer) << (*answer)->description();
  const auto ended = other.process->waitUntilExit();
  EXPECT_EQ(readTextFile(other.output), "refreshed\n") << text(ended.standardError);
  server_->waitForServedRequests(1);
  EXPECT_EQ(catalogueFetches(), 1u);

  // With nobody else refreshing, the service fetches itself.
  Inbox<std::optional<fnd::Error>> fetched;
  refreshStore(fetched);
  const auto second = fetched.first(std::chrono::seconds(20));
  ASSERT_TRUE(second);
  EXPECT_FALSE(*second);
  server_->waitForServedRequests(2);
  EXPECT_EQ(catalogueFetches(), 2u);
}

TEST_F(AppsRefreshTest, TheAgentRefreshesANeverRefreshedCatalogueOnItsSchedule) {
  fnd::ProcessLaunchOptions options;
  options.executablePath =
      client_test::assembledClient() + "/Contents/Library/LaunchServices/KorviaAgent.app/Contents/MacOS/KorviaAgent";
  options.arguments = {"-xpcServer"};
  auto agent = fnd::Process::launch(std::move(options));
  ASSERT_TRUE(agent);
  launched_.push_back(*agent);
  EXPECT_TRUE(client_test::eventually([&] { return storedHere("LastAppsRefreshDate"); }));
  (*agent)->terminate();
  (void)(*agent)->waitUntilExit();
  EXPECT_EQ(catalogueFetches(), 1u);
  EXPECT_EQ(readTextFile(catalogue()), kServedCatalogue);
  EXPECT_FALSE(storedHere("ActiveRefreshSession_"));
}

}  // namespace
