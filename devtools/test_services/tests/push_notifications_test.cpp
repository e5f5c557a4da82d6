// The push notifications manager of the desktop client against the system
// management service played by korvia-test-services: the device token it
// saves with which customer and environment, when it sends it again, and
// the actions of the service's notifications.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "devtools/ipc_echo/tests/private_bus.h"
#include "devtools/test_services/test_services_script.h"
#include "devtools/test_services/tests/test_services_process.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/workspace.h"
#include "interface/client_services/afx_push_notifications_manager.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/services/afx_services_factory.h"
#include "interface/system_management/afx_system_management_client.h"
#include "interface/system_management/afx_system_management_family.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace korvia_test_services;
using fnd::ipc::testing::Inbox;

const std::string kSaveOperation = "saveAPNSDeviceToken:forCustomer:environmentID:callback:";
const std::string kCustomerOperation =
    "fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:";

std::shared_ptr<AFXEnvironmentID> deployment(const std::string& name) {
  return AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://" + name + ".test/manifest"));
}

class QuietFactoryDelegate final : public AFXServicesFactoryDelegate {
 public:
  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&, EnvironmentCallback callback) override {
    callback(nullptr);
  }
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) override {
    callback(nullptr);
  }
};

class RecordingClient final : public AFXUserNotificationsManagerDelegate {
 public:
  std::shared_ptr<AFXServicesFactory> factory;
  std::shared_ptr<AFXCustomerURLInfo> customerURLInfo;
  Inbox<std::string> events;

  void userNotificationsManagerDidStartHandlingNotification(AFXPushNotificationsManager&, const AFXUserNotification&) override {
    events.put("start");
  }
  void userNotificationsManagerDidEndHandlingNotification(AFXPushNotificationsManager&, const AFXUserNotification&) override {
    events.put("end");
  }
  void userNotificationsManagerNeedsLaunchApp(AFXPushNotificationsManager&, const std::optional<std::string>& bundleID,
                                              const std::optional<std::int64_t>& appID) override {
    events.put("launch " + bundleID.value_or("-") + " " + (appID ? std::to_string(*appID) : "-"));
  }
  void userNotificationsManagerNeedsFetchSystemManagementService(AFXPushNotificationsManager&, ValueCallback callback) override {
    factory->fetchSystemManagementServiceWithCallback(std::move(callback));
  }
  void userNotificationsManagerNeedsFetchCurrentCustomerURLInfo(AFXPushNotificationsManager&,
                                                                CustomerURLInfoCallback callback) override {
    if (customerURLInfo) {
      callback(customerURLInfo, std::nullopt);
    } else {
      callback(nullptr, afx_makeErrorOfMissingObjectOfKind("customer"));
    }
  }
};

class PushNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    // The workspace's opener records what it is asked to open.
    opened_ = sandbox_.work() + "/opened.log";
    const std::string opener = sandbox_.work() + "/opener";
    ASSERT_TRUE(unarchiver_test::writeRecordingProgram(opener, opened_));
    sandbox_.set(std::string(fnd::kWorkspaceOpenCommandVariable), opener);

    scriptPath_ = sandbox_.work() + "/script.plist";
    logFolder_ = sandbox_.work() + "/calls";
    fs::create_directories(logFolder_);
    customer_ = AFXCustomer::initWithIdentifier(AFXCustomerID::initWithAccountName("ada@example.test", deployment("beta")),
                                                "backend-1", "token-1", AFXCustomerSubscriptionStatePaid, nullptr, nullptr,
                                                nullptr, nullptr, true);
    script_.answers["fetchCurrentEnvironmentUpdated:callback:"] = {
        .fields = {fnd::Value(AFXEnvironment::initWithIdentifier(deployment("alpha"), nullptr))}};
    script_.answers[kCustomerOperation] = {.fields = {fnd::Value(customer_)}};
    ASSERT_TRUE(writeScript(script_, scriptPath_));
    services_ = startTestServices(scriptPath_, logFolder_);
    ASSERT_TRUE(services_);
    client_->factory = AFXServicesFactory::initWithServicesClasses({&AFXServiceClassOf<AFXSystemManagementClient>()},
                                                                   "KorviaDesktopClient", factoryDelegate_);
    manager_ = AFXPushNotificationsManager::initWithDelegate(client_);
  }
  void TearDown() override {
    manager_.reset();
    if (client_) client_->factory.reset();
    stopTestServices(services_);
  }

  std::vector<LoggedCall> savedTokens(std::size_t count) const {
    std::vector<LoggedCall> saved;
    for (int i = 0; i < 500; ++i) {
      saved.clear();
      for (auto& call : readCalls(logFolder_)) {
        if (call.operation == kSaveOperation) saved.push_back(std::move(call));
      }
      if (saved.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return saved;
  }
  std::vector<std::string> openedURLs(std::size_t count) const { return unarchiver_test::linesOnceThereAre(opened_, count); }
  static AFXUserNotification notification(bool remote, std::string identifier, std::shared_ptr<fnd::Dictionary> actions) {
    return {remote, fnd::Dictionary::make({{fnd::Value("identifier"), fnd::Value(std::move(identifier))},
                                           {fnd::Value("analytics-identifier"), fnd::Value("push-42")},
                                           {fnd::Value("actions"), fnd::Value(std::move(actions))}})};
  }

  unarchiver_test::Sandbox sandbox_;
  std::string opened_, scriptPath_, logFolder_;
  Script script_;
  std::shared_ptr<AFXCustomer> customer_;
  std::shared_ptr<fnd::Process> services_;
  std::shared_ptr<QuietFactoryDelegate> factoryDelegate_ = std::make_shared<QuietFactoryDelegate>();
  std::shared_ptr<RecordingClient> client_ = std::make_shared<RecordingClient>();
  std::shared_ptr<AFXPushNotificationsManager> manager_;
};

TEST_F(PushNotificationsTest, TokenIsSavedAsHexWithTheCustomerAndTheCustomersEnvironment) {
  manager_->updateDeviceToken(fnd::Data::make(std::vector<std::uint8_t>{0x0a, 0xff, 0x00, 0x7b}));
  auto saved = savedTokens(1);
  ASSERT_EQ(saved.size(), 1u);
  const auto& family = AFXSystemManagementFamily();
  EXPECT_EQ(saved[0].argument(family, "deviceToken").stringValue(), "0aff007b");
  EXPECT_TRUE(saved[0].argument(family, "customer").isEqual(fnd::Value(customer_)));
  EXPECT_TRUE(saved[0].argument(family, "environmentID").isEqual(fnd::Value(deployment("beta"))));
  ASSERT_TRUE(manager_->deviceToken());
  EXPECT_EQ(manager_->deviceToken()->bytes().size(), 4u);
}

TEST_F(PushNotificationsTest, WithoutACustomerTheEnvironmentsIdentifierGoesAndACustomerChangeResends) {
  script_.answers[kCustomerOperation] = {.error = afx_makeErrorOfMissingObjectOfKind("customer")};
  ASSERT_TRUE(writeScript(script_, scriptPath_));
  // No token yet: a change of customer sends nothing.
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  ASSERT_TRUE(center);
  auto announce = [&] {
    ASSERT_TRUE((*center)->postNotificationName(std::string(AFXSystemManagementCurrentCustomerChangedNotification),
                                                std::nullopt, nullptr));
  };
  announce();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(savedTokens(0).empty());

  manager_->updateDeviceToken(fnd::Data::make(std::vector<std::uint8_t>{0x01}));
  auto saved = savedTokens(1);
  ASSERT_EQ(saved.size(), 1u);
  const auto& family = AFXSystemManagementFamily();
  EXPECT_TRUE(saved[0].argument(family, "customer").isNil());
  EXPECT_TRUE(saved[0].argument(family, "environmentID").isEqual(fnd::Value(deployment("alpha"))));
  announce();
  EXPECT_EQ(savedTokens(2).size(), 2u);
}

TEST_F(PushNotificationsTest, OnlyTheServicesRemoteNotificationsAreHandled) {
  auto openApp = fnd::Dictionary::make({{fnd::Value("open-app"), fnd::Value(fnd::Dictionary::make({{fnd::Value("appID"), fnd::Value(246)}}))}});
  EXPECT_FALSE(manager_->handleNotification(notification(true, "org.example.other", openApp)));
  EXPECT_FALSE(manager_->handleNotification(notification(false, "com.korvia.local", openApp)));
  EXPECT_EQ(client_->events.items(), (std::vector<std::string>{"start", "start"}));
  EXPECT_EQ(AFXPushNotificationsManager::analyticsIdentifierForNotification(notification(true, "x", openApp)), "push-42");

  auto actions = fnd::Dictionary::make({
      {fnd::Value("open-app"), fnd::Value(fnd::Dictionary::make({{fnd::Value("bundleID"), fnd::Value("com.chronofold.app")}}))},
      {fnd::Value("unknown-action"), fnd::Value(fnd::Dictionary::make())},
      {fnd::Value("open-url"), fnd::Value(fnd::Dictionary::make({{fnd::Value("link"), fnd::Value("https://example.test/news")}}))},
      {fnd::Value("open-customer-url"),
       fnd::Value(fnd::Dictionary::make({{fnd::Value("link"), fnd::Value("https://example.test/account")}}))},
  });
  EXPECT_TRUE(manager_->handleNotification(notification(true, "com.korvia.push.news", actions)));
  EXPECT_EQ(client_->events.items(),
            (std::vector<std::string>{"start", "start", "start", "launch com.chronofold.app -", "end"}));
  // Without a customer context the customer link opens as it is. Each link
  // has an opener process of its own, which the manager does not wait for, so
  // they may note their links in either order.
  auto opened = openedURLs(2);
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{"https://example.test/account", "https://example.test/news"}));
}

TEST_F(PushNotificationsTest, AnOpenAppWithoutTargetDoesNothingAndCustomerLinksCarryTheContext) {
  client_->customerURLInfo = AFXCustomerURLInfo::initWithCustomer(customer_, std::string("access-1"));
  auto actions = fnd::Dictionary::make({
      {fnd::Value("open-app"), fnd::Value(fnd::Dictionary::make())},
      {fnd::Value("open-customer-url"),
       fnd::Value(fnd::Dictionary::make({{fnd::Value("link"), fnd::Value("https://example.test/account")}}))},
  });
  EXPECT_TRUE(manager_->handleNotification(notification(true, "com.korvia.push.account", actions)));
  EXPECT_EQ(client_->events.items(), (std::vector<std::string>{"start", "end"}));
  auto opened = openedURLs(1);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], requestURLForURLString("https://example.test/account", client_->customerURLInfo)->absoluteString());
}

}  // namespace
