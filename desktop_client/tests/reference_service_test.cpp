// The reference client's answers, called in this process: what each
// operation of the installer's road answers from the catalogue, the
// applications folder and the preferences, and how the operations it does
// not carry are answered.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "desktop_client/afx_reference_desktop_client_service.h"
#include "foundation/number.h"
#include "foundation/search_paths.h"
#include "foundation/set.h"
#include "foundation/user_defaults.h"
#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/errors/afx_errors.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/model/afx_customer.h"
#include "interface/system_management/afx_system_management_family.h"
#include "interface/ui_management/afx_ui_management_family.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

namespace fs = std::filesystem;

struct Answer {
  std::optional<fnd::Error> error;
  std::vector<fnd::Value> fields;
  std::vector<std::vector<fnd::Value>> reports;
};

class ReferenceServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    state_ = sandbox_.work() + "/state";
    fs::create_directories(state_);
    std::ofstream(state_ + "/catalogue.json")
        << R"({"apps": [{"id": 246, "name": "Chronofold", "bundle_name": "Chronofold.app",
                          "archive_url": "http://127.0.0.1:9/apps/Chronofold.zip"}]})";
    service_ = std::make_shared<AFXReferenceDesktopClientService>(sandbox_.work() + "/Korvia.app", state_, [this] { ++calls_; });
  }

  // Calls a synchronous operation and returns its answer.
  Answer call(const AFXServiceFamily& family, std::string_view operation, std::vector<fnd::Value> arguments) {
    AFXFamilyCall request;
    request.operation = family.operationNamed(operation);
    EXPECT_TRUE(request.operation) << operation;
    if (!request.operation) return {};
    request.arguments = std::move(arguments);
    request.arguments.resize(request.operation->requestType().fields.size() -
                             request.operation->requestType().inheritedFieldCount);
    Answer answer;
    bool answered = false;
    request.report = [&](std::vector<fnd::Value> fields) { answer.reports.push_back(std::move(fields)); };
    request.finish = [&](fnd::Expected<std::vector<fnd::Value>> fields) {
      answered = true;
      if (fields) {
        answer.fields = std::move(*fields);
      } else {
        answer.error = fields.error();
      }
    };
    service_->performFamilyOperation(std::move(request));
    EXPECT_TRUE(answered) << operation;
    return answer;
  }

  static std::shared_ptr<AFXCodedApp> app(std::int64_t identifier) {
    auto made = AFXCodedApp::make();
    made->setIdentifier(identifier);
    return made;
  }

  unarchiver_test::Sandbox sandbox_;
  std::string state_;
  int calls_ = 0;
  std::shared_ptr<AFXReferenceDesktopClientService> service_;
};

TEST_F(ReferenceServiceTest, CatalogueAppsAndTheirWorkflowsFollowTheApplicationsFolder) {
  const auto& apps = AFXAppsManagementFamily();
  auto fetched = call(apps, "fetchAppWithID:callback:", {fnd::Value(fnd::Number::numberWithInteger(246))});
  ASSERT_FALSE(fetched.error);
  ASSERT_EQ(fetched.fields.size(), 1u);
  EXPECT_EQ(fetched.fields[0].as<AFXCodedApp>()->name(), "Chronofold");

  auto unknown = call(apps, "fetchAppWithID:callback:", {fnd::Value(fnd::Number::numberWithInteger(7))});
  ASSERT_TRUE(unknown.error);
  const auto missing = afx_makeErrorOfMissingObjectOfKind("app");
  EXPECT_TRUE(unknown.error->is(missing.domain(), missing.code())) << unknown.error->description();
  EXPECT_EQ(unknown.error->localizedDescription(), missing.localizedDescription());

  auto idle = call(apps, "fetchAppWorkflowForApp:callback:", {fnd::Value(app(246))});
  ASSERT_EQ(idle.fields.size(), 1u);
  EXPECT_EQ(idle.fields[0].as<AFXAppWorkflow>()->state(), AFXAppWorkflowStateIdle);
  EXPECT_TRUE(call(apps, "fetchAppInstancesWithAppID:callback:", {fnd::Value(fnd::Number::numberWithInteger(246))})
                  .fields[0].as<fnd::Set>()->elements().empty());

  const std::string installed = fnd::SearchPaths::path(fnd::SearchPathLocation::applications) + "/Chronofold.app";
  fs::create_directories(installed + "/Contents");
  auto done = call(apps, "fetchAppWorkflowForApp:callback:", {fnd::Value(app(246))});
  EXPECT_EQ(done.fields[0].as<AFXAppWorkflow>()->state(), AFXAppWorkflowStateInstalled);
  EXPECT_EQ(call(apps, "fetchAppInstancesWithAppID:callback:", {fnd::Value(fnd::Number::numberWithInteger(246))})
                .fields[0].as<fnd::Set>()->elements().size(),
            1u);

  auto resources = call(apps, "prepareResourcesForApp:priority:reportHandler:callback:", {fnd::Value(app(246)), fnd::Value(2)});
  EXPECT_FALSE(resources.error);
  ASSERT_EQ(resources.reports.size(), 2u);
  EXPECT_EQ(resources.reports.back()[0].doubleValue(), 1.0);
  EXPECT_EQ(calls_, 7);
}

TEST_F(ReferenceServiceTest, EnvironmentAndCustomerComeFromThePreferences) {
  const auto& system = AFXSystemManagementFamily();
  auto environment = call(system, "fetchCurrentEnvironmentUpdated:callback:", {fnd::Value(false)});
  ASSERT_EQ(environment.fields.size(), 1u);
  EXPECT_TRUE(environment.fields[0].as<AFXEnvironment>()->identifier()->isDefault());
  EXPECT_EQ(environment.fields[0].as<AFXEnvironment>()->URLForAppsDirectory()->path(),
            fnd::SearchPaths::path(fnd::SearchPathLocation::applications));
  const std::string customerOperation =
      "fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:";
  auto nobody = call(system, customerOperation, {});
  EXPECT_FALSE(nobody.error);
  EXPECT_TRUE(nobody.fields.empty());

  auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->setObject(fnd::Value("ada@example.test"), AFXReferenceClientCustomerAccountKey));
  ASSERT_TRUE(defaults->setObject(fnd::Value("https://staging.example.test/endpoints.json"), AFXReferenceClientEnvironmentKey));
  auto staging = call(system, "fetchCurrentEnvironmentUpdated:callback:", {fnd::Value(false)});
  EXPECT_FALSE(staging.fields[0].as<AFXEnvironment>()->identifier()->isDefault());
  auto signedIn = call(system, customerOperation, {});
  ASSERT_EQ(signedIn.fields.size(), 1u);
  auto customer = signedIn.fields[0].as<AFXCustomer>();
  ASSERT_TRUE(customer);
  EXPECT_EQ(customer->identifier()->accountName(), "ada@example.test");
  EXPECT_FALSE(customer->identifier()->environmentID()->isDefault());

  auto uninstaller = call(system, "fetchUninstallerExecutableInfoWithType:callback:", {fnd::Value(1)});
  ASSERT_EQ(uninstaller.fields.size(), 1u);
  EXPECT_EQ(uninstaller.fields[0].as<AFXExecutableInfo>()->path(), sandbox_.work() + "/Korvia.app/Contents/MacOS/KorviaUninstaller");
  EXPECT_TRUE(call(system, "fetchUninstallerExecutableInfoWithType:callback:", {fnd::Value(2)}).error);
}

TEST_F(ReferenceServiceTest, OperationsWithoutAnswerSucceedAndOthersNameThemselves) {
  const auto& system = AFXSystemManagementFamily();
  EXPECT_FALSE(call(system, "pokeWithCallback:", {}).error);
  const auto& apps = AFXAppsManagementFamily();
  EXPECT_FALSE(call(apps, "markAppAsViewed:callback:", {fnd::Value(app(246))}).error);
  auto unanswered = call(apps, "fetchAppsForCollectionWithID:callback:", {fnd::Value(fnd::Number::numberWithInteger(1))});
  ASSERT_TRUE(unanswered.error);
  EXPECT_EQ(unanswered.error->domain(), AFXReferenceClientErrorDomain);
  EXPECT_NE(unanswered.error->localizedDescription().find("fetchAppsForCollectionWithID:callback:"), std::string::npos);
}

}  // namespace
