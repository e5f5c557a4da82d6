#include "interface/validation/afx_validation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "interface/errors/afx_errors.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/codesign/tests/signed_bundle_fixture.h"

namespace {

using ::testing::HasSubstr;

class AFXValidationTest : public SignedBundleFixture {
 protected:
  void SetUp() override {
    SignedBundleFixture::SetUp();
    DDLog::removeAllLoggers();
    DDLog::addLogger(logger_);
  }
  void TearDown() override {
    DDLog::removeAllLoggers();
    SignedBundleFixture::TearDown();
  }

  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(AFXValidationTest, NoneAcceptsAnUnsignedAppWithoutTouchingTheError) {
  auto app = makeBundle("Unsigned");
  std::optional<fnd::Error> error = fnd::Error("earlier", 1);
  EXPECT_TRUE(AFXValidateApp(app, AFXValidationNone, &error));
  EXPECT_TRUE(error && error->is("earlier", 1));
  EXPECT_FALSE(AFXValidateApp(app, AFXValidationAppleAnchor, &error));
  ASSERT_TRUE(error->underlyingError());
  EXPECT_TRUE(error->underlyingError()->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSUnsigned));
}

TEST_F(AFXValidationTest, AnotherTeamPassesTheAppleAnchorButNotTheTeamAnchor) {
  auto own = makeSignedBundle("Own", *leaf_);
  auto foreign = makeSignedBundle("Foreign", *otherLeaf_);
  std::optional<fnd::Error> error = fnd::Error("earlier", 1);
  EXPECT_TRUE(AFXValidateApp(own, AFXValidationTeamAnchor, &error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(AFXValidateApp(foreign, AFXValidationAppleAnchor, &error));

  EXPECT_FALSE(AFXValidateApp(foreign, AFXValidationTeamAnchor, &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(AFXDefaultErrorDomain, AFXErrorCodeAppSignatureCheckFailed));
  EXPECT_TRUE(error->underlyingError()->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSReqFailed));
  auto lines = logger_->messages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].flag(), DDLogFlagError);
  EXPECT_THAT(lines[0].message(), HasSubstr("App validation error for file://" + foreign->path()));
  EXPECT_THAT(lines[0].message(), HasSubstr("-67050"));
}

TEST_F(AFXValidationTest, ChangedResourcesFailBothChecksWithTheStatusUnderneath) {
  auto app = makeSignedBundle("Changed", *leaf_);
  std::ofstream(app->path() + "/Contents/Resources/data.txt") << "changed";
  for (AFXValidation validation : {AFXValidationAppleAnchor, AFXValidationTeamAnchor}) {
    std::optional<fnd::Error> error;
    EXPECT_FALSE(AFXValidateApp(app, validation, &error));
    ASSERT_TRUE(error && error->underlyingError());
    EXPECT_TRUE(error->underlyingError()->is(fnd::NSOSStatusErrorDomain, fnd::errSecCSBadResource));
  }
  EXPECT_FALSE(AFXValidateApp(app, AFXValidationTeamAnchor));
}

TEST_F(AFXValidationTest, ProgrammingErrors) {
  auto app = makeBundle("Any");
  EXPECT_DEATH((void)AFXValidateApp(app, static_cast<AFXValidation>(3)), "We should not get here");
  EXPECT_DEATH((void)AFXValidateApp(nullptr, AFXValidationNone), "Invalid parameter not satisfying: appURL");
}

}  // namespace
