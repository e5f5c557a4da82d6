#include <gtest/gtest.h>

#include "foundation/date.h"
#include "foundation/error.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/apps_management/model/afx_sign_in_workflow.h"
#include "interface/model/tests/model_sandbox.h"
#include "interface/model/tests/record_coding_support.h"

namespace {

using fnd::Value;

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

// An app bundle at `path` whose executable is a copy of /bin/sleep, with an
// icon file in its resources.
void makeBundle(const std::string& path, std::vector<fnd::Dictionary::Entry> info) {
  ASSERT_TRUE(files().createDirectoryAtPath(path + "/Contents/MacOS", true));
  ASSERT_TRUE(files().createDirectoryAtPath(path + "/Contents/Resources", true));
  ASSERT_TRUE(files().copyItemAtPath("/bin/sleep", path + "/Contents/MacOS/app"));
  const std::vector<std::uint8_t> icon = {'i', 'c', 'n', 's'};
  ASSERT_TRUE(files().createFileAtPath(path + "/Contents/Resources/AppIcon.icns", icon));
  info.push_back({Value("CFBundleExecutable"), Value("app")});
  info.push_back({Value("CFBundleIconFile"), Value("AppIcon")});
  auto data = fnd::PropertyListSerialization::dataWithPropertyList(Value(fnd::Dictionary::make(std::move(info))),
                                                                   fnd::PropertyListFormat::xml);
  ASSERT_TRUE(data);
  ASSERT_TRUE(files().createFileAtPath(path + "/Contents/Info.plist", *data));
}

class RunningApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    app_ = sandbox_.systemApplications() + "/Chronofold.app";
    makeBundle(app_, {{Value("CFBundleIdentifier"), Value("com.vendor.Chronofold-korvia")},
                      {Value("CFBundleName"), Value("Chronofold")},
                      {Value("CFBundleDisplayName"), Value("Chronofold Pro")},
                      {Value("CFBundleShortVersionString"), Value("2.1")},
                      {Value("CFBundleVersion"), Value("210")}});
    helper_ = sandbox_.root() + "/Agents/Chronofold Agent.app";
    makeBundle(helper_, {{Value("CFBundleIdentifier"), Value("ABCDE12345.com.vendor.Chronofold-korvia.agent")}});
  }
  void TearDown() override {
    for (const auto& process : processes_) {
      process->kill();
      (void)process->waitUntilExit();
    }
  }

  static std::shared_ptr<AFXRunningApplication> record(const std::string& bundle, std::string identifier,
                                                       pid_t pid = 4242) {
    fnd::RunningApplication application;
    application.processIdentifier = pid;
    application.bundleURL = fnd::URL::fileURLWithPath(bundle, true);
    application.executableURL = fnd::URL::fileURLWithPath(bundle + "/Contents/MacOS/app");
    application.bundleIdentifier = std::move(identifier);
    return AFXRunningApplication::runningApplicationFromNSRunningApplication(application);
  }

  std::shared_ptr<fnd::Process> start(const std::string& bundle) {
    fnd::ProcessLaunchOptions options;
    options.executablePath = bundle + "/Contents/MacOS/app";
    options.arguments = {"30"};
    auto process = fnd::Process::launch(std::move(options));
    EXPECT_TRUE(process) << process.error().description();
    if (!process) return nullptr;
    processes_.push_back(*process);
    return *process;
  }

  ModelSandbox sandbox_;
  std::string app_;
  std::string helper_;
  std::vector<std::shared_ptr<fnd::Process>> processes_;
};

TEST_F(RunningApplicationTest, RecordsArchiveTheirTablesAndDecodeEqual) {
  const record_coding::RecordCase cases[] = {
      {"AFXRunningApplication", [&] { return Value(record(app_, "com.vendor.Chronofold-korvia")); },
       {"localizedName", "bundleIdentifier", "bundleURL", "version", "build", "processIdentifier"}},
      {"AFXSignInWorkflow",
       [&] {
         auto environmentID =
             AFXEnvironmentID::environmentIDWithManifestURL(fnd::URL::URLWithString("https://staging.korvia.com/e.json"));
         auto customerID = AFXCustomerID::initWithAccountName("ada@example.com", environmentID);
         auto workflow = AFXSignInWorkflow::make();
         workflow->setCustomerID(customerID);
         workflow->setState(3);
         workflow->setEnvironment(AFXEnvironment::initWithIdentifier(environmentID, AFXEndpointsManifest::make()));
         workflow->setCustomer(AFXCustomer::initWithIdentifier(
             customerID, "b-17", "token-1", AFXCustomerSubscriptionStatePaid,
             fnd::Date::dateWithTimeIntervalSince1970(1.7e9), nullptr, nullptr,
             AFXMachineInfo::initWithHardwareUUID("UUID", "aa:bb:cc:dd:ee:ff"), true));
         workflow->setEnvironmentPreparationFractionCompleted(0.5);
         workflow->setRunningApplication(record(helper_, "ABCDE12345.com.vendor.Chronofold-korvia.agent"));
         workflow->setPresentationStyle(1);
         workflow->setLastError(fnd::Error("com.korvia.default-error-domain", -401002));
         return Value(workflow);
       },
       {"customerID", "state", "environment", "customer", "environmentPreparationFractionCompleted",
        "runningApplication", "presentationStyle", "lastError"}},
  };
  for (const auto& recordCase : cases) record_coding::checkRecordCoding(recordCase);
}

TEST_F(RunningApplicationTest, SignInWorkflowCopiesAndKeepsItsError) {
  auto workflow = AFXSignInWorkflow::make();
  EXPECT_EQ(workflow->lastError(), std::nullopt);
  workflow->setLastError(fnd::Error("com.korvia.default-error-domain", -401002));
  workflow->setRunningApplication(record(app_, "com.vendor.Chronofold-korvia"));
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXSignInWorkflow::staticClass(),
                                                               record_coding::archive(Value(workflow)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto restored = decoded->as<AFXSignInWorkflow>();
  ASSERT_TRUE(restored && restored->lastError());
  EXPECT_TRUE(restored->lastError()->is("com.korvia.default-error-domain", -401002));
  ASSERT_TRUE(restored->runningApplication());
  EXPECT_EQ(restored->runningApplication()->localizedName(), "Chronofold Pro");

  auto copy = std::dynamic_pointer_cast<AFXSignInWorkflow>(workflow->copy());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, workflow);
  EXPECT_TRUE(copy->lastError()->is("com.korvia.default-error-domain", -401002));
}

TEST_F(RunningApplicationTest, ReadsTheBundleAndTheAppItBelongsTo) {
  auto app = record(app_, "com.vendor.Chronofold-korvia");
  EXPECT_EQ(app->localizedName(), "Chronofold Pro");
  EXPECT_EQ(app->name(), "Chronofold");
  EXPECT_EQ(app->version(), "2.1");
  EXPECT_EQ(app->build(), "210");
  EXPECT_EQ(app->processIdentifier(), 4242);
  ASSERT_TRUE(app->icon());
  EXPECT_EQ(app->icon()->path(), app_ + "/Contents/Resources/AppIcon.icns");
  ASSERT_TRUE(app->korviaBundleID());
  EXPECT_EQ(app->korviaBundleID()->kind(), AFXKorviaBundleIDKindBase);
  EXPECT_EQ(app->localizedNameForSignIn(), "Chronofold Pro");
  ASSERT_TRUE(app->iconForSignIn());
  EXPECT_EQ(app->iconForSignIn()->path(), app->icon()->path());

  // A helper signs in with the name and icon of the installed app, found by
  // its base identifier in the applications folder.
  auto helper = record(helper_, "ABCDE12345.com.vendor.Chronofold-korvia.agent");
  EXPECT_EQ(helper->localizedName(), "Chronofold Agent");
  EXPECT_EQ(helper->name(), "Chronofold Agent");
  EXPECT_EQ(helper->version(), std::nullopt);
  EXPECT_EQ(helper->localizedNameForSignIn(), "Chronofold");
  ASSERT_TRUE(helper->iconForSignIn());
  EXPECT_EQ(helper->iconForSignIn()->path(), app_ + "/Contents/Resources/AppIcon.icns");

  // Without the app installed: its own name, no icon. A teaser has no base
  // app; an app outside the service has no sign-in icon.
  auto orphan = record(helper_, "ABCDE12345.com.vendor.Other-korvia.agent");
  EXPECT_EQ(orphan->localizedNameForSignIn(), "Chronofold Agent");
  EXPECT_EQ(orphan->iconForSignIn(), nullptr);
  auto teaser = record(helper_, "com.korvia.teaser.com-vendor-Chronofold-korvia");
  EXPECT_EQ(teaser->localizedNameForSignIn(), "Chronofold Agent");
  EXPECT_EQ(teaser->iconForSignIn(), nullptr);
  auto outsider = record(app_, "com.vendor.Chronofold");
  EXPECT_EQ(outsider->korviaBundleID(), nullptr);
  EXPECT_EQ(outsider->localizedNameForSignIn(), "Chronofold Pro");
  EXPECT_TRUE(outsider->icon());
  EXPECT_EQ(outsider->iconForSignIn(), nullptr);

  // Computed once: the record keeps describing the process it was made for.
  ASSERT_TRUE(files().removeItemAtPath(app_));
  EXPECT_EQ(helper->localizedNameForSignIn(), "Chronofold");
  EXPECT_EQ(app->name(), "Chronofold");
}

TEST_F(RunningApplicationTest, EqualByProcessAndBundleIdentifier) {
  auto a = record(app_, "com.vendor.Chronofold-korvia", 10);
  auto moved = record(helper_, "com.vendor.Chronofold-korvia", 10);
  EXPECT_TRUE(a->isEqual(*moved));
  EXPECT_EQ(a->hash(), moved->hash());
  EXPECT_FALSE(a->isEqual(*record(app_, "com.vendor.Chronofold-korvia", 11)));
  EXPECT_FALSE(a->isEqual(*record(app_, "com.vendor.Other-korvia", 10)));
  EXPECT_FALSE(a->isEqual(*record(app_, "", 10)));
  EXPECT_EQ(a->copy(), a);
}

TEST_F(RunningApplicationTest, InstancesAndWorkflowsFindTheirRunningCopy) {
  auto instance = AFXVendorAppInstance::makeWithAppID(246, *fnd::URL::fileURLWithPath(app_, true));
  auto workflow = AFXAppWorkflow::initWithAppID(246, fnd::URL::fileURLWithPath(app_, true));
  ASSERT_TRUE(instance);
  EXPECT_EQ(instance->runningApplication(), nullptr);
  EXPECT_EQ(workflow->runningApplication(), nullptr);

  auto process = start(app_);
  ASSERT_TRUE(process);
  auto running = instance->runningApplication();
  ASSERT_TRUE(running);
  EXPECT_EQ(running->processIdentifier(), process->processIdentifier());
  EXPECT_EQ(running->bundleIdentifier(), "com.vendor.Chronofold-korvia");
  EXPECT_EQ(running->bundleURL()->path(), app_);
  ASSERT_TRUE(workflow->runningApplication());
  EXPECT_TRUE(workflow->runningApplication()->isEqual(*running));
  // Another bundle's process is not this app's.
  EXPECT_EQ(AFXVendorAppInstance::initWithAppID(1, *fnd::URL::fileURLWithPath(helper_, true))->runningApplication(),
            nullptr);

  // The instance follows its bundle when the user moves it while it runs.
  const std::string moved = sandbox_.systemApplications() + "/Chronofold 2.app";
  ASSERT_TRUE(files().moveItemAtPath(app_, moved));
  running = instance->runningApplication();
  ASSERT_TRUE(running);
  EXPECT_EQ(running->processIdentifier(), process->processIdentifier());
  EXPECT_EQ(running->bundleURL()->path(), moved);
  EXPECT_EQ(workflow->runningApplication(), nullptr);

  process->kill();
  (void)process->waitUntilExit();
  EXPECT_EQ(instance->runningApplication(), nullptr);
}

}  // namespace
