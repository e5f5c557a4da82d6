#include "tools/codesign/qv_code_signature_checker.h"

#include <gtest/gtest.h>

#include <fstream>

#include "foundation/number.h"
#include "tools/codesign/tests/signed_bundle_fixture.h"

namespace {

class QVCodeSignatureCheckerTest : public SignedBundleFixture {};

TEST_F(QVCodeSignatureCheckerTest, StatusErrorsCarryTheServicesInformationAndADescription) {
  auto url = makeSignedBundle("Signed", *leaf_);
  std::optional<fnd::Error> error;
  EXPECT_TRUE(QVCodeSignatureChecker::codeSignatureAtURL(*url, std::string(""), &error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(QVCodeSignatureChecker::codeSignatureIsValidAtURL(*url));

  EXPECT_FALSE(QVCodeSignatureChecker::codeSignatureAtURL(*url, std::string("anchor apple generic and"), &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSReqInvalid));
  EXPECT_EQ(error->localizedDescription(), "invalid or corrupted code requirement(s)");
  EXPECT_TRUE(error->userInfoValue(fnd::kSecCFErrorRequirementSyntax).stringValue());

  std::ofstream(url->path() + "/Contents/Resources/data.txt") << "changed";
  EXPECT_FALSE(QVCodeSignatureChecker::codeSignatureIsValidAtURL(*url));
  EXPECT_FALSE(QVCodeSignatureChecker::codeSignatureAtURL(*url, std::nullopt, &error));
  EXPECT_TRUE(error->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSBadResource));
  EXPECT_FALSE(error->userInfoValue(fnd::kSecCFErrorResourceAltered).isNil());

  auto missing = fnd::URL::fileURLWithPath(dir_ + "/Missing.app", true);
  EXPECT_FALSE(QVCodeSignatureChecker::codeSignatureAtURL(*missing, std::nullopt, &error));
  EXPECT_TRUE(error->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSStaticCodeNotFound));
  EXPECT_EQ(error->localizedDescription(), "cannot find code object on disk");
  EXPECT_FALSE(QVCodeSignatureChecker::codeSignatureInfoAtURL(*missing));
}

TEST_F(QVCodeSignatureCheckerTest, SandboxNeedsTheEntitlementSwitchedOnInAValidSignature) {
  const auto sandbox = fnd::Value("com.apple.security.app-sandbox");
  auto on = makeSignedBundle("On", *leaf_, fnd::Dictionary::make({{sandbox, fnd::Value(true)}}));
  auto off = makeSignedBundle("Off", *leaf_, fnd::Dictionary::make({{sandbox, fnd::Value(false)}}));
  auto none = makeSignedBundle("None", *leaf_);
  auto unsignedApp = makeBundle("Unsigned");
  EXPECT_TRUE(QVCodeSignatureChecker::isApplicationSandboxedAtURL(*on));
  EXPECT_FALSE(QVCodeSignatureChecker::isApplicationSandboxedAtURL(*off));
  EXPECT_FALSE(QVCodeSignatureChecker::isApplicationSandboxedAtURL(*none));
  EXPECT_FALSE(QVCodeSignatureChecker::isApplicationSandboxedAtURL(*unsignedApp));

  // A sandboxed bundle whose files changed is not trusted to say so.
  std::ofstream(on->path() + "/Contents/Resources/data.txt") << "changed";
  EXPECT_FALSE(QVCodeSignatureChecker::isApplicationSandboxedAtURL(*on));

  auto info = QVCodeSignatureChecker::codeSignatureInfoAtURL(*off);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->objectForKey(fnd::kSecCodeInfoTeamIdentifier).stringValue(), kTeam);
  EXPECT_EQ(info->objectForKey(fnd::kSecCodeInfoIdentifier).stringValue(), "com.korvia.test.Off");
}

}  // namespace
