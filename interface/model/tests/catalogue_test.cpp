#include <gtest/gtest.h>

#include "interface/errors/afx_errors.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_app_icon_resource.h"
#include "interface/model/afx_app_search_result.h"
#include "interface/model/afx_localizations_container.h"
#include "interface/model/afx_model_classes.h"
#include "interface/model/afx_screenshot_resource.h"
#include "interface/model/afx_vendor_install_resource.h"
#include "interface/model/tests/record_coding_support.h"

namespace {

using fnd::Value;

std::shared_ptr<fnd::URL> url(const char* text) { return fnd::URL::URLWithString(text); }

std::shared_ptr<fnd::Date> day(double days) { return fnd::Date::dateWithTimeIntervalSince1970(1.6e9 + days * 86400); }

std::shared_ptr<AFXCodedAppVersion> version(const char* identifier, const char* uiVersion,
                                            const char* minOSVersion = nullptr, double released = 0) {
  auto record = AFXCodedAppVersion::make();
  record->setAppID(246);
  record->setIdentifier(identifier);
  record->setUiVersion(uiVersion);
  if (minOSVersion) record->setMinOSVersion(minOSVersion);
  record->setReleaseDate(day(released));
  return record;
}

std::shared_ptr<AFXCodedApp> appWith(std::vector<std::shared_ptr<AFXCodedAppVersion>> versions) {
  auto app = AFXCodedApp::make();
  app->setIdentifier(246);
  app->setBundleIdentifier("com.vendor.App");
  app->setName("Chronofold");
  std::vector<Value> values(versions.begin(), versions.end());
  app->setVersions(fnd::Set::make(std::move(values)));
  return app;
}

std::shared_ptr<AFXCodedApp> fullApp() {
  auto app = appWith({version("100", "2.0", "11.0"), version("101", "2.1", "12.0", 30)});
  app->setOldNames(fnd::Set::make({Value("Timefold")}));
  app->setTagLine("Fold time");
  app->setMarketingDescription("Long");
  app->setCtaDescription("Get it");
  app->setVendorName("Vendor");
  app->setMarketingURL(url("https://vendor.example/app"));
  app->setLastLaunchedAppVersionID("100");
  app->setIsBrandNew(true);
  app->setResources(fnd::Set::make({Value(AFXCodedAppIconResource::resourceWithDownloadURL(url("https://c/i"), *app)),
                                    Value(AFXCodedVendorInstallResource::resourceWithDownloadURL(url("https://c/v"), *app, "101"))}));
  app->setCollectionIDs(fnd::Set::make({Value(3), Value(5)}));
  return app;
}

const std::set<std::string> kAppKeys = {"identifier", "bundleIdentifier", "name", "oldNames", "tagLine",
                                        "marketingDescription", "ctaDescription", "vendorName", "marketingURL",
                                        "lastLaunchedAppVersionID", "isInstanceHidden", "isBrandNew",
                                        "didPresentAsBrandNew"};
const std::set<std::string> kVersionKeys = {"identifier", "uiVersion", "releaseDate", "releaseNotes",
                                            "minOSVersion", "maxOSVersion", "libkorviaVersion",
                                            "screenshotResourcesIDs", "keywords", "size"};
const std::set<std::string> kCollectionKeys = {"identifier", "name", "priority", "localizedName"};

std::shared_ptr<AFXCodedAppVersion> fullVersion() {
  auto record = version("101", "2.1", "12.0");
  record->setReleaseNotes("Fixes");
  record->setMaxOSVersion("15.0");
  record->setLibkorviaVersion("4.2");
  record->setScreenshotResourcesIDs(fnd::Array::make({Value("s1"), Value("s2")}));
  record->setKeywords(fnd::Array::make({Value("time")}));
  record->setSize(1 << 20);
  return record;
}

std::shared_ptr<AFXCodedAppCollection> collection(std::int64_t identifier, const char* name) {
  auto record = AFXCodedAppCollection::make();
  record->setIdentifier(identifier);
  record->setName(name);
  record->setPriority(4);
  record->setLocalizedName("Loc");
  record->setApplicationIDs(fnd::Set::make({Value(246)}));
  return record;
}

std::set<std::string> with(std::set<std::string> keys, const char* extra) {
  keys.insert(extra);
  return keys;
}

class CatalogueRecordCoding : public testing::TestWithParam<record_coding::RecordCase> {};

TEST_P(CatalogueRecordCoding, ArchivesTheTableAndDecodesEqual) { record_coding::checkRecordCoding(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Records, CatalogueRecordCoding,
    testing::Values(
        record_coding::RecordCase{"AFXCodedApp", [] { return Value(fullApp()); }, kAppKeys, {},
                                  {"versions", "resources", "collectionIDs"}},
        record_coding::RecordCase{"AFXCodedAppVersion", [] { return Value(fullVersion()); }, with(kVersionKeys, "appID")},
        record_coding::RecordCase{"AFXCodedAppCollection", [] { return Value(collection(3, "Games")); }, kCollectionKeys,
                                  {}, {"applicationIDs"}},
        record_coding::RecordCase{"AFXAppSearchResult", [] { return Value(AFXAppSearchResult::initWithApp(fullApp(), 0.75f)); },
                                  {"app", "score"}},
        record_coding::RecordCase{"AFXLocalizationsContainer",
                                  [] {
                                    return Value(AFXLocalizationsContainer::initWithKey(
                                        "title", fnd::Dictionary::make({{Value("en"), Value("Hello")}})));
                                  },
                                  {"key", "stringsMap"}}),
    [](const auto& param) { return param.param.name; });

class CatalogueTwins : public testing::TestWithParam<record_coding::TwinCase> {};

TEST_P(CatalogueTwins, BecomeEachOther) { record_coding::checkTwins(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Records, CatalogueTwins,
                         testing::Values(record_coding::TwinCase{"App", [] { return Value(fullApp()); }, "App", kAppKeys},
                                         record_coding::TwinCase{"AppVersion", [] { return Value(fullVersion()); },
                                                                 "AppVersion", kVersionKeys},
                                         record_coding::TwinCase{"AppCollection",
                                                                 [] { return Value(collection(3, "Games")); },
                                                                 "AppCollection", kCollectionKeys}),
                         [](const auto& param) { return param.param.name; });

TEST(AppVersions, IdentifierAndUserFacingVersionMustAgree) {
  auto v100 = version("100", "2.0");
  auto v101 = version("101", "1.9");
  EXPECT_EQ(AFXAppLatestVersion(*appWith({v100, v101})).get(), v100.get());
  EXPECT_EQ(AFXAppLatestVersion(*appWith({v101, v100})).get(), v101.get());
  auto v102 = version("102", "2.1");
  EXPECT_EQ(appWith({v100, v102})->latestVersion().get(), v102.get());
  EXPECT_EQ(appWith({v102, v100})->firstVersion().get(), v100.get());
  EXPECT_TRUE(appWith({})->latestVersion().isNil());
}

TEST(AppVersions, PickTheNewestTheSystemRuns) {
  auto newest = version("200", "3.0", "13.0");
  auto previous = version("199", "2.9", "11.0");
  EXPECT_EQ(AFXPickAppVersion(*appWith({previous, newest}), "12.6.0")->get(), previous.get());
  EXPECT_EQ(AFXPickAppVersion(*appWith({previous, newest}), "13.0.0")->get(), newest.get());

  auto failed = AFXPickAppVersion(*appWith({newest, version("150", "2.5", "13.0")}), "12.6.0");
  ASSERT_FALSE(failed);
  EXPECT_TRUE(failed.error().is(AFXDefaultErrorDomain, AFXErrorCodeIncompatibleAppOSVersion));
  EXPECT_NE(failed.error().description().find("13.0"), std::string::npos) << failed.error().description();

  auto none = AFXPickAppVersion(*appWith({}), "12.0.0");
  ASSERT_FALSE(none);
  EXPECT_TRUE(none.error().is(AFXDefaultErrorDomain, AFXErrorCodeMissingObject));
  EXPECT_FALSE(AFXVerifyVersionSupport(*appWith({}), *version("1", "1.0"), "10.0"));
}

TEST(AppVersions, LatestMajorIsTheReleaseThatOpenedTheLine) {
  auto jan = version("30", "3.0", nullptr, 0);
  auto mar = version("31", "3.1", nullptr, 60);
  auto jun = version("40", "4.0", nullptr, 150);
  auto aug = version("41", "4.1", nullptr, 210);
  EXPECT_EQ(AFXAppLatestMajorVersion(*appWith({aug, jan, jun, mar})).get(), jun.get());
  auto beta = version("39", "4.0-beta", nullptr, 100);
  EXPECT_EQ(appWith({mar, beta})->latestMajorVersion().get(), beta.get());
}

TEST(Apps, DerivedNamesAndEquality) {
  auto app = fullApp();
  EXPECT_EQ(app->teaserBundleIdentifier(), "com.korvia.teaser.com-vendor-App");
  auto icon = app->iconResource();
  ASSERT_TRUE(icon.as<AFXCodedAppIconResource>());
  auto other = AFXCodedApp::make();
  other->setIdentifier(246);
  other->setName("Renamed");
  EXPECT_TRUE(app->isEqual(*other));
  EXPECT_NE(app->description().find("bundleID = com.vendor.App"), std::string::npos);

  auto games = collection(3, "Games");
  auto renamed = collection(3, "Puzzles");
  EXPECT_FALSE(games->isEqual(*renamed));
  EXPECT_EQ(games->hash(), renamed->hash());

  auto empty = AFXLocalizationsContainer::initWithKey("k", nullptr);
  EXPECT_EQ(empty->stringForLanguageCode("en"), std::nullopt);
  ASSERT_TRUE(empty->stringsMap());
  auto english = AFXLocalizationsContainer::initWithKey("k", fnd::Dictionary::make({{Value("en"), Value("Hi")}}));
  EXPECT_EQ(english->stringForLanguageCode("en"), "Hi");
  EXPECT_FALSE(english->isEqual(*empty));
}

TEST(Apps, CodedCopiesOfManagedAppsCarryCodedRelations) {
  auto context = AFXManagedObjectContext::create();
  auto record = fullApp();
  auto managed = std::dynamic_pointer_cast<AFXManagedApp>(makeManagedInstance(*record, *context));
  ASSERT_TRUE(managed);
  for (const auto& value : record->versions()->elements()) {
    managed->addVersion(std::dynamic_pointer_cast<AFXManagedAppVersion>(makeManagedInstance(*value.get(), *context)));
  }
  auto shot = AFXCodedScreenshotResource::resourceWithDownloadURL(url("https://c/s"), *record);
  managed->addResource(std::dynamic_pointer_cast<AFXManagedAppResource>(makeManagedInstance(*shot, *context)));
  for (std::int64_t identifier : {3, 5}) {
    managed->addCollection(std::dynamic_pointer_cast<AFXManagedAppCollection>(
        makeManagedInstance(*collection(identifier, "C"), *context)));
  }

  auto copy = std::dynamic_pointer_cast<AFXCodedApp>(managed->copy());
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->versions()->count(), 2u);
  for (const auto& value : copy->versions()->elements()) {
    ASSERT_TRUE(value.as<AFXCodedAppVersion>());
    EXPECT_EQ(value.as<AFXCodedAppVersion>()->appID(), 246);
  }
  ASSERT_EQ(copy->resources()->count(), 1u);
  auto copiedShot = copy->resources()->elements()[0].as<AFXCodedScreenshotResource>();
  ASSERT_TRUE(copiedShot);
  EXPECT_EQ(copiedShot->appID(), 246);
  EXPECT_TRUE(copy->collectionIDs()->isEqual(*fnd::Set::make({Value(3), Value(5)})));
  EXPECT_TRUE(managed->collections()[0]->applicationIDs()->isEqual(*fnd::Set::make({Value(246)})));
  EXPECT_EQ(copy->latestVersion().as<AFXCodedAppVersion>()->identifier(), "101");
}

TEST(ModelClasses, AreFoundByName) {
  AFXRegisterModelClasses();
  for (const char* name :
       {"AFXCodedApp", "AFXManagedApp", "AFXCodedAppVersion", "AFXManagedAppVersion", "AFXCodedAppCollection",
        "AFXManagedAppCollection", "AFXAppSearchResult", "AFXLocalizationsContainer", "AFXResourceMissingStatus",
        "AFXResourceExistsStatus", "AFXResourceDownloadPriorityHolder", "AFXCodedAppIconResource",
        "AFXManagedAppIconResource", "AFXCodedScreenshotResource", "AFXManagedScreenshotResource",
        "AFXCodedTeaserInstallResource", "AFXManagedTeaserInstallResource", "AFXCodedTeaserUpdateResource",
        "AFXManagedTeaserUpdateResource", "AFXCodedVendorInstallResource", "AFXManagedVendorInstallResource",
        "AFXCodedVendorUpdateResource", "AFXManagedVendorUpdateResource", "AFXCodedInternalUpdateResource",
        "AFXManagedInternalUpdateResource"}) {
    EXPECT_NE(fnd::Class::named(name), nullptr) << name;
  }
}

}  // namespace
