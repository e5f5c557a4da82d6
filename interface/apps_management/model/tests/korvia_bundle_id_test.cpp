#include <gtest/gtest.h>

#include "interface/apps_management/model/afx_app_version_find.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/apps_management/model/afx_korvia_bundle_id.h"
#include "interface/model/tests/record_coding_support.h"

namespace {

using fnd::Value;

struct Extraction {
  const char* text;
  bool valid;
  AFXKorviaBundleIDKind kind;
  std::optional<std::string> base;
};

TEST(KorviaBundleID, ReadsTheScheme) {
  const Extraction cases[] = {
      {"com.vendor.App-korvia", true, 1, "com.vendor.App-korvia"},
      {"com.vendor.app-KORVIA", true, 1, "com.vendor.app-KORVIA"},
      {"ABCDE12345.com.vendor.App-korvia.agent", true, 2, "com.vendor.App-korvia"},
      {"com.vendor.App-korviaExtra", true, 2, "com.vendor.App-korvia"},
      // Only the last marker counts.
      {"com.a-korvia.b-korvia.helper", true, 2, "com.a-korvia.b-korvia"},
      // Nine characters are no team prefix; a dot inside neither.
      {"ABCDE1234.com.vendor.App-korvia.x", true, 2, "ABCDE1234.com.vendor.App-korvia"},
      {"ABCDE.2345.com.vendor.App-korvia.x", true, 2, "ABCDE.2345.com.vendor.App-korvia"},
      {"com.korvia.teaser.com-vendor-App-korvia", true, 3, std::nullopt},
      {"com.vendor.App", false, 0, std::nullopt},
      {"com.korvia.teaser.com-vendor-App", false, 0, std::nullopt},
      {"", false, 0, std::nullopt},
      {"-korvi", false, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<std::string> base = "untouched";
    AFXKorviaBundleIDKind kind = -1;
    ASSERT_EQ(AFXExtractKorviaBundleID(c.text, &base, &kind), c.valid);
    auto identifier = AFXKorviaBundleID::initWithBundleID(c.text);
    if (!c.valid) {
      EXPECT_EQ(base, "untouched");
      EXPECT_EQ(identifier, nullptr);
      continue;
    }
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(base, c.base);
    ASSERT_TRUE(identifier);
    EXPECT_EQ(identifier->kind(), c.kind);
    EXPECT_EQ(identifier->baseBundleID(), c.base);
    EXPECT_EQ(identifier->derivedBundleID().has_value(), c.kind == AFXKorviaBundleIDKindDerived);
    EXPECT_EQ(identifier->teaserBundleID().has_value(), c.kind == AFXKorviaBundleIDKindTeaser);
  }
  EXPECT_TRUE(AFXExtractKorviaBundleID("x-korvia", nullptr, nullptr));
}

TEST(KorviaBundleID, ArchivesOnlyTheTextAndRefusesForeignOnes) {
  auto identifier = AFXKorviaBundleID::initWithBundleID("ABCDE12345.com.vendor.App-korvia.agent");
  ASSERT_TRUE(identifier);
  EXPECT_EQ(identifier->copy(), identifier);
  const auto data = record_coding::archive(Value(identifier));
  std::set<std::string> keys;
  const auto entry = record_coding::rootEntry(data);
  for (const auto& [key, value] : entry->entries()) keys.insert(*key.stringValue());
  EXPECT_EQ(keys, (std::set<std::string>{"$class", "bundleID"}));

  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXKorviaBundleID::staticClass(), data);
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto copy = decoded->as<AFXKorviaBundleID>();
  EXPECT_TRUE(copy->isEqual(*identifier));
  EXPECT_EQ(copy->hash(), identifier->hash());
  EXPECT_EQ(copy->baseBundleID(), "com.vendor.App-korvia");
  EXPECT_EQ(copy->kind(), AFXKorviaBundleIDKindDerived);

  for (const Value& bad : {Value("com.vendor.App"), Value(7), Value()}) {
    auto refused = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXKorviaBundleID::staticClass(),
                                                                record_coding::withKey(data, "bundleID", bad));
    ASSERT_FALSE(refused) << bad.description();
    EXPECT_TRUE(refused.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));
  }
}

TEST(ExecutableInfo, ArchivesItsTable) {
  record_coding::checkRecordCoding(
      {"AFXExecutableInfo",
       [] { return Value(AFXExecutableInfo::initWithPath("/bin/sh", fnd::Array::make({Value("-c"), Value("true")}))); },
       {"path", "arguments"}});
  EXPECT_EQ(AFXExecutableInfo::initWithPath("/bin/true", nullptr)->arguments()->count(), 0u);
}

TEST(AppVersionFind, MatchesTheUserFacingVersion) {
  auto app = AFXCodedApp::make();
  auto make = [](const char* identifier, const char* uiVersion) {
    auto version = AFXCodedAppVersion::make();
    version->setIdentifier(identifier);
    version->setUiVersion(uiVersion);
    return version;
  };
  auto first = make("100", "2.0");
  app->setVersions(fnd::Set::make({Value(first), Value(make("101", "2.1"))}));
  EXPECT_EQ(AFXAppVersionFind(*app, "2.0").get(), first.get());
  EXPECT_TRUE(AFXAppVersionFind(*app, "2").isNil());
  EXPECT_TRUE(AFXAppVersionFind(*AFXCodedApp::make(), "2.0").isNil());
}

}  // namespace
