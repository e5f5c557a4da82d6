#include <gtest/gtest.h>

#include "foundation/file_manager.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_app_icon_resource.h"
#include "interface/model/afx_endpoint.h"
#include "interface/model/afx_internal_update_resource.h"
#include "interface/model/afx_resource_download_priority_holder.h"
#include "interface/model/afx_screenshot_resource.h"
#include "interface/model/afx_teaser_install_resource.h"
#include "interface/model/afx_teaser_update_resource.h"
#include "interface/model/afx_vendor_install_resource.h"
#include "interface/model/afx_vendor_update_resource.h"
#include "interface/model/tests/in_process_notifier.h"
#include "interface/model/tests/model_sandbox.h"
#include "interface/model/tests/record_coding_support.h"

namespace {

using fnd::Value;

std::shared_ptr<fnd::URL> url(const char* text) { return fnd::URL::URLWithString(text); }

std::shared_ptr<AFXCodedApp> chronofold() {
  auto app = AFXCodedApp::make();
  app->setIdentifier(246);
  app->setBundleIdentifier("com.vendor.Chronofold");
  return app;
}

std::shared_ptr<AFXResourceExistsStatus> storedAt(const std::string& path) {
  return AFXResourceExistsStatus::initWithStorageURL(fnd::URL::fileURLWithPath(path));
}

const std::set<std::string> kResourceKeys = {"identifier", "downloadURL", "status"};

std::set<std::string> resourceKeysWith(std::initializer_list<std::string> extra) {
  std::set<std::string> keys = kResourceKeys;
  keys.insert(extra.begin(), extra.end());
  return keys;
}

class ResourceRecordCoding : public testing::TestWithParam<record_coding::RecordCase> {};

TEST_P(ResourceRecordCoding, ArchivesTheTableAndDecodesEqual) { record_coding::checkRecordCoding(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Records, ResourceRecordCoding,
    testing::Values(
        record_coding::RecordCase{"AFXResourceExistsStatus", [] { return Value(storedAt("/tmp/r.zip")); }, {"storageURL"}},
        record_coding::RecordCase{"AFXResourceMissingStatus", [] { return Value(AFXResourceMissingStatus::make()); }, {}},
        record_coding::RecordCase{"AFXResourceDownloadPriorityHolder",
                                  [] { return Value(AFXResourceDownloadPriorityHolder::initWithPriority(2, url("https://cdn.korvia.com/a"))); },
                                  {"priority", "identifier"},
                                  {"identifier"}},
        record_coding::RecordCase{"AFXCodedAppIconResource",
                                  [] {
                                    auto icon = AFXCodedAppIconResource::resourceWithDownloadURL(url("https://cdn.korvia.com/i.png"), *chronofold());
                                    icon->setStatus(storedAt("/tmp/i.png"));
                                    return Value(icon);
                                  },
                                  resourceKeysWith({"appID"})},
        record_coding::RecordCase{"AFXCodedScreenshotResource",
                                  [] {
                                    auto shot = AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://cdn.korvia.com/s.png"), *chronofold());
                                    shot->setScreenshotsServiceIdentifier("shot-1");
                                    return Value(shot);
                                  },
                                  resourceKeysWith({"appID", "screenshotsServiceIdentifier"})},
        record_coding::RecordCase{"AFXCodedTeaserInstallResource",
                                  [] {
                                    return Value(AFXCodedTeaserInstallResource::resourceWithDownloadURL(
                                        url("https://cdn.korvia.com/t.zip"), *chronofold(), "0.7"));
                                  },
                                  resourceKeysWith({"appID", "teaserAppVersion", "appVersion"}),
                                  {"teaserAppVersion", "appVersion"}},
        record_coding::RecordCase{"AFXCodedTeaserUpdateResource",
                                  [] {
                                    auto update = AFXCodedTeaserUpdateResource::resourceWithDownloadURL(url("https://cdn.korvia.com/tu.zip"), *chronofold());
                                    update->setFromTeaserAppVersion(6);
                                    update->setToTeaserAppVersion(7);
                                    return Value(update);
                                  },
                                  resourceKeysWith({"appID", "fromTeaserAppVersion", "toTeaserAppVersion"})},
        record_coding::RecordCase{"AFXCodedVendorInstallResource",
                                  [] {
                                    return Value(AFXCodedVendorInstallResource::resourceWithDownloadURL(
                                        url("https://cdn.korvia.com/v.zip"), *chronofold(), "1.2.3"));
                                  },
                                  resourceKeysWith({"appID", "appVersionID"})},
        record_coding::RecordCase{"AFXCodedVendorUpdateResource",
                                  [] {
                                    auto update = AFXCodedVendorUpdateResource::resourceWithDownloadURL(url("https://cdn.korvia.com/vu.zip"), *chronofold());
                                    update->setFromAppVersionID("100");
                                    update->setToAppVersionID("101");
                                    return Value(update);
                                  },
                                  resourceKeysWith({"appID", "fromAppVersionID", "toAppVersionID"})},
        record_coding::RecordCase{"AFXCodedInternalUpdateResource",
                                  [] {
                                    auto update = AFXCodedInternalUpdateResource::resourceWithDownloadURL(url("https://cdn.korvia.com/k.zip"));
                                    update->setVersion("3.1");
                                    update->setMinOSVersion("11.0");
                                    update->setDownloadedDate(fnd::Date::dateWithTimeIntervalSince1970(1.7e9));
                                    return Value(update);
                                  },
                                  resourceKeysWith({"version", "downloadedDate", "minOSVersion"})}),
    [](const auto& param) { return param.param.name; });

class ResourceTwins : public testing::TestWithParam<record_coding::TwinCase> {};

TEST_P(ResourceTwins, BecomeEachOther) { record_coding::checkTwins(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Records, ResourceTwins,
    testing::Values(
        record_coding::TwinCase{"AppIcon", [] { return Value(AFXCodedAppIconResource::resourceWithDownloadURL(url("https://c/i"))); },
                                "AppIconResource", kResourceKeys},
        record_coding::TwinCase{"Screenshot",
                                [] {
                                  auto shot = AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://c/s"));
                                  shot->setScreenshotsServiceIdentifier("s-1");
                                  return Value(shot);
                                },
                                "ScreenshotResource", resourceKeysWith({"screenshotsServiceIdentifier"})},
        record_coding::TwinCase{"TeaserInstall",
                                [] { return Value(AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://c/t"), *chronofold(), "0.8")); },
                                "TeaserInstallResource", resourceKeysWith({"teaserAppVersion", "appVersion"})},
        record_coding::TwinCase{"TeaserUpdate",
                                [] {
                                  auto update = AFXCodedTeaserUpdateResource::resourceWithDownloadURL(url("https://c/tu"));
                                  update->setToTeaserAppVersion(8);
                                  return Value(update);
                                },
                                "TeaserUpdateResource", resourceKeysWith({"fromTeaserAppVersion", "toTeaserAppVersion"})},
        record_coding::TwinCase{"VendorInstall",
                                [] { return Value(AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"), *chronofold(), "7")); },
                                "VendorInstallResource", kResourceKeys},
        record_coding::TwinCase{"VendorUpdate", [] { return Value(AFXCodedVendorUpdateResource::resourceWithDownloadURL(url("https://c/vu"))); },
                                "VendorUpdateResource", kResourceKeys},
        record_coding::TwinCase{"InternalUpdate",
                                [] {
                                  auto update = AFXCodedInternalUpdateResource::resourceWithDownloadURL(url("https://c/k"));
                                  update->setMinOSVersion("12.0");
                                  return Value(update);
                                },
                                "InternalUpdateResource", resourceKeysWith({"version", "downloadedDate", "minOSVersion"})}),
    [](const auto& param) { return param.param.name; });

TEST(ResourceIdentity, IsTheSHA1OfTheURLAndItsVersion) {
  auto icon = AFXCodedAppIconResource::resourceWithDownloadURL(url("https://cdn.korvia.com/r/icon.png"), *chronofold());
  EXPECT_EQ(icon->identifier(), "0e4842dc3b54d844d8c55918b91fbb6e53fc3170");
  EXPECT_EQ(icon->appID(), 246);
  EXPECT_TRUE(icon->status()->isKindOfClass(AFXResourceMissingStatus::staticClass()));

  auto again = AFXCodedAppIconResource::resourceWithDownloadURL(url("https://cdn.korvia.com/r/icon.png"));
  again->setStatus(storedAt("/tmp/icon.png"));
  EXPECT_TRUE(icon->isEqual(*again));
  EXPECT_EQ(icon->hash(), again->hash());

  auto v123 = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://cdn.korvia.com/r/app.zip"), *chronofold(), "1.2.3");
  auto v124 = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://cdn.korvia.com/r/app.zip"), *chronofold(), "1.2.4");
  EXPECT_EQ(v123->identifier(), "b6921abef90bbdaf18458759f3740edf757193f4");
  EXPECT_EQ(v123->appVersionID(), "1.2.3");
  EXPECT_FALSE(v123->isEqual(*v124));

  auto teaser = AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://cdn.korvia.com/r/app.zip"), *chronofold(), "1.2.3");
  EXPECT_EQ(teaser->identifier(), v123->identifier());
  EXPECT_EQ(teaser->appVersion(), "1.2.3");
}

TEST(ResourceKinds, NameEveryKindAndNothingElse) {
  const std::pair<AFXResourceKind, const char*> statsd[] = {
      {1, "screenshot"}, {2, "teaser_app"}, {3, "teaser_app_update"}, {4, "vendor_app"},
      {5, "vendor_app_update"}, {6, "internal_update"}, {7, "app_icon"}};
  for (const auto& [kind, name] : statsd) EXPECT_EQ(AFXResourceKindGetStatsdID(kind), name) << kind;
  EXPECT_EQ(AFXResourceKindGetStatsdID(0), std::nullopt);
  EXPECT_EQ(AFXResourceKindGetDescription(0), "undefined");
  EXPECT_EQ(AFXResourceKindGetDescription(2), "teaserAppInstall");
  EXPECT_EQ(AFXResourceKindGetDescription(6), "internalAppUpdate");
  EXPECT_EQ(AFXResourceKindGetDescription(9), std::nullopt);
  EXPECT_EQ(AFXResourceKindGetDescription(-1), std::nullopt);

  auto u = url("https://c/x");
  const std::pair<std::shared_ptr<AFXResource>, AFXResourceKind> resources[] = {
      {AFXCodedScreenshotResource::resourceWithDownloadURL(u), 1},
      {AFXCodedTeaserInstallResource::resourceWithDownloadURL(u), 2},
      {AFXCodedTeaserUpdateResource::resourceWithDownloadURL(u), 3},
      {AFXCodedVendorInstallResource::resourceWithDownloadURL(u), 4},
      {AFXCodedVendorUpdateResource::resourceWithDownloadURL(u), 5},
      {AFXCodedInternalUpdateResource::resourceWithDownloadURL(u), 6},
      {AFXCodedAppIconResource::resourceWithDownloadURL(u), 7}};
  for (const auto& [resource, kind] : resources) {
    EXPECT_EQ(resource->kind(), kind);
    EXPECT_EQ(resource->statsdID(), AFXResourceKindGetStatsdID(kind));
  }
}

TEST(ResourceStatus, StoredFilesOutrankMissingOnes) {
  ModelSandbox sandbox;
  const std::string path = sandbox.root() + "/resource.zip";
  ASSERT_TRUE(fnd::FileManager::defaultManager().createFileAtPath(path, std::vector<std::uint8_t>{1, 2}));
  auto exists = storedAt(path);
  auto other = storedAt(sandbox.root() + "/other.zip");
  auto missing = AFXResourceMissingStatus::make();

  EXPECT_EQ(AFXResourceStatus::mergeOldStatus(exists, missing), exists);
  EXPECT_EQ(AFXResourceStatus::mergeOldStatus(missing, exists), exists);
  EXPECT_EQ(AFXResourceStatus::mergeOldStatus(exists, other), other);
  EXPECT_EQ(AFXResourceStatus::mergeOldStatus(nullptr, missing), missing);
  EXPECT_EQ(AFXResourceStatus::mergeOldStatus(exists, nullptr), exists);

  auto resource = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"));
  resource->setStatus(exists);
  ASSERT_TRUE(resource->downloadedURL());
  EXPECT_EQ(resource->downloadedURL()->path(), path);
  ASSERT_TRUE(fnd::FileManager::defaultManager().removeItemAtPath(path));
  EXPECT_EQ(resource->downloadedURL(), nullptr);
  EXPECT_EQ(exists->priority(), 3);
  EXPECT_EQ(missing->priority(), 1);
  EXPECT_TRUE(exists->isEqual(*storedAt(path)));
  EXPECT_FALSE(exists->isEqual(*missing));
}

TEST(ResourceStatus, ARefreshKeepsTheStoredFile) {
  auto context = AFXManagedObjectContext::create();
  auto record = AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://c/s"));
  record->setStatus(storedAt("/tmp/a.png"));
  auto managed = std::dynamic_pointer_cast<AFXManagedScreenshotResource>(makeManagedInstance(*record, *context));
  ASSERT_TRUE(managed);

  auto refresh = AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://c/s"));
  refresh->setScreenshotsServiceIdentifier("renamed");
  managed->setupWithPrototype(*refresh);
  EXPECT_EQ(managed->screenshotsServiceIdentifier(), "renamed");
  EXPECT_TRUE(managed->status()->isEqual(*storedAt("/tmp/a.png")));

  refresh->setStatus(storedAt("/tmp/b.png"));
  managed->setupWithPrototype(*refresh);
  EXPECT_TRUE(managed->status()->isEqual(*storedAt("/tmp/b.png")));
}

TEST(ResourceTeaserVersions, FallBackBetweenSchemes) {
  auto none = AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://c/t"));
  EXPECT_EQ(none->appVersion(), "0.0");
  EXPECT_EQ(none->teaserAppVersion(), 0);
  none->setTeaserAppVersion(7);
  EXPECT_EQ(none->appVersion(), "0.7");
  auto text = AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://c/t"), *chronofold(), "0.12");
  EXPECT_EQ(text->teaserAppVersion(), 12);
}

TEST(ResourceLookups, PickTheRequestedOrTheHighestVersion) {
  auto app = chronofold();
  auto r100 = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"), *app, "1.10");
  auto r99 = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"), *app, "1.9");
  auto r100again = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/w"), *app, "1.10.0");
  auto icon = AFXCodedAppIconResource::resourceWithDownloadURL(url("https://c/i"), *app);
  const std::vector<Value> resources = {Value(icon), Value(r99), Value(r100), Value(r100again)};

  auto version = AFXCodedAppVersion::make();
  version->setIdentifier("1.9");
  EXPECT_EQ(AFXVendorInstallResourceForVersion(*version, resources).get(), r99.get());
  version->setIdentifier("2.0");
  EXPECT_EQ(AFXVendorInstallResourceForVersion(*version, resources).get(), r100.get());  // first of the ties
  EXPECT_TRUE(AFXVendorInstallResourceForVersion(*version, {}).isNil());
  EXPECT_TRUE(AFXVendorInstallResourceForVersion(*version, {Value(icon)}).isNil());

  auto t7 = AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://c/t"), *app, "0.7");
  auto t10 = AFXCodedTeaserInstallResource::resourceWithDownloadURL(url("https://c/t"), *app, "0.10");
  EXPECT_EQ(AFXLatestTeaserInstallResourceFromResources({Value(t7), Value(r100), Value(t10)}).get(), t10.get());
  EXPECT_TRUE(AFXLatestTeaserInstallResourceFromResources({Value(r100)}).isNil());
}

TEST(ResourceLookups, InternalUpdatesNeedTheirSystem) {
  auto update = AFXCodedInternalUpdateResource::resourceWithDownloadURL(url("https://c/k"));
  EXPECT_TRUE(AFXVerifyInternalUpdateVersionSupport(*update, "10.0.0"));
  update->setMinOSVersion("12.6");
  EXPECT_TRUE(AFXVerifyInternalUpdateVersionSupport(*update, "12.6.0"));
  auto older = AFXVerifyInternalUpdateVersionSupport(*update, "12.5.9");
  ASSERT_FALSE(older);
  EXPECT_TRUE(older.error().is(AFXDefaultErrorDomain, AFXErrorCodeIncompatibleInternalOSVersion));
}

TEST(ResourceAllowedClasses, AnAppAdmitsEveryAppResourceKindOnly) {
  auto app = chronofold();
  auto u = url("https://c/r");
  app->setResources(fnd::Set::make({Value(AFXCodedAppIconResource::resourceWithDownloadURL(u, *app)),
                                    Value(AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://c/s"), *app)),
                                    Value(AFXCodedTeaserInstallResource::resourceWithDownloadURL(u, *app, "0.1")),
                                    Value(AFXCodedTeaserUpdateResource::resourceWithDownloadURL(url("https://c/tu"), *app)),
                                    Value(AFXCodedVendorInstallResource::resourceWithDownloadURL(u, *app, "9")),
                                    Value(AFXCodedVendorUpdateResource::resourceWithDownloadURL(url("https://c/vu"), *app))}));
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXCodedApp::staticClass(), record_coding::archive(Value(app)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  EXPECT_EQ(decoded->as<AFXCodedApp>()->resources()->count(), 6u);

  // The client's own updates are no app's resources.
  app->setResources(fnd::Set::make({Value(AFXCodedInternalUpdateResource::resourceWithDownloadURL(u))}));
  auto refused = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXCodedApp::staticClass(), record_coding::archive(Value(app)));
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));

  // A status admits both kinds of status and nothing else.
  auto resource = AFXCodedAppIconResource::resourceWithDownloadURL(u);
  const auto data = record_coding::archive(Value(resource));
  auto wrongStatus = fnd::KeyedUnarchiver::unarchivedObjectOfClass(
      AFXCodedResource::staticClass(),
      record_coding::withKey(data, "status", record_coding::archivedValue(record_coding::archive(Value(AFXEndpoint::initWithURL(u, 0))), "URL")));
  EXPECT_FALSE(wrongStatus);
}

TEST(ManagedResources, LinkTheirAppAndVersions) {
  auto context = AFXManagedObjectContext::create();
  auto app = std::dynamic_pointer_cast<AFXManagedApp>(makeManagedInstance(*chronofold(), *context));
  auto codedVersion = AFXCodedAppVersion::make();
  codedVersion->setIdentifier("101");
  codedVersion->setAppID(246);
  auto version = std::dynamic_pointer_cast<AFXManagedAppVersion>(makeManagedInstance(*codedVersion, *context));
  ASSERT_TRUE(app && version);
  auto appByID = fnd::Dictionary::make({{Value(246), Value(app)}});
  auto versionByID = fnd::Dictionary::make({{Value("101"), Value(version)}});
  version->setupWithPrototype(*codedVersion, *appByID);
  EXPECT_EQ(version->appID(), 246);

  auto record = AFXCodedVendorUpdateResource::resourceWithDownloadURL(url("https://c/vu"), *chronofold());
  record->setToAppVersionID("101");
  record->setFromAppVersionID("100");  // not in the store
  auto managed = std::dynamic_pointer_cast<AFXManagedVendorUpdateResource>(
      AFXManagedModelObject::makeInContext(AFXManagedVendorUpdateResource::staticClass(), *context));
  managed->setupWithPrototype(*record, *appByID, *versionByID);
  EXPECT_EQ(managed->appID(), 246);
  EXPECT_EQ(managed->toAppVersionID(), "101");
  EXPECT_EQ(managed->fromAppVersionID(), std::nullopt);

  auto copy = std::dynamic_pointer_cast<AFXCodedVendorUpdateResource>(managed->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->appID(), 246);
  EXPECT_EQ(copy->toAppVersionID(), "101");
  EXPECT_TRUE(copy->isEqual(*record));

  auto install = AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"), *chronofold(), "101");
  auto managedInstall = std::dynamic_pointer_cast<AFXManagedVendorInstallResource>(
      AFXManagedModelObject::makeInContext(AFXManagedVendorInstallResource::staticClass(), *context));
  managedInstall->setupWithPrototype(*install, *appByID, *versionByID);
  EXPECT_EQ(managedInstall->appVersionID(), "101");
  EXPECT_EQ(managedInstall->appVersion(), version);
}

class PriorityHolderTest : public testing::Test {
 protected:
  void SetUp() override { AFXDistributedNotifier::setDefaultNotifier(notifier_); }
  void TearDown() override { AFXDistributedNotifier::setDefaultNotifier(nullptr); }

  std::shared_ptr<InProcessNotifier> notifier_ = std::make_shared<InProcessNotifier>();
};

TEST_F(PriorityHolderTest, ChangesReachEveryHolderOfTheResourceOnce) {
  auto resourceURL = url("https://cdn.korvia.com/r/app.zip");
  auto first = AFXResourceDownloadPriorityHolder::initWithPriority(1, resourceURL);
  auto second = AFXResourceDownloadPriorityHolder::initWithPriority(1, resourceURL);
  auto unrelated = AFXResourceDownloadPriorityHolder::initWithPriority(1, url("https://cdn.korvia.com/r/other.zip"));
  EXPECT_EQ(first->identifier(), AFXResourceIdentifierForURL(*resourceURL));
  std::vector<AFXResourceDownloadPriority> seen;
  first->addPriorityObserver([&](AFXResourceDownloadPriority p) { seen.push_back(p); });

  first->setPriority(2);
  EXPECT_EQ(first->priority(), 2u);
  notifier_->waitForDeliveries();
  EXPECT_EQ(second->priority(), 2u);
  EXPECT_EQ(unrelated->priority(), 1u);
  notifier_->waitForDeliveries();
  // One broadcast: the second holder adopts without posting, the first
  // ignores its own.
  ASSERT_EQ(notifier_->posts().size(), 1u);
  EXPECT_EQ(notifier_->posts()[0].name, first->identifier());
  EXPECT_EQ(notifier_->posts()[0].object.stringValue(), first->broadcastTextForPriority(2));
  EXPECT_EQ(seen, (std::vector<AFXResourceDownloadPriority>{2}));

  first->setPriority(2);  // unchanged: nothing
  EXPECT_EQ(first->priority(), 2u);
  EXPECT_EQ(notifier_->posts().size(), 1u);

  second->setPriority(0, false);
  EXPECT_EQ(second->priority(), 0u);
  notifier_->waitForDeliveries();
  EXPECT_EQ(first->priority(), 2u);
}

TEST_F(PriorityHolderTest, IgnoresWhatNoHolderSends) {
  auto holder = AFXResourceDownloadPriorityHolder::initWithPriority(1, url("https://c/a"));
  const auto& name = holder->identifier();
  const std::string own = holder->broadcastTextForPriority(0);
  // Its own text, another holder's address that merely begins like its own,
  // no separator, a priority out of range, not a number, not a text.
  notifier_->postNotification(name, Value(own));
  notifier_->postNotification(name, Value("junk"));
  notifier_->postNotification(name, Value("0x1--9"));
  notifier_->postNotification(name, Value("0x1--2x"));
  notifier_->postNotification(name, Value("0x1--"));
  notifier_->postNotification(name, Value(2));
  notifier_->waitForDeliveries();
  EXPECT_EQ(holder->priority(), 1u);

  const std::string longer = own.substr(0, own.find('@')) + "0@1--0";
  notifier_->postNotification(name, Value(longer));
  notifier_->waitForDeliveries();
  EXPECT_EQ(holder->priority(), 0u);
}

TEST_F(PriorityHolderTest, DecodedHoldersListenAndDestroyedOnesStop) {
  auto holder = AFXResourceDownloadPriorityHolder::initWithPriority(2, url("https://c/a"));
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXResourceDownloadPriorityHolder::staticClass(),
                                                              record_coding::archive(Value(holder)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto copy = decoded->as<AFXResourceDownloadPriorityHolder>();
  EXPECT_EQ(copy->identifier(), holder->identifier());
  EXPECT_EQ(copy->priority(), 2u);
  EXPECT_EQ(notifier_->observerCount(), 2u);

  holder->setPriority(0);
  EXPECT_EQ(holder->priority(), 0u);
  notifier_->waitForDeliveries();
  EXPECT_EQ(copy->priority(), 0u);

  copy.reset();
  decoded = fnd::Value();
  EXPECT_EQ(notifier_->observerCount(), 1u);

  auto plain = AFXResourceDownloadPriorityHolder::make();
  EXPECT_EQ(plain->priority(), 1u);
  EXPECT_EQ(plain->identifier().size(), 36u);
  EXPECT_NE(plain->identifier(), AFXResourceDownloadPriorityHolder::make()->identifier());
}

TEST(PriorityHolderWithoutNotifier, ChangesLocally) {
  auto holder = AFXResourceDownloadPriorityHolder::initWithPriority(0, url("https://c/a"));
  holder->setPriority(2);
  EXPECT_EQ(holder->priority(), 2u);
}

}  // namespace
