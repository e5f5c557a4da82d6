#include "foundation/code_signing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/bundle.h"
#include "foundation/clock.h"
#include "foundation/code_requirement.h"
#include "foundation/data.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/signing_identity.h"
#include "foundation/string.h"

namespace fnd {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

constexpr char kTeam[] = "K7QW2ZP9XD";
constexpr char kTeamRequirement[] = "anchor apple generic and certificate leaf[subject.OU] = \"K7QW2ZP9XD\"";

Clock::WallTimePoint daysFromNow(int days) {
  return Clock::system().wallNow() + std::chrono::hours(24 * days);
}

SigningIdentity issue(std::vector<std::pair<std::string, std::string>> subject, bool authority,
                      const SigningIdentity* issuer, int fromDays = -1, int toDays = 365) {
  CertificateRequest request{std::move(subject), authority, daysFromNow(fromDays), daysFromNow(toDays)};
  auto identity = SigningIdentity::issue(request, issuer);
  EXPECT_TRUE(identity.hasValue());
  return std::move(identity).value();
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class CodeSigningTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new SigningIdentity(issue({{"CN", "Korvia Test Root"}}, true, nullptr, -1000, 3650));
    team_ = new SigningIdentity(issue({{"CN", "Korvia Test Team"}, {"OU", kTeam}}, true, root_));
    leaf_ = new SigningIdentity(
        issue({{"CN", "Korvia Test Developer (K7QW2ZP9XD)"}, {"OU", kTeam}, {"O", "Korvia"}}, false, team_));
  }
  static void TearDownTestSuite() {
    delete leaf_;
    delete team_;
    delete root_;
  }

  void SetUp() override {
    char pattern[] = "/tmp/korvia-codesign-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    anchorPath_ = dir_ + "/anchor.pem";
    writeText(anchorPath_, root_->certificatePEM());
    ::setenv(std::string(kCodeSignatureAnchorEnvironment).c_str(), anchorPath_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv(std::string(kCodeSignatureAnchorEnvironment).c_str());
    fs::remove_all(dir_);
  }

  // A small app: information, executable, resources with a link and a folder.
  std::string makeBundle(const std::string& name = "Chronofold") {
    const std::string app = dir_ + "/" + name + ".app";
    fs::create_directories(app + "/Contents/MacOS");
    fs::create_directories(app + "/Contents/Resources/en.lproj");
    auto info = Dictionary::make({{Value("CFBundleIdentifier"), Value("com.korvia.test." + name)},
                                  {Value("CFBundleExecutable"), Value(name)}});
    auto bytes = *PropertyListSerialization::dataWithPropertyList(Value(info), PropertyListFormat::xml);
    writeText(app + "/Contents/Info.plist", std::string(bytes.begin(), bytes.end()));
    writeText(app + "/Contents/MacOS/" + name, "\x7f" "ELF pretend executable");
    writeText(app + "/Contents/Resources/en.lproj/Localizable.strings", "\"a\" = \"b\";");
    writeText(app + "/Contents/Resources/icon.svg", "<svg/>");
    fs::create_symlink("icon.svg", app + "/Contents/Resources/current-icon.svg");
    return app;
  }

  static Expected<void> sign(const std::string& app, const SigningIdentity& identity,
                             std::shared_ptr<Dictionary> entitlements = nullptr) {
    return CodeSigning::signBundle(app, identity, entitlements);
  }

  static Expected<void> check(const std::string& app, const char* requirementText = nullptr) {
    auto code = StaticCode::createWithPath(*URL::fileURLWithPath(app, true));
    if (!code) return code.error();
    std::shared_ptr<const Requirement> requirement;
    if (requirementText) {
      auto compiled = Requirement::createWithString(requirementText);
      if (!compiled) return compiled.error();
      requirement = *compiled;
    }
    return CodeSigning::checkValidity(**code, kSecCSCheckAllArchitectures, requirement.get());
  }

  static std::int64_t statusOf(const Expected<void>& result) {
    if (result) return 0;
    EXPECT_EQ(result.error().domain(), NSOSStatusErrorDomain);
    return result.error().code();
  }

  static inline SigningIdentity* root_ = nullptr;
  static inline SigningIdentity* team_ = nullptr;
  static inline SigningIdentity* leaf_ = nullptr;
  std::string dir_;
  std::string anchorPath_;
};

TEST_F(CodeSigningTest, SignedBundleVerifiesAndDescribesItsSignature) {
  const std::string app = makeBundle();
  auto entitlements = Dictionary::make({{Value("com.apple.security.app-sandbox"), Value(true)},
                                        {Value("com.korvia.group"), Value("shared")}});
  ASSERT_TRUE(sign(app, *leaf_, entitlements));

  EXPECT_EQ(statusOf(check(app)), 0);
  EXPECT_EQ(statusOf(check(app, kTeamRequirement)), 0);
  EXPECT_EQ(statusOf(check(app, "identifier \"com.korvia.test.Chronofold\" and anchor trusted")), 0);
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.apple.security.app-sandbox\"] = true and "
                                "entitlement[\"com.korvia.group\"] = \"shared\"")),
            0);

  auto bundle = Bundle::bundleWithPath(app);
  ASSERT_TRUE(bundle);
  auto code = StaticCode::createWithPath(*bundle->bundleURL());
  ASSERT_TRUE(code);
  auto info = CodeSigning::copySigningInformation(**code);
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)->objectForKey(kSecCodeInfoIdentifier).stringValue(), bundle->bundleIdentifier());
  EXPECT_EQ((*info)->objectForKey(kSecCodeInfoTeamIdentifier).stringValue(), kTeam);
  EXPECT_EQ((*info)->objectForKey(kSecCodeInfoMainExecutable).as<URL>()->path(), bundle->executablePath());
  EXPECT_EQ((*info)->objectForKey(kSecCodeInfoEntitlementsDict), Value(entitlements));
  auto certificates = (*info)->objectForKey(kSecCodeInfoCertificates).as<Array>();
  ASSERT_TRUE(certificates);
  ASSERT_EQ(certificates->count(), 3u);
  EXPECT_EQ(certificates->objectAtIndex(0).as<Data>()->bytes(), leaf_->certificateDER());

  // A changed bundle signed again is valid again.
  writeText(app + "/Contents/Resources/icon.svg", "<svg version=\"2\"/>");
  EXPECT_EQ(statusOf(check(app)), errSecCSBadResource);
  ASSERT_TRUE(sign(app, *leaf_));
  EXPECT_EQ(statusOf(check(app)), 0);
}

TEST_F(CodeSigningTest, UnsignedAndMissingCode) {
  const std::string app = makeBundle();
  EXPECT_EQ(statusOf(check(app)), errSecCSUnsigned);
  EXPECT_EQ(statusOf(check(dir_ + "/Nowhere.app")), errSecCSStaticCodeNotFound);
  writeText(dir_ + "/plain-file", "x");
  EXPECT_EQ(statusOf(check(dir_ + "/plain-file")), errSecCSBadObjectFormat);

  auto code = StaticCode::createWithPath(*URL::fileURLWithPath(app, true));
  ASSERT_TRUE(code);
  auto info = CodeSigning::copySigningInformation(**code);
  ASSERT_TRUE(info);
  EXPECT_TRUE((*info)->objectForKey(kSecCodeInfoIdentifier).isNil());
  EXPECT_FALSE((*info)->objectForKey(kSecCodeInfoMainExecutable).isNil());

  // The main executable the information names must be there to be sealed.
  fs::remove(app + "/Contents/MacOS/Chronofold");
  EXPECT_EQ(statusOf(sign(app, *leaf_)), errSecCSBadResource);
}

// Two leaves like the fixture's (same issuer and subject) whose certificates
// are just as long, so one can be put in the other's place in a signature
// byte for byte. Certificate lengths cluster in a few values, so two of one
// length come within a handful of issues; waiting for one to match a given
// length instead would fail whenever that length is a rare one.
std::pair<SigningIdentity, SigningIdentity> twoLeavesOfOneLength(const SigningIdentity& issuer) {
  std::map<std::size_t, SigningIdentity> byLength;
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto leaf = issue({{"CN", "Korvia Test Developer (K7QW2ZP9XD)"}, {"OU", kTeam}, {"O", "Korvia"}}, false, &issuer);
    const std::size_t length = leaf.certificateDER().size();
    auto found = byLength.find(length);
    if (found != byLength.end()) return {std::move(found->second), std::move(leaf)};
    byLength.emplace(length, std::move(leaf));
  }
  ADD_FAILURE() << "no two certificates of the same length";
  auto leaf = issue({{"CN", "Korvia Test Developer (K7QW2ZP9XD)"}, {"OU", kTeam}, {"O", "Korvia"}}, false, &issuer);
  return {leaf, leaf};
}

TEST_F(CodeSigningTest, EveryKindOfTamperingIsCaughtWithItsStatus) {
  struct Case {
    const char* name;
    std::function<void(const std::string& app)> tamper;
    std::int64_t status;
    std::string_view userInfoKey;
  };
  const std::string resources = "/Contents/Resources/";
  const std::vector<Case> cases = {
      {"changed file", [&](const std::string& app) { writeText(app + resources + "icon.svg", "<svg x/>"); },
       errSecCSBadResource, kSecCFErrorResourceAltered},
      {"changed executable",
       [&](const std::string& app) { writeText(app + "/Contents/MacOS/Chronofold", "\x7f" "ELF patched"); },
       errSecCSBadResource, kSecCFErrorResourceAltered},
      {"added file", [&](const std::string& app) { writeText(app + resources + "payload.dylib", "x"); },
       errSecCSBadResource, kSecCFErrorResourceAdded},
      {"removed file", [&](const std::string& app) { fs::remove(app + resources + "en.lproj/Localizable.strings"); },
       errSecCSBadResource, kSecCFErrorResourceMissing},
      {"link pointing elsewhere",
       [&](const std::string& app) {
         fs::remove(app + resources + "current-icon.svg");
         fs::create_symlink("/etc/passwd", app + resources + "current-icon.svg");
       },
       errSecCSBadResource, kSecCFErrorResourceAltered},
      {"file replaced by a link to the same bytes",
       [&](const std::string& app) {
         writeText(dir_ + "/outside.svg", "<svg/>");
         fs::remove(app + resources + "icon.svg");
         fs::create_symlink(dir_ + "/outside.svg", app + resources + "icon.svg");
       },
       errSecCSBadResource, kSecCFErrorResourceAltered},
      {"changed manifest",
       [&](const std::string& app) {
         const std::string path = app + "/Contents/_CodeSignature/CodeResources";
         std::string manifest = readText(path);
         manifest.replace(manifest.find("com.korvia.test"), 15, "com.korvia.evil");
         writeText(path, manifest);
       },
       errSecCSSignatureFailed, NSDebugDescriptionErrorKey},
      {"damaged signature",
       [&](const std::string& app) { writeText(app + "/Contents/_CodeSignature/CodeSignature", "0\x82garbage"); },
       errSecCSSignatureFailed, NSDebugDescriptionErrorKey},
      {"swapped certificate",
       [&](const std::string& app) {
         // Signed by one of the pair, then carrying the other's certificate.
         const auto [signer, lookalike] = twoLeavesOfOneLength(*team_);
         ASSERT_TRUE(sign(app, signer));
         const std::string path = app + "/Contents/_CodeSignature/CodeSignature";
         std::string signature = readText(path);
         const auto original = signer.certificateDER();
         const auto found = signature.find(std::string(original.begin(), original.end()));
         ASSERT_NE(found, std::string::npos);
         const auto replacement = lookalike.certificateDER();
         ASSERT_EQ(replacement.size(), original.size());
         signature.replace(found, replacement.size(), std::string(replacement.begin(), replacement.end()));
         writeText(path, signature);
       },
       errSecCSSignatureFailed, NSDebugDescriptionErrorKey},
      {"removed signature", [&](const std::string& app) { fs::remove(app + "/Contents/_CodeSignature/CodeSignature"); },
       errSecCSUnsigned, NSDebugDescriptionErrorKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ + "/Chronofold.app");
    const std::string app = makeBundle();
    ASSERT_TRUE(sign(app, *leaf_));
    ASSERT_EQ(statusOf(check(app)), 0);
    c.tamper(app);
    auto result = check(app, kTeamRequirement);
    ASSERT_EQ(statusOf(result), c.status);
    EXPECT_FALSE(result.error().userInfoValue(c.userInfoKey).isNil());
  }
}

TEST_F(CodeSigningTest, ResourceErrorsNameTheFiles) {
  const std::string app = makeBundle();
  ASSERT_TRUE(sign(app, *leaf_));
  writeText(app + "/Contents/Resources/extra", "x");
  fs::remove(app + "/Contents/Resources/icon.svg");
  auto result = check(app);
  ASSERT_EQ(statusOf(result), errSecCSBadResource);
  auto added = result.error().userInfoValue(kSecCFErrorResourceAdded).as<Array>();
  auto missing = result.error().userInfoValue(kSecCFErrorResourceMissing).as<Array>();
  ASSERT_TRUE(added && missing);
  EXPECT_EQ(added->objectAtIndex(0).as<URL>()->path(), app + "/Contents/Resources/extra");
  EXPECT_EQ(missing->objectAtIndex(0).as<URL>()->path(), app + "/Contents/Resources/icon.svg");
}

TEST_F(CodeSigningTest, RequirementsAgainstMatchingAndForeignChains) {
  const SigningIdentity otherTeam = issue({{"CN", "Other Team"}, {"OU", "Z9Y8X7W6V5"}}, true, root_);
  const SigningIdentity otherLeaf = issue({{"CN", "Other Developer"}, {"OU", "Z9Y8X7W6V5"}}, false, &otherTeam);
  const SigningIdentity selfSigned = issue({{"CN", "Impostor"}, {"OU", kTeam}}, false, nullptr);
  const SigningIdentity expiredTeam = issue({{"CN", "Old Team"}, {"OU", kTeam}}, true, root_, -400, -30);
  const SigningIdentity underExpired = issue({{"CN", "Late Developer"}, {"OU", kTeam}}, false, &expiredTeam, -400, 30);

  struct Case {
    const char* name;
    const SigningIdentity* identity;
    std::int64_t appleAnchor;
    std::int64_t teamAnchor;
  };
  const Case cases[] = {
      {"own team", leaf_, 0, 0},
      {"another team under the same root", &otherLeaf, 0, errSecCSReqFailed},
      {"self-signed leaf with the team's unit", &selfSigned, errSecCSReqFailed, errSecCSReqFailed},
      {"expired intermediate", &underExpired, errSecCSReqFailed, errSecCSReqFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ + "/Chronofold.app");
    const std::string app = makeBundle();
    ASSERT_TRUE(sign(app, *c.identity));
    EXPECT_EQ(statusOf(check(app)), 0);
    EXPECT_EQ(statusOf(check(app, "anchor apple generic")), c.appleAnchor);
    EXPECT_EQ(statusOf(check(app, kTeamRequirement)), c.teamAnchor);
  }

  // The self-signed leaf does carry the team's unit: only the anchor tells it apart.
  fs::remove_all(dir_ + "/Chronofold.app");
  std::string app = makeBundle();
  ASSERT_TRUE(sign(app, selfSigned));
  EXPECT_EQ(statusOf(check(app, "certificate leaf[subject.OU] = \"K7QW2ZP9XD\"")), 0);
  EXPECT_EQ(statusOf(check(app, "anchor trusted")), errSecCSReqFailed);

  // Validity is judged on the installed clock: before the intermediate
  // expired, its chain was good.
  fs::remove_all(dir_ + "/Chronofold.app");
  app = makeBundle();
  ASSERT_TRUE(sign(app, underExpired));
  ManualClock clock;
  clock.setWallNow(daysFromNow(-60));
  {
    ScopedClockOverride useClock(clock);
    EXPECT_EQ(statusOf(check(app, kTeamRequirement)), 0);
  }

  // Without a configured anchor nothing is anchored at the platform.
  ::unsetenv(std::string(kCodeSignatureAnchorEnvironment).c_str());
  fs::remove_all(dir_ + "/Chronofold.app");
  app = makeBundle();
  ASSERT_TRUE(sign(app, *leaf_));
  auto result = check(app, "anchor apple generic");
  ASSERT_EQ(statusOf(result), errSecCSReqFailed);
  EXPECT_EQ(result.error().userInfoValue(kSecCFErrorRequirementFailed).stringValue(), "anchor apple generic");
}

TEST_F(CodeSigningTest, EntitlementClauses) {
  const std::string app = makeBundle();
  ASSERT_TRUE(sign(app, *leaf_,
                   Dictionary::make({{Value("com.apple.security.app-sandbox"), Value(false)},
                                     {Value("com.korvia.level"), Value(3)}})));
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.apple.security.app-sandbox\"] exists")), 0);
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.apple.security.app-sandbox\"] = true")), errSecCSReqFailed);
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.apple.security.app-sandbox\"] = false")), 0);
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.korvia.level\"] = 3")), 0);
  EXPECT_EQ(statusOf(check(app, "entitlement[\"com.korvia.absent\"] exists")), errSecCSReqFailed);
  EXPECT_EQ(statusOf(check(app, "!entitlement[\"com.korvia.absent\"] exists and "
                                "(identifier \"x\" or certificate root[subject.CN] = \"Korvia Test Root\")")),
            0);
}

TEST(SigningIdentityTest, KeyMustMatchACertificateOfTheChain) {
  CertificateRequest request{{{"CN", "a"}}, false, daysFromNow(-1), daysFromNow(1)};
  auto first = SigningIdentity::issue(request, nullptr);
  auto second = SigningIdentity::issue(request, nullptr);
  ASSERT_TRUE(first && second);
  auto matched = SigningIdentity::withPEM(first->privateKeyPEM(), second->chainPEM() + first->chainPEM());
  ASSERT_TRUE(matched);
  EXPECT_EQ(matched->certificateDER(), first->certificateDER());
  auto mismatched = SigningIdentity::withPEM(first->privateKeyPEM(), second->chainPEM());
  ASSERT_FALSE(mismatched);
  EXPECT_TRUE(mismatched.error().is(NSCocoaErrorDomain, 259));
  EXPECT_FALSE(SigningIdentity::withPEM("not a key", first->chainPEM()));
}

// Requirement logic on a context the test controls.
class FakeContext final : public RequirementContext {
 public:
  bool isAnchoredAtPlatformAnchor() const override { return platform; }
  bool isAnchoredAtTrustedRoot() const override { return trusted; }
  std::optional<std::string> certificateField(int position, std::string_view field) const override {
    if (position == 0 && field == "subject.OU") return leafUnit;
    return std::nullopt;
  }
  std::string signingIdentifier() const override { return "com.korvia.x"; }
  Value entitlement(std::string_view) const override { return {}; }

  bool platform = false;
  bool trusted = false;
  std::optional<std::string> leafUnit;
};

bool holds(std::string_view text, const RequirementContext& context) {
  auto requirement = Requirement::createWithString(text);
  EXPECT_TRUE(requirement) << text;
  return requirement && (*requirement)->isSatisfiedBy(context);
}

TEST(CodeRequirementTest, OperatorsBindAsTheLanguageSays) {
  FakeContext context;
  context.trusted = true;
  context.leafUnit = "K7QW2ZP9XD";
  EXPECT_FALSE(holds("never or always and never", context));
  EXPECT_TRUE(holds("(never or always) and !never", context));
  EXPECT_TRUE(holds("! anchor apple generic and anchor trusted", context));
  EXPECT_FALSE(holds("!(anchor apple or anchor trusted)", context));
  EXPECT_TRUE(holds("identifier = com.korvia.x and cert leaf[subject.OU] exists", context));
  EXPECT_FALSE(holds("certificate 1[subject.OU] exists", context));
  EXPECT_TRUE(holds("certificate leaf[subject.OU] = \"K7QW\\\"2ZP9XD\" or certificate leaf[subject.OU] = K7QW2ZP9XD",
                    context));

  // Long flat chains cost no nesting.
  std::string chain = "always";
  for (int i = 0; i < 5000; ++i) chain += " and always";
  EXPECT_TRUE(holds(chain, context));
  std::string nested(60, '(');
  nested += "always" + std::string(60, ')');
  EXPECT_TRUE(holds(nested, context));
}

TEST(CodeRequirementTest, MalformedTextFailsWithTheSyntaxStatus) {
  const std::string tooDeep = std::string(100, '(') + "always" + std::string(100, ')');
  const std::string tooManyNots = std::string(200, '!') + "always";
  const std::string tooLong = "identifier \"" + std::string(kRequirementMaximumLength, 'x') + "\"";
  const std::string cases[] = {
      "",
      "anchor",
      "anchor apple and",
      "anchor google",
      "certificate leaf[subject.OU] =",
      "certificate leaf[subject.OU]",
      "certificate leaf[serialNumber] = 1",
      "certificate 99[subject.CN] exists",
      "certificate leaf subject.OU = x",
      "identifier",
      "entitlement[\"x\"]",
      "entitlement[\"x\" exists",
      "(anchor apple",
      "anchor apple )",
      "identifier \"unterminated",
      "anchor apple ; always",
      "always always",
      tooDeep,
      tooManyNots,
      tooLong,
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 60));
    auto requirement = Requirement::createWithString(text);
    ASSERT_FALSE(requirement);
    EXPECT_TRUE(requirement.error().is(NSOSStatusErrorDomain, errSecCSReqInvalid));
    EXPECT_TRUE(requirement.error().userInfoValue(kSecCFErrorRequirementSyntax).stringValue().has_value());
  }
}

}  // namespace
}  // namespace fnd
