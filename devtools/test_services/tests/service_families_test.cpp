// The service families end to end: the clients of this process against
// korvia-test-services in another, over the test's private bus. Each test
// scripts the answers, calls, and checks both what arrived at the service
// and what the client's callback made of the answer.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "devtools/ipc_echo/tests/private_bus.h"
#include "devtools/test_services/test_services_script.h"
#include "devtools/test_services/tests/test_services_process.h"
#include "foundation/array.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/set.h"
#include "foundation/url.h"
#include "interface/apps_management/afx_app_workflow_notification.h"
#include "interface/apps_management/afx_apps_management_client.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_app_icon_resource.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment.h"
#include "interface/model/afx_environment_id.h"
#include "interface/model/afx_resource.h"
#include "interface/recommendations/afx_recommendations_client.h"
#include "interface/recommendations/afx_recommended_app.h"
#include "interface/remote_configuration/afx_remote_configuration.h"
#include "interface/remote_configuration/afx_remote_configuration_client.h"
#include "interface/services/afx_services_factory.h"
#include "interface/system_management/afx_system_management_client.h"
#include "interface/ui_management/afx_ui_management_client.h"

namespace {

namespace fs = std::filesystem;
using namespace korvia_test_services;
using fnd::ipc::testing::Inbox;
using Answer = std::shared_ptr<QVValueOrError>;

constexpr std::int64_t kChronofoldID = 246;

std::shared_ptr<AFXEnvironment> testEnvironment() {
  return AFXEnvironment::initWithIdentifier(
      AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://store.test/manifest")),
      nullptr);
}

std::shared_ptr<AFXCustomer> testCustomer(const std::shared_ptr<AFXEnvironment>& environment) {
  return AFXCustomer::initWithIdentifier(AFXCustomerID::initWithAccountName("ada@example.test", environment->identifier()),
                                         "backend-1", "token-1", AFXCustomerSubscriptionStatePaid, nullptr, nullptr,
                                         nullptr, nullptr, true);
}

std::shared_ptr<AFXCodedApp> chronofold() {
  auto app = AFXCodedApp::make();
  app->setIdentifier(kChronofoldID);
  app->setName("Chronofold");
  app->setBundleIdentifier("com.chronofold.app");
  return app;
}

class QuietDelegate final : public AFXServicesFactoryDelegate {
 public:
  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&, EnvironmentCallback callback) override {
    callback(nullptr);
  }
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) override {
    callback(nullptr);
  }
};

class ServiceFamiliesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    char pattern[] = "/tmp/korvia-test-services-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    scriptPath_ = root_ + "/script.plist";
    logFolder_ = root_ + "/calls";
    fs::create_directories(logFolder_);
    ASSERT_TRUE(writeScript(script_, scriptPath_));
    startServices();
    factory_ = AFXServicesFactory::initWithServicesClasses(
        {&AFXServiceClassOf<AFXSystemManagementClient>(), &AFXServiceClassOf<AFXAppsManagementClient>(),
         &AFXServiceClassOf<AFXUIManagementClient>(), &AFXServiceClassOf<AFXRemoteConfigurationClient>(),
         &AFXServiceClassOf<AFXRecommendationsClient>()},
        "KorviaInstaller", delegate_);
    ASSERT_TRUE(factory_);
  }

  void TearDown() override {
    factory_.reset();
    stopServices();
    if (!root_.empty()) fs::remove_all(root_);
  }

  void startServices() {
    services_ = startTestServices(scriptPath_, logFolder_);
    ASSERT_TRUE(services_);
  }
  void stopServices() { stopTestServices(services_); }

  void answer(const std::string& operation, ScriptedAnswer scripted) {
    script_.answers[operation] = std::move(scripted);
    ASSERT_TRUE(writeScript(script_, scriptPath_));
  }

  template <class Client>
  std::shared_ptr<Client> service(const std::shared_ptr<AFXServiceID>& serviceID) {
    Inbox<Answer> results;
    factory_->fetchManagementServiceWithID(serviceID, [&](const Answer& result) { results.put(result); });
    const auto result = results.first();
    if (!result || (*result)->error()) return nullptr;
    return (*result)->value().template as<Client>();
  }

  std::shared_ptr<AFXSystemManagementClient> systemManagement() {
    return service<AFXSystemManagementClient>(
        AFXGlobalServiceID::initWithServiceName(std::string(AFXSystemManagementServiceName)));
  }
  std::shared_ptr<AFXAppsManagementClient> appsManagement() {
    return service<AFXAppsManagementClient>(AFXEnvironmentServiceID::initWithServiceName(
        std::string(AFXAppsManagementServiceName), environment_->identifier()));
  }

  // The calls logged so far, once there are at least `count`.
  std::vector<LoggedCall> callsOnceThereAre(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + fnd::ipc::testing::kDeliveryBound;
    auto calls = readCalls(logFolder_);
    while (calls.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      calls = readCalls(logFolder_);
    }
    return calls;
  }

  static Answer wait(Inbox<Answer>& inbox,
                     std::chrono::milliseconds bound = fnd::ipc::testing::kDeliveryBound) {
    auto answer = inbox.first(bound);
    EXPECT_TRUE(answer) << "no answer within the bound";
    return answer ? *answer : nullptr;
  }

  std::string root_, scriptPath_, logFolder_;
  Script script_;
  std::shared_ptr<fnd::Process> services_;
  std::shared_ptr<QuietDelegate> delegate_ = std::make_shared<QuietDelegate>();
  std::shared_ptr<AFXServicesFactory> factory_;
  std::shared_ptr<AFXEnvironment> environment_ = testEnvironment();
};

TEST_F(ServiceFamiliesTest, SystemManagementAnswersDecodeIntoTheirModelObjects) {
  const auto customer = testCustomer(environment_);
  answer("fetchCurrentEnvironmentUpdated:callback:", {.fields = {fnd::Value(environment_)}});
  answer("fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:",
         {.fields = {fnd::Value(customer)}});
  answer("fetchUninstallerExecutableInfoWithType:callback:",
         {.fields = {fnd::Value(AFXExecutableInfo::initWithPath("/opt/Korvia.app/Contents/MacOS/Uninstaller",
                                                                fnd::Array::make({fnd::Value("--quiet")})))}});
  answer("fetchConsumptiveInternetUsagePermissionWithReason:canAskUser:callback:",
         {.fields = {fnd::Value(true), fnd::Value("key-7")}});
  auto client = systemManagement();
  ASSERT_TRUE(client);

  Inbox<Answer> environments, customers, uninstallers;
  client->fetchCurrentEnvironmentUpdated(false, [&](const Answer& answer) { environments.put(answer); });
  client->fetchCurrentCustomerUpdated(true, false, nullptr, 1, [&](const Answer& answer) { customers.put(answer); });
  client->fetchUninstallerExecutableInfoWithType(1, [&](const Answer& answer) { uninstallers.put(answer); });
  Inbox<std::pair<bool, std::optional<std::string>>> permissions;
  client->fetchConsumptiveInternetUsagePermissionWithReason(3, true, [&](bool canUse, const auto& key) {
    permissions.put({canUse, key});
  });

  const auto environment = wait(environments);
  ASSERT_TRUE(environment && !environment->error());
  ASSERT_TRUE(environment->value().as<AFXEnvironment>());
  EXPECT_TRUE(environment->value().as<AFXEnvironment>()->identifier()->isEqual(*environment_->identifier()));
  const auto fetchedCustomer = wait(customers);
  ASSERT_TRUE(fetchedCustomer && !fetchedCustomer->error());
  EXPECT_TRUE(fetchedCustomer->value().isEqual(fnd::Value(customer)));
  const auto uninstaller = wait(uninstallers);
  ASSERT_TRUE(uninstaller && !uninstaller->error());
  const auto info = uninstaller->value().as<AFXExecutableInfo>();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->path(), "/opt/Korvia.app/Contents/MacOS/Uninstaller");
  const auto permission = permissions.first();
  ASSERT_TRUE(permission);
  EXPECT_TRUE(permission->first);
  EXPECT_EQ(permission->second, "key-7");

  // The arguments arrive in the fields of their names.
  const auto& family = AFXSystemManagementFamily();
  for (const auto& call : callsOnceThereAre(4)) {
    if (call.operation.starts_with("fetchCurrentCustomerUpdated:")) {
      EXPECT_EQ(call.argument(family, "isUpdated").boolValue(), true);
      EXPECT_EQ(call.argument(family, "canDestroyInvalidCustomer").boolValue(), false);
      EXPECT_TRUE(call.argument(family, "runningApplication").isNil());
      EXPECT_EQ(call.argument(family, "presentationStyle").integerValue(), 1);
    } else if (call.operation.starts_with("fetchUninstaller")) {
      EXPECT_EQ(call.argument(family, "uninstallType").integerValue(), 1);
    } else if (call.operation.starts_with("fetchConsumptive")) {
      EXPECT_EQ(call.argument(family, "reason").integerValue(), 3);
      EXPECT_EQ(call.argument(family, "canAskUser").boolValue(), true);
    }
  }
}

TEST_F(ServiceFamiliesTest, EachFailureClassReachesTheCallbackAsItsError) {
  auto client = appsManagement();
  ASSERT_TRUE(client);

  // A service-side error arrives unchanged in domain, code and user info.
  const auto serviceError = fnd::Error(std::string(AFXAppsManagementErrorDomain), 42,
                                       fnd::Dictionary::make({{fnd::Value("detail"), fnd::Value("no such app")}}));
  answer("fetchAppWithID:callback:", {.error = serviceError});
  Inbox<Answer> failed;
  client->fetchAppWithID(fnd::Number::numberWithInteger(std::int64_t{7}), [&](const Answer& answer) { failed.put(answer); });
  const auto failure = wait(failed);
  ASSERT_TRUE(failure && failure->error());
  EXPECT_EQ(failure->error()->domain(), AFXAppsManagementErrorDomain);
  EXPECT_EQ(failure->error()->code(), 42);
  EXPECT_EQ(failure->error()->userInfoValue("detail").stringValue(), "no such app");

  // An operation that passes the error alone gets it; success is none.
  answer("stopInstallVendorApp:callback:", {.error = serviceError});
  Inbox<std::optional<fnd::Error>> stops;
  client->stopInstallVendorApp(chronofold(), [&](const std::optional<fnd::Error>& error) { stops.put(error); });
  const auto stopped = stops.first();
  ASSERT_TRUE(stopped && *stopped);
  EXPECT_EQ((*stopped)->code(), 42);

  // An answer whose field is of a class the table does not allow cannot be
  // decoded here: the call fails instead of handing on a wrong object.
  answer("fetchAppWorkflowForApp:callback:", {.fields = {fnd::Value("not a workflow")}});
  Inbox<Answer> undecodable;
  client->fetchAppWorkflowForApp(chronofold(), [&](const Answer& answer) { undecodable.put(answer); });
  const auto refused = wait(undecodable);
  ASSERT_TRUE(refused && refused->error());
  EXPECT_EQ(refused->error()->domain(), "NSCocoaErrorDomain") << refused->error()->description();
  EXPECT_EQ(refused->error()->code(), 4864) << refused->error()->description();

  // A service that answers nothing for a value field is told as a missing
  // object, not a crash.
  answer("fetchAppWithBundleId:callback:", {});
  Inbox<Answer> empty;
  client->fetchAppWithBundleId("com.chronofold.app", [&](const Answer& answer) { empty.put(answer); });
  const auto missing = wait(empty);
  ASSERT_TRUE(missing && missing->error());
  EXPECT_TRUE(afx_isMissingObject(*missing->error())) << missing->error()->description();
}

TEST_F(ServiceFamiliesTest, FallbacksApplyWhenTheServiceAnswersWithAnError) {
  auto client = systemManagement();
  ASSERT_TRUE(client);
  const auto failure = fnd::Error("com.korvia.SystemManagementErrorDomain", 9);
  answer("tearDownServiceWithCallback:", {.error = failure});
  answer("prepareWholeSystemForTerminationWithCallback:", {.error = failure});
  answer("fetchConsumptiveInternetUsagePermissionWithReason:canAskUser:callback:", {.error = failure});
  Inbox<bool> tearDowns, terminations;
  Inbox<std::pair<bool, std::optional<std::string>>> permissions;
  client->tearDownServiceWithCallback([&](bool willTerminate) { tearDowns.put(willTerminate); });
  client->prepareWholeSystemForTerminationWithCallback([&](bool canTerminate) { terminations.put(canTerminate); });
  client->fetchConsumptiveInternetUsagePermissionWithReason(1, false, [&](bool canUse, const auto& key) {
    permissions.put({canUse, key});
  });
  EXPECT_EQ(tearDowns.first(), false);
  EXPECT_EQ(terminations.first(), true);
  EXPECT_EQ(permissions.first(), std::make_pair(false, std::optional<std::string>()));
}

TEST_F(ServiceFamiliesTest, ActivitiesAreSentOnceAndStartedAgainAfterReconnection) {
  auto client = systemManagement();
  ASSERT_TRUE(client);
  // Connected first, so the start below is the only one.
  Inbox<Answer> first;
  client->pokeWithCallback([&](const Answer& answer) { first.put(answer); });
  ASSERT_TRUE(wait(first));
  fs::remove_all(logFolder_);
  fs::create_directories(logFolder_);
  const auto activity = AFXActivity::initWithTierName("KorviaInstaller", "installing Chronofold");
  client->startActivity(activity);
  client->startActivity(activity);
  client->stopActivity(AFXActivity::initWithTierName("KorviaInstaller", "never started"));
  auto calls = callsOnceThereAre(2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].operation, "startActivity:reportStreamID:");
  EXPECT_TRUE(calls[0].hadReportStream);
  EXPECT_TRUE(calls[0].argument(AFXSystemManagementFamily(), "activity").isEqual(fnd::Value(activity)));
  EXPECT_EQ(calls[1].operation, "stopActivity:reportStreamID:");
  EXPECT_EQ(client->currentActivities().size(), 1u);

  // A new service process learns the held activity on the new stream.
  stopServices();
  fs::remove_all(logFolder_);
  fs::create_directories(logFolder_);
  startServices();
  Inbox<Answer> pokes;
  client->pokeWithCallback([&](const Answer& answer) { pokes.put(answer); });
  ASSERT_TRUE(wait(pokes));
  calls = callsOnceThereAre(2);
  ASSERT_GE(calls.size(), 2u);
  const auto restarted = std::count_if(calls.begin(), calls.end(), [&](const LoggedCall& call) {
    return call.operation == "startActivity:reportStreamID:" &&
           call.argument(AFXSystemManagementFamily(), "activity").isEqual(fnd::Value(activity));
  });
  EXPECT_EQ(restarted, 1);
}

TEST_F(ServiceFamiliesTest, ReportsReachTheirHandlersInOrderAndNeverWithoutOne) {
  auto client = appsManagement();
  ASSERT_TRUE(client);
  // A subclass of the coded resource the table allows.
  const auto resource = AFXCodedAppIconResource::staticClass().makeInstance();
  answer("prepareResourcesForApp:priority:reportHandler:callback:",
         {.fields = {fnd::Value(fnd::Set::make({fnd::Value(resource)}))},
          .reports = {{fnd::Value(0.25)}, {fnd::Value(0.5)}, {fnd::Value(1.0)}}});
  Inbox<double> fractions;
  Inbox<Answer> prepared;
  client->prepareResourcesForApp(chronofold(), 2, [&](double fraction) { fractions.put(fraction); },
                                 [&](const Answer& answer) { prepared.put(answer); });
  const auto resources = wait(prepared);
  ASSERT_TRUE(resources && !resources->error());
  ASSERT_TRUE(resources->value().as<fnd::Set>());
  EXPECT_EQ(resources->value().as<fnd::Set>()->count(), 1u);
  ASSERT_TRUE(fractions.waitForCount(3));
  EXPECT_EQ(fractions.items(), (std::vector<double>{0.25, 0.5, 1.0}));

  // Without a handler the session exists all the same and the answer comes.
  Inbox<Answer> quiet;
  client->prepareResourcesForApp(chronofold(), 2, nullptr, [&](const Answer& answer) { quiet.put(answer); });
  const auto quietAnswer = wait(quiet);
  ASSERT_TRUE(quietAnswer && !quietAnswer->error());

  answer("installTeaserAppWithID:reportHandler:options:callback:",
         {.fields = {fnd::Value(AFXTeaserAppInstance::initWithAppID(kChronofoldID, *fnd::URL::fileURLWithPath(::testing::TempDir(), true), "1.0"))},
          .reports = {{fnd::Value(true), fnd::Value(0.5)}}});
  Inbox<std::pair<bool, double>> teaserReports;
  Inbox<Answer> teasers;
  client->installTeaserAppWithID(fnd::Number::numberWithInteger(kChronofoldID),
                                 [&](bool fetched, double fraction) { teaserReports.put({fetched, fraction}); }, 4,
                                 [&](const Answer& answer) { teasers.put(answer); });
  const auto teaser = wait(teasers);
  ASSERT_TRUE(teaser && !teaser->error()) << (teaser && teaser->error() ? teaser->error()->description() : "");
  EXPECT_TRUE(teaser->value().as<AFXTeaserAppInstance>());
  EXPECT_EQ(teaserReports.first(), std::make_pair(true, 0.5));

  const auto calls = callsOnceThereAre(3);
  ASSERT_EQ(calls.size(), 3u);
  const auto& family = AFXAppsManagementFamily();
  EXPECT_EQ(calls[0].argument(family, "priority").integerValue(), 2);
  EXPECT_TRUE(calls[1].hadReportStream);
  EXPECT_EQ(calls[2].argument(family, "appID").integerValue(), kChronofoldID);
  EXPECT_EQ(calls[2].argument(family, "options").integerValue(), 4);
}

TEST_F(ServiceFamiliesTest, TheSmallerServicesAnswerThroughTheirClients) {
  const auto customer = testCustomer(environment_);
  auto ui = service<AFXUIManagementClient>(AFXGlobalServiceID::initWithServiceName(std::string(AFXUIManagementServiceName)));
  auto remote = service<AFXRemoteConfigurationClient>(AFXEnvironmentServiceID::initWithServiceName(
      std::string(AFXRemoteConfigurationServiceName), environment_->identifier()));
  auto recommendations = service<AFXRecommendationsClient>(
      AFXCustomerServiceID::initWithServiceName(std::string(AFXRecommendationsServiceName), customer->identifier()));
  ASSERT_TRUE(ui && remote && recommendations);

  const auto quitted = fnd::Set::make({fnd::Value(fnd::URL::fileURLWithPath("/Applications/Chronofold.app"))});
  answer("presentTerminationWindowWithReason:callback:", {.fields = {fnd::Value(true), fnd::Value(quitted)}});
  answer("fetchRemoteConfigurationWithCallback:",
         {.fields = {fnd::Value(AFXRemoteConfiguration::initWithVersion(
              "7", fnd::Dictionary::make({{fnd::Value("should_show_referal_2.0_button"), fnd::Value(true)}})))}});
  answer("fetchRecommendedAppForAppID:callback:",
         {.fields = {fnd::Value(AFXRecommendedApp::initWithAppID(
              fnd::Number::numberWithInteger(kChronofoldID), fnd::Array::make({fnd::Value(std::int64_t{12})}), std::nullopt))}});

  Inbox<std::pair<bool, std::shared_ptr<fnd::Set>>> terminations;
  ui->presentTerminationWindowWithReason(5, [&](bool cancelled, const std::shared_ptr<fnd::Set>& urls) {
    terminations.put({cancelled, urls});
  });
  ui->presentUserNotificationOfKind(AFXUserNotificationKindSubscriptionGraced);
  Inbox<Answer> configurations, recommended;
  remote->fetchRemoteConfigurationWithCallback([&](const Answer& answer) { configurations.put(answer); });
  recommendations->fetchRecommendedAppForAppID(fnd::Number::numberWithInteger(kChronofoldID),
                                               [&](const Answer& answer) { recommended.put(answer); });

  const auto termination = terminations.first();
  ASSERT_TRUE(termination);
  EXPECT_TRUE(termination->first);
  ASSERT_TRUE(termination->second);
  EXPECT_TRUE(termination->second->isEqual(*quitted));
  const auto configuration = wait(configurations);
  ASSERT_TRUE(configuration && configuration->value().as<AFXRemoteConfiguration>());
  EXPECT_TRUE(configuration->value().as<AFXRemoteConfiguration>()->shouldShowReferal2Button());
  const auto recommendation = wait(recommended);
  ASSERT_TRUE(recommendation && recommendation->value().as<AFXRecommendedApp>());
  EXPECT_EQ(recommendation->value().as<AFXRecommendedApp>()->recommendationsAlgorithm(), "default");

  const auto calls = callsOnceThereAre(4);
  const auto kinds = std::count_if(calls.begin(), calls.end(), [](const LoggedCall& call) {
    return call.operation == "presentUserNotificationOfKind:" &&
           call.argument(AFXUIManagementFamily(), "kind").integerValue() == AFXUserNotificationKindSubscriptionGraced;
  });
  EXPECT_EQ(kinds, 1);
  for (const auto& call : calls) {
    if (call.operation == "presentTerminationWindowWithReason:callback:") {
      EXPECT_EQ(call.argument(AFXUIManagementFamily(), "reason").integerValue(), 5);
    }
  }
}

// The installer's road without its window: environment and customer, the
// apps management service of that environment, the featured app and its
// workflow, the vendor installation followed through the workflow
// notifications, and the resources at priority 2.
TEST_F(ServiceFamiliesTest, TheInstallersRoadRunsOverTheBus) {
  const auto customer = testCustomer(environment_);
  const auto app = chronofold();
  auto workflow = AFXAppWorkflow::initWithAppID(kChronofoldID, fnd::URL::fileURLWithPath("/Applications/Chronofold.app"));
  std::vector<ScriptedNotification> progress;
  for (const double fraction : {0.2, 0.6, 1.0}) {
    auto step = AFXAppWorkflow::initWithAppID(kChronofoldID, fnd::URL::fileURLWithPath("/Applications/Chronofold.app"));
    step->setFractionCompleted(fraction);
    step->setState(fraction < 1.0 ? 1 : 2);
    auto userInfo = AFXAppWorkflowChangedNotificationUserInfo(step);
    ASSERT_TRUE(userInfo);
    progress.push_back({std::string(AFXAppsManagementAppWorkflowChangedNotification), step->objectForNotification(), userInfo});
  }
  answer("fetchCurrentEnvironmentUpdated:callback:", {.fields = {fnd::Value(environment_)}});
  answer("fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:",
         {.fields = {fnd::Value(customer)}});
  answer("fetchAppWithID:callback:", {.fields = {fnd::Value(app)}});
  answer("fetchAppWorkflowForApp:callback:", {.fields = {fnd::Value(workflow)}});
  answer("installVendorApp:shouldLaunch:callback:",
         {.fields = {fnd::Value(AFXVendorAppInstance::initWithAppID(kChronofoldID, *fnd::URL::fileURLWithPath(::testing::TempDir(), true)))},
          .notifications = progress});
  answer("prepareResourcesForApp:priority:reportHandler:callback:",
         {.fields = {fnd::Value(fnd::Set::make())}, .reports = {{fnd::Value(1.0)}}});

  Inbox<Answer> environments, customers;
  factory_->fetchCurrentEnvironmentUpdated(false, [&](const Answer& answer) { environments.put(answer); });
  factory_->fetchCurrentCustomerUpdated(true, false, nullptr, 1, [&](const Answer& answer) { customers.put(answer); });
  const auto environment = wait(environments);
  ASSERT_TRUE(environment && environment->value().as<AFXEnvironment>());
  const auto signedIn = wait(customers);
  ASSERT_TRUE(signedIn && signedIn->value().as<AFXCustomer>());

  auto apps = service<AFXAppsManagementClient>(AFXEnvironmentServiceID::initWithServiceName(
      std::string(AFXAppsManagementServiceName), environment->value().as<AFXEnvironment>()->identifier()));
  ASSERT_TRUE(apps);
  Inbox<Answer> fetchedApps;
  apps->fetchAppWithID(fnd::Number::numberWithInteger(kChronofoldID), [&](const Answer& answer) { fetchedApps.put(answer); });
  const auto fetchedApp = wait(fetchedApps);
  ASSERT_TRUE(fetchedApp && fetchedApp->value().as<AFXCodedApp>());
  const auto featured = fetchedApp->value().as<AFXCodedApp>();
  EXPECT_EQ(featured->identifier(), kChronofoldID);

  Inbox<Answer> workflows;
  apps->fetchAppWorkflowForApp(featured, [&](const Answer& answer) { workflows.put(answer); });
  const auto current = wait(workflows);
  ASSERT_TRUE(current && current->value().as<AFXAppWorkflow>());

  // Follow the workflow of this app only.
  Inbox<std::shared_ptr<AFXAppWorkflow>> changes;
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  ASSERT_TRUE(center);
  auto token = (*center)->addObserverForName(
      std::string(AFXAppsManagementAppWorkflowChangedNotification),
      current->value().as<AFXAppWorkflow>()->objectForNotification(), fnd::Queue::serial("road-test.workflow"),
      [&](const fnd::DistributedNotification& notification) {
        if (auto changed = AFXAppWorkflowFromChangedNotificationUserInfo(notification.userInfo)) changes.put(changed);
      });
  ASSERT_TRUE(token);

  Inbox<Answer> installs;
  apps->installVendorApp(featured, false, [&](const Answer& answer) { installs.put(answer); });
  const auto installed = wait(installs);
  ASSERT_TRUE(installed && installed->value().as<AFXVendorAppInstance>());
  ASSERT_TRUE(changes.waitForCount(3));
  double last = 0;
  for (const auto& change : changes.items()) {
    EXPECT_GT(change->fractionCompleted(), last);
    last = change->fractionCompleted();
  }
  EXPECT_EQ(changes.items().back()->state(), 2);
  (*center)->removeObserver(*token);

  Inbox<double> fractions;
  Inbox<Answer> resources;
  apps->prepareResourcesForApp(featured, 2, [&](double fraction) { fractions.put(fraction); },
                               [&](const Answer& answer) { resources.put(answer); });
  const auto prepared = wait(resources);
  ASSERT_TRUE(prepared && !prepared->error());
  EXPECT_EQ(fractions.first(), 1.0);

  const auto calls = callsOnceThereAre(6);
  const auto& family = AFXAppsManagementFamily();
  for (const auto& call : calls) {
    if (call.operation == "installVendorApp:shouldLaunch:callback:") {
      EXPECT_EQ(call.argument(family, "shouldLaunch").boolValue(), false);
    }
    if (call.operation == "prepareResourcesForApp:priority:reportHandler:callback:") {
      EXPECT_EQ(call.argument(family, "priority").integerValue(), 2);
      EXPECT_NE(call.serviceName.find("store.test"), std::string::npos) << "the environment's own service: " << call.serviceName;
    }
  }
}

}  // namespace
