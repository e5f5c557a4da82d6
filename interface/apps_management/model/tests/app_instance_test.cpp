#include <gtest/gtest.h>

#include "foundation/crypto.h"
#include "foundation/property_list.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/apps_management/model/afx_apps_management_model.h"
#include "interface/model/tests/model_sandbox.h"
#include "interface/model/tests/record_coding_support.h"

namespace {

using fnd::Value;

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

// A bundle with an information dictionary at `path`.
void makeBundle(const std::string& path, std::vector<fnd::Dictionary::Entry> info) {
  ASSERT_TRUE(files().createDirectoryAtPath(path + "/Contents/MacOS", true));
  auto data = fnd::PropertyListSerialization::dataWithPropertyList(Value(fnd::Dictionary::make(std::move(info))),
                                                                   fnd::PropertyListFormat::xml);
  ASSERT_TRUE(data);
  ASSERT_TRUE(files().createFileAtPath(path + "/Contents/Info.plist", *data));
}

class AppInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    bundle_ = sandbox_.systemApplications() + "/Chronofold.app";
    makeBundle(bundle_, {{Value("CFBundleShortVersionString"), Value("2.1")},
                         {Value("CFBundleVersion"), Value("210")},
                         {Value("LSApplicationCategoryType"), Value("public.app-category.developer-tools")},
                         {Value(AFXTeaserInfoDictionaryInternalVersionKey), Value("0.7")}});
  }
  std::shared_ptr<fnd::URL> bundleURL() const { return fnd::URL::fileURLWithPath(bundle_, true); }

  ModelSandbox sandbox_;
  std::string bundle_;
};

TEST_F(AppInstanceTest, RecordsArchiveTheirTablesAndDecodeEqual) {
  const auto url = bundleURL();
  const record_coding::RecordCase cases[] = {
      {"AFXTeaserAppInstance", [&] { return Value(AFXTeaserAppInstance::makeWithAppID(246, *url)); },
       {"appID", "URL", "appVersion", "version"}, {"appVersion", "version"}},
      {"AFXVendorAppInstance", [&] { return Value(AFXVendorAppInstance::makeWithAppID(246, *url)); },
       {"appID", "URL", "appVersionID", "appVersion"}},
      {"AFXAppWorkflow",
       [&] {
         auto workflow = AFXAppWorkflow::initWithAppID(246, url);
         workflow->setState(AFXAppWorkflowStateInstalling);
         workflow->setFractionCompleted(0.25);
         workflow->setTemporaryAppURL(fnd::URL::fileURLWithPath("/tmp/x.app", true));
         return Value(workflow);
       },
       {"appID", "state", "temporaryAppURL", "appURL", "fractionCompleted"}},
      {"AFXTeaserWorkflow",
       [&] {
         auto appWorkflow = AFXAppWorkflow::initWithAppID(246, url);
         appWorkflow->setState(AFXAppWorkflowStateInstalled);
         return Value(AFXTeaserWorkflow::initWithAppInstance(AFXTeaserAppInstance::makeWithAppID(246, *url), appWorkflow));
       },
       {"appInstance", "state", "temporaryAppURL", "fractionCompleted", "appWorkflow"}},
  };
  for (const auto& recordCase : cases) record_coding::checkRecordCoding(recordCase);
}

TEST_F(AppInstanceTest, ArchivesThePathAndDecodesToAReference) {
  auto instance = AFXVendorAppInstance::makeWithAppID(246, *bundleURL());
  ASSERT_TRUE(instance);
  EXPECT_EQ(instance->appVersionID(), "2.1");
  EXPECT_EQ(instance->appVersion(), "210");
  const auto data = record_coding::archive(Value(instance));
  auto archivedURL = record_coding::archivedValue(data, "URL");
  ASSERT_TRUE(archivedURL.as<fnd::Dictionary>());  // an NSURL entry, not a reference
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXAppInstance::staticClass(), data);
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto copy = decoded->as<AFXVendorAppInstance>();
  ASSERT_TRUE(copy);
  EXPECT_TRUE(std::dynamic_pointer_cast<AFXFileReferenceURL>(copy->URL()));
  EXPECT_EQ(copy->filePathURL()->path(), bundle_);
  EXPECT_TRUE(copy->isEqual(*instance));
  EXPECT_EQ(copy->hash(), instance->hash());
  EXPECT_FALSE(copy->isEqual(*AFXTeaserAppInstance::makeWithAppID(246, *bundleURL())));
}

TEST_F(AppInstanceTest, FollowsTheBundleAndLosesItInTheTrash) {
  EXPECT_EQ(AFXVendorAppInstance::initWithAppID(1, *fnd::URL::fileURLWithPath(sandbox_.root() + "/none.app")), nullptr);

  auto instance = AFXVendorAppInstance::initWithAppID(246, *bundleURL());
  ASSERT_TRUE(instance);
  EXPECT_TRUE(instance->exists());

  const std::string moved = sandbox_.systemApplications() + "/Games/Chronofold 2.app";
  ASSERT_TRUE(files().createDirectoryAtPath(sandbox_.systemApplications() + "/Games", true));
  ASSERT_TRUE(files().moveItemAtPath(bundle_, moved));
  ASSERT_TRUE(instance->filePathURL());
  EXPECT_EQ(instance->filePathURL()->path(), moved);
  EXPECT_TRUE(instance->exists());

  const std::string trash = sandbox_.applicationSupport() + "/Trash/files";
  ASSERT_TRUE(files().createDirectoryAtPath(trash, true));
  ASSERT_TRUE(files().moveItemAtPath(moved, trash + "/Chronofold.app"));
  ASSERT_TRUE(instance->filePathURL());
  EXPECT_EQ(instance->filePathURL()->path(), trash + "/Chronofold.app");
  EXPECT_FALSE(instance->exists());
  EXPECT_FALSE(instance->existsOnRootVolume());

  ASSERT_TRUE(files().removeItemAtPath(trash + "/Chronofold.app"));
  EXPECT_EQ(instance->filePathURL(), nullptr);
  EXPECT_FALSE(instance->exists());
}

TEST_F(AppInstanceTest, LostCopiesAreInTheTrashOrInABackup) {
  auto url = [](const std::string& path) { return fnd::URL::fileURLWithPath(path, true); };
  EXPECT_TRUE(inTrash(*url("/home/ada/.Trash/Korvia.app")));
  EXPECT_TRUE(inTrash(*url("/media/disk/.Trash-1000/files/Korvia.app")));
  EXPECT_TRUE(inTrash(*url(sandbox_.applicationSupport() + "/Trash/files/Korvia.app")));
  EXPECT_FALSE(inTrash(*url("/Applications/Trash.app")));

  EXPECT_TRUE(inBackup(*url("/Volumes/B/Backups.backupdb/Mac/Korvia.app")));
  const std::string versioned = sandbox_.root() + "/Old.WRP12";
  const std::string notVersioned = sandbox_.root() + "/Old.wrpx";
  ASSERT_TRUE(files().createDirectoryAtPath(versioned + "/Korvia.app", true));
  ASSERT_TRUE(files().createDirectoryAtPath(notVersioned + "/Korvia.app", true));
  EXPECT_TRUE(inBackup(*url(versioned + "/Korvia.app")));
  EXPECT_FALSE(inBackup(*url(notVersioned + "/Korvia.app")));
  EXPECT_FALSE(isLostForMonitoring(*url(bundle_)));

  const std::string clone = sandbox_.root() + "/clone";
  ASSERT_TRUE(files().createDirectoryAtPath(clone + "/Apps/Korvia.app", true));
  EXPECT_FALSE(inBackup(*url(clone + "/Apps/Korvia.app")));
  ASSERT_TRUE(files().createDirectoryAtPath(clone + "/_CCC SafetyNet", true));
  EXPECT_TRUE(inBackup(*url(clone + "/Apps/Korvia.app")));
  EXPECT_TRUE(isLostForMonitoring(*url(clone + "/Apps/Korvia.app")));
}

TEST_F(AppInstanceTest, CategoriesAndTeaserVersions) {
  auto instance = AFXTeaserAppInstance::makeWithAppID(246, *bundleURL());
  ASSERT_TRUE(instance);
  EXPECT_EQ(instance->appCategory(), "Developer Tools");
  EXPECT_EQ(instance->version(), "0.7");
  EXPECT_EQ(instance->appVersion(), 7);
  EXPECT_EQ(instance->objectForNotification(), "246 - " + bundle_);

  const std::string plain = sandbox_.systemApplications() + "/Plain.app";
  makeBundle(plain, {});
  EXPECT_EQ(AFXTeaserAppInstance::makeWithAppID(1, *fnd::URL::fileURLWithPath(plain, true)), nullptr);
  auto other = AFXTeaserAppInstance::initWithAppID(1, *fnd::URL::fileURLWithPath(plain, true), std::nullopt);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->appCategory(), "Other");
  EXPECT_EQ(other->version(), "0.0");
  EXPECT_EQ(other->appVersion(), 0);

  EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion("0.7"), 7);
  EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion("1.0"), 1);
  EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion("0.0"), 0);
  EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(""), 0);
  EXPECT_EQ(AFXTeaserVersionFromOldTeaserVersion(7), "0.7");
  EXPECT_EQ(AFXTeaserAppVersionMake(Value(7)), std::nullopt);
}

TEST(AppsManagementModelClasses, AreFoundByName) {
  AFXRegisterAppsManagementModelClasses();
  for (const char* name : {"AFXEnvironment", "AFXDefaultEnvironmentID", "AFXManifestURLBasedEnvironmentID",
                           "AFXEndpoint", "AFXEndpointsManifest", "AFXCustomer", "AFXCustomerID", "AFXMachineInfo",
                           "AFXCustomerCredentials", "AFXCustomerIdentity", "AFXTeaserAppInstance",
                           "AFXVendorAppInstance", "AFXAppWorkflow", "AFXTeaserWorkflow", "AFXKorviaBundleID",
                           "AFXExecutableInfo", "AFXRunningApplication", "AFXSignInWorkflow"}) {
    EXPECT_NE(fnd::Class::named(name), nullptr) << name;
  }
}

TEST(AppWorkflow, EqualByApp) {
  auto a = AFXAppWorkflow::initWithAppID(246, fnd::URL::fileURLWithPath("/Applications/A.app", true));
  auto b = AFXAppWorkflow::initWithAppID(246, fnd::URL::fileURLWithPath("/Applications/B.app", true));
  b->setState(AFXAppWorkflowStateInstalled);
  EXPECT_TRUE(a->isEqual(*b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_EQ(a->objectForNotification(), "246 - /Applications/A.app");
  auto copy = std::dynamic_pointer_cast<AFXAppWorkflow>(b->copy());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, b);
  EXPECT_EQ(copy->state(), AFXAppWorkflowStateInstalled);
}

}  // namespace
