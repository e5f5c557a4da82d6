#include <gtest/gtest.h>

#include <sys/stat.h>

#include "foundation/crypto.h"
#include "foundation/json_serialization.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/model/tests/model_sandbox.h"
#include "interface/model/tests/record_coding_support.h"
#include "tools/qv_json_parser.h"

namespace {

using fnd::Value;

constexpr const char* kStagingManifest = "https://staging.korvia.com/endpoints.json";
// Worked out apart from the code under test (RFC 4648 Base32, MD5).
constexpr const char* kStagingBase32 = "NB2HI4DTHIXS643UMFTWS3THFZVW64TWNFQS4Y3PNUXWK3TEOBXWS3TUOMXGU43PNY======";
constexpr const char* kStagingMD5 = "9546b324be7c7192df5257e801ac676f";

std::shared_ptr<AFXEnvironmentID> stagingID() {
  return AFXEnvironmentID::environmentIDWithManifestURL(fnd::URL::URLWithString(kStagingManifest));
}

std::shared_ptr<AFXEndpointsManifest> sampleManifest() {
  auto manifest = AFXEndpointsManifest::make();
  manifest->setName("Staging");
  manifest->setOriginURL(fnd::URL::URLWithString(kStagingManifest));
  manifest->setEndpointForCustomerAPI(
      AFXEndpoint::initWithURL(fnd::URL::URLWithString("https://customer.korvia.com/"), AFXEndpointTypeSelfSufficient));
  manifest->setEndpointForStoreAPI(AFXEndpoint::initWithURL(fnd::URL::URLWithString("https://store.korvia.com/"), 0));
  return manifest;
}

std::shared_ptr<AFXEnvironment> sampleEnvironment() {
  auto environment = AFXEnvironment::initWithIdentifier(stagingID(), sampleManifest());
  environment->setURLForAppsDirectory(fnd::URL::fileURLWithPath("/Applications/Korvia", true));
  environment->setURLForResourcesDirectory(fnd::URL::fileURLWithPath("/tmp/Resources", true));
  return environment;
}

std::shared_ptr<AFXCustomer> sampleCustomer() {
  return AFXCustomer::initWithIdentifier(
      AFXCustomerID::initWithAccountName("ada@example.com", stagingID()), "b-17", "token-1",
      AFXCustomerSubscriptionStatePaid, fnd::Date::dateWithTimeIntervalSince1970(2000000000), nullptr, nullptr,
      AFXMachineInfo::initWithHardwareUUID("UUID", "aa:bb:cc:dd:ee:ff"), true);
}

class EnvironmentRecordCoding : public testing::TestWithParam<record_coding::RecordCase> {};

TEST_P(EnvironmentRecordCoding, ArchivesTheTableAndDecodesEqual) { record_coding::checkRecordCoding(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Records, EnvironmentRecordCoding,
    testing::Values(
        record_coding::RecordCase{"AFXDefaultEnvironmentID", [] { return Value(AFXEnvironmentID::defaultEnvironmentID()); }, {}},
        record_coding::RecordCase{"AFXManifestURLBasedEnvironmentID", [] { return Value(stagingID()); }, {"manifestURL"}},
        record_coding::RecordCase{"AFXEndpoint",
                                  [] { return Value(AFXEndpoint::initWithURL(fnd::URL::URLWithString("https://a.b/"), 1)); },
                                  {"type", "URL"}},
        record_coding::RecordCase{"AFXEndpointsManifest", [] { return Value(sampleManifest()); },
                                  {"name", "originURL", "endpointForCustomerAPI", "endpointForStoreAPI",
                                   "endpointForUsageReportingAPI", "endpointForRecommendationsAPI"}},
        record_coding::RecordCase{"AFXEnvironment", [] { return Value(sampleEnvironment()); },
                                  {"identifier", "endpointsManifest", "URLForAppsDirectory", "URLForPersistentDirectory",
                                   "URLForResourcesDirectory", "URLForTeasersDirectory"}}),
    [](const auto& param) { return param.param.name; });

TEST(EnvironmentID, QueriesOfBothKinds) {
  auto defaultID = AFXEnvironmentID::defaultEnvironmentID();
  EXPECT_EQ(defaultID->userDefaultsValue(), "default");
  EXPECT_EQ(defaultID->directoryName(), "Default");
  EXPECT_EQ(defaultID->URLQueryValue(), std::nullopt);
  EXPECT_EQ(defaultID->statsdID(), "production");
  EXPECT_TRUE(defaultID->isAnalyticsTrackingEnabled());
  EXPECT_EQ(defaultID->description(), "Default");
  EXPECT_EQ(defaultID->manifestURL()->path(), "/endpoints.json");
  EXPECT_TRUE(defaultID->isEqual(*AFXEnvironmentID::defaultEnvironmentID()));

  auto staging = stagingID();
  EXPECT_FALSE(staging->isDefault());
  EXPECT_EQ(staging->userDefaultsValue(), kStagingManifest);
  EXPECT_EQ(staging->URLQueryValue(), kStagingBase32);
  EXPECT_EQ(staging->directoryName(), kStagingMD5);
  EXPECT_EQ(staging->statsdID(), std::nullopt);
  EXPECT_FALSE(staging->isAnalyticsTrackingEnabled());
  EXPECT_EQ(staging->description(), std::string("Manifest URL ") + kStagingManifest);
  EXPECT_TRUE(staging->isEqual(*stagingID()));
  EXPECT_EQ(staging->hash(), stagingID()->hash());
  EXPECT_FALSE(staging->isEqual(*defaultID));
  EXPECT_FALSE(defaultID->isEqual(*staging));
}

TEST(EnvironmentID, TextsFallBackToTheDefault) {
  for (const std::optional<std::string>& text :
       {std::optional<std::string>(), std::optional<std::string>("default"), std::optional<std::string>("not a url"),
        std::optional<std::string>("staging")}) {
    EXPECT_TRUE(AFXEnvironmentID::environmentWithURLString(text)->isDefault()) << text.value_or("(absent)");
    EXPECT_TRUE(AFXEnvironmentID::environmentWithUserDefaultsValue(text)->isDefault());
  }
  auto fromText = AFXEnvironmentID::environmentWithURLString(kStagingManifest);
  EXPECT_TRUE(fromText->isEqual(*stagingID()));

  EXPECT_TRUE(AFXEnvironmentID::environmentWithURLQueryValue(kStagingBase32)->isEqual(*stagingID()));
  EXPECT_TRUE(AFXEnvironmentID::environmentWithURLQueryValue(std::nullopt)->isDefault());
  for (const char* broken : {"NB2HI4DT", "nb2hi4dt", "MZXW6YTBOI=====", "MZXW6YTB=I======", "!!!!!!!!"}) {
    EXPECT_TRUE(AFXEnvironmentID::environmentWithURLQueryValue(broken)->isDefault()) << broken;
  }
}

TEST(EnvironmentID, Base32FollowsTheStandardVectors) {
  using afx_environment_id_detail::base32Decode;
  using afx_environment_id_detail::base32Encode;
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "MY======"},
                                                         {"fo", "MZXQ===="},
                                                         {"foo", "MZXW6==="},
                                                         {"foob", "MZXW6YQ="},
                                                         {"fooba", "MZXW6YTB"},
                                                         {"foobar", "MZXW6YTBOI======"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base32Encode(plain), encoded);
    EXPECT_EQ(base32Decode(encoded), plain);
  }
  EXPECT_EQ(base32Decode("MZ======"), std::nullopt);  // bits left over
}

fnd::Value json(const char* text) {
  auto value = fnd::JSONSerialization::JSONObjectWithData(fnd::crypto::bytesOf(text));
  EXPECT_TRUE(value) << text;
  return value ? *value : fnd::Value();
}

std::string manifestJSON(const std::string& endpoints, const char* name = "\"name\": \"Staging\"") {
  return std::string(R"({"data": {"attributes": {)") + name + R"(}, "relationships": {"endpoints": [)" + endpoints +
         "]}}}";
}

std::string endpointJSON(const char* kind, const char* url, const char* selfSufficient = "true") {
  std::string attributes;
  if (url) attributes += std::string(R"("base_url": ")") + url + "\"";
  if (selfSufficient) attributes += std::string(attributes.empty() ? "" : ", ") + R"("self_sufficient": )" + selfSufficient;
  std::string data = kind ? std::string(R"("id": ")") + kind + "\", " : std::string();
  return R"({"data": {)" + data + R"("attributes": {)" + attributes + "}}}";
}

TEST(EndpointsManifest, ReadsEveryKnownKind) {
  auto manifest = AFXEndpointsManifest::make();
  const auto text = manifestJSON(endpointJSON("customer", "https://c.korvia.com/") + "," +
                                 endpointJSON("store", "https://s.korvia.com/", "false") + "," +
                                 endpointJSON("reporting", "https://r.korvia.com/") + "," +
                                 endpointJSON("recommendations", "https://x.korvia.com/") + "," +
                                 endpointJSON("analytics", "https://a.korvia.com/") + "," +
                                 endpointJSON("store", "https://s2.korvia.com/", "false"));
  auto result = manifest->setupWithJSON(json(text.c_str()).as<fnd::Dictionary>());
  ASSERT_TRUE(result) << result.error().description();
  EXPECT_EQ(manifest->name(), "Staging");
  EXPECT_EQ(manifest->endpointForCustomerAPI()->URL()->absoluteString(), "https://c.korvia.com/");
  EXPECT_TRUE(manifest->endpointForCustomerAPI()->isSelfSufficient());
  // The later document of a kind wins.
  EXPECT_EQ(manifest->endpointForStoreAPI()->URL()->absoluteString(), "https://s2.korvia.com/");
  EXPECT_TRUE(manifest->endpointForStoreAPI()->isNeedy());
  EXPECT_EQ(manifest->endpointForUsageReportingAPI()->URL()->absoluteString(), "https://r.korvia.com/");
  EXPECT_EQ(manifest->endpointForRecommendationsAPI()->URL()->absoluteString(), "https://x.korvia.com/");
}

TEST(EndpointsManifest, EachDefectGivesItsError) {
  struct Defect {
    const char* what;
    std::string json;
    std::string_view domain;
    std::int64_t code;
    bool customerStored;
  };
  const std::string first = endpointJSON("customer", "https://c.korvia.com/");
  const Defect defects[] = {
      {"second endpoint without base_url", manifestJSON(first + "," + endpointJSON("store", nullptr)),
       AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest, true},
      {"endpoint without data.id", manifestJSON(first + "," + endpointJSON(nullptr, "https://s.korvia.com/")),
       AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest, true},
      {"base_url that is no URL", manifestJSON(first + "," + endpointJSON("store", "not a url")),
       AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest, true},
      {"endpoint without self_sufficient", manifestJSON(endpointJSON("customer", "https://c.korvia.com/", nullptr)),
       QVJSONParserErrorDomain, QVJSONParserMissingValueErrorCode, true},
      {"manifest without name", manifestJSON(first, "\"title\": \"x\""), QVJSONParserErrorDomain,
       QVJSONParserMissingValueErrorCode, false},
      {"endpoints that are no list", R"({"data": {"attributes": {"name": "n"}, "relationships": {"endpoints": 3}}})",
       QVJSONParserErrorDomain, QVJSONParserIncorrectTypeErrorCode, false},
      {"endpoint that is no object", manifestJSON(first + ", 7"), AFXDefaultErrorDomain,
       AFXErrorCodeCorruptedEndpointsManifest, true},
  };
  for (const Defect& defect : defects) {
    SCOPED_TRACE(defect.what);
    auto manifest = AFXEndpointsManifest::make();
    auto result = manifest->setupWithJSON(json(defect.json.c_str()).as<fnd::Dictionary>());
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(defect.domain, defect.code)) << result.error().description();
    EXPECT_EQ(manifest->endpointForCustomerAPI() != nullptr, defect.customerStored);
  }
  // An endpoint without "self_sufficient" is still stored, as a needy one.
  auto manifest = AFXEndpointsManifest::make();
  (void)manifest->setupWithJSON(
      json(manifestJSON(endpointJSON("customer", "https://c.korvia.com/", nullptr)).c_str()).as<fnd::Dictionary>());
  EXPECT_TRUE(manifest->endpointForCustomerAPI()->isNeedy());
}

TEST(Endpoint, EqualityAndHashFollowTheURL) {
  auto a = AFXEndpoint::initWithURL(fnd::URL::URLWithString("https://a.b/"), 0);
  auto b = AFXEndpoint::initWithURL(fnd::URL::URLWithString("https://a.b/"), 1);
  EXPECT_TRUE(a->isEqual(*b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_TRUE(AFXEndpoint::initWithURL(nullptr, 0)->isEqual(*AFXEndpoint::initWithURL(nullptr, 1)));
  EXPECT_FALSE(a->isEqual(*AFXEndpoint::initWithURL(nullptr, 0)));
}

bool isDirectory(const std::string& path) {
  bool directory = false;
  return fnd::FileManager::defaultManager().fileExistsAtPath(path, &directory) && directory;
}

TEST(EnvironmentDirectories, AppsFolderFallsBackToTheUsersApplications) {
  ModelSandbox sandbox;
  EXPECT_EQ(afx_environment_detail::appsDirectoryURL()->path(), sandbox.systemApplications() + "/Korvia");

  // Nothing can be written where /Applications should be.
  ASSERT_TRUE(fnd::FileManager::defaultManager().removeItemAtPath(sandbox.systemApplications()));
  ASSERT_TRUE(fnd::FileManager::defaultManager().createFileAtPath(sandbox.systemApplications(), {}));
  EXPECT_EQ(afx_environment_detail::appsDirectoryURL()->path(), sandbox.userApplications() + "/Korvia");
  EXPECT_TRUE(isDirectory(sandbox.userApplications()));

  EXPECT_EQ(QVAcceptableURLDomainMask(QVLocalDomainMask), nullptr);
  EXPECT_EQ(QVAcceptableURLDomainMask(QVUserDomainMask | QVLocalDomainMask)->path(), sandbox.userApplications());
}

TEST(EnvironmentDirectories, TeasersFolderReplacesWhateverStandsInItsWay) {
  ModelSandbox sandbox;
  const std::string teasers = sandbox.root() + "/system/Users/Shared/Korvia/Apps";
  ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(sandbox.root() + "/system/Users/Shared/Korvia", true));
  ASSERT_TRUE(fnd::FileManager::defaultManager().createFileAtPath(teasers, fnd::crypto::bytesOf("in the way")));

  EXPECT_EQ(afx_environment_detail::ensureTeasersDirectoryURL()->path(), teasers);
  ASSERT_TRUE(isDirectory(teasers));
  EXPECT_EQ(fnd::FileManager::defaultManager().attributesOfItemAtPath(teasers)->posixPermissions, 0777);

  ASSERT_TRUE(fnd::FileManager::defaultManager().setAttributes({.posixPermissions = 0700}, teasers));
  (void)afx_environment_detail::ensureTeasersDirectoryURL();
  EXPECT_EQ(fnd::FileManager::defaultManager().attributesOfItemAtPath(teasers)->posixPermissions, 0777);
}

TEST(EnvironmentDirectories, EachDeploymentHasItsOwnFolders) {
  ModelSandbox sandbox;
  auto environment = sampleManifest()->makeEnvironmentWithID(stagingID());
  EXPECT_TRUE(environment->identifier()->isEqual(*stagingID()));
  EXPECT_EQ(environment->name(), "Staging");
  EXPECT_EQ(environment->displayName(), "Staging (staging.korvia.com)");
  const std::string base = sandbox.applicationSupport() + "/Korvia/" + kStagingMD5;
  EXPECT_EQ(environment->URLForPersistentDirectory()->path(), base + "/Databases");
  EXPECT_EQ(environment->URLForResourcesDirectory()->path(), base + "/Resources");
  EXPECT_TRUE(isDirectory(base + "/Databases"));
  EXPECT_TRUE(isDirectory(base + "/Resources"));
  EXPECT_TRUE(environment->URLForAppsDirectory());
  EXPECT_TRUE(environment->URLForTeasersDirectory());

  auto production = sampleManifest()->makeEnvironmentWithID(AFXEnvironmentID::defaultEnvironmentID());
  EXPECT_EQ(production->URLForPersistentDirectory()->path(), sandbox.applicationSupport() + "/Korvia/Default/Databases");
  EXPECT_EQ(production->displayName(), std::nullopt);
  EXPECT_FALSE(production->isEqual(*environment));
}

TEST(EnvironmentSerialization, RoundTripsAndRejectsEverythingElse) {
  auto environment = sampleEnvironment();
  const auto data = AFXEnvironmentGetSecureSerialization(*environment);
  auto decoded = AFXEnvironmentMakeFromSecureSerialization(data);
  ASSERT_TRUE(decoded);
  std::string difference;
  EXPECT_TRUE(record_coding::sameProperties(Value(environment), Value(decoded), &difference, "environment")) << difference;
  // Not the plain archive.
  EXPECT_NE(data, record_coding::archive(Value(environment)));

  // Without a MAC a flipped byte inside the text may still decode (to
  // another environment); damage that breaks the padding or the archive
  // must give nothing.
  auto tampered = data;
  tampered.back() ^= 0x40;
  EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization(tampered), nullptr);
  tampered = data;
  tampered[0] ^= 0x01;  // garbles the archive's header
  EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization(tampered), nullptr);
  for (std::size_t i = 0; i < data.size(); i += 7) {
    tampered = data;
    tampered[i] ^= 0xff;
    auto result = AFXEnvironmentMakeFromSecureSerialization(tampered);  // never a crash
    if (result) {
      EXPECT_TRUE(result->isKindOfClass(AFXEnvironment::staticClass()));
    }
  }
  EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization(std::vector<std::uint8_t>(data.begin(), data.end() - 3)), nullptr);
  EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization({}), nullptr);

  // A customer's serialization uses another key and another class.
  const auto customer = AFXCustomerGetSecureSerialization(*sampleCustomer());
  EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization(customer), nullptr);
  EXPECT_EQ(AFXCustomerMakeFromSecureSerialization(data), nullptr);

  for (std::size_t length : {16u, 64u, 1024u}) {
    for (int round = 0; round < 50; ++round) {
      auto noise = fnd::crypto::randomBytes(length);
      ASSERT_TRUE(noise);
      EXPECT_EQ(AFXEnvironmentMakeFromSecureSerialization(*noise), nullptr);
      EXPECT_EQ(AFXCustomerMakeFromSecureSerialization(*noise), nullptr);
    }
  }
}

}  // namespace
