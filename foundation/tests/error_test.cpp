#include "foundation/error.h"

#include <gtest/gtest.h>

#include "foundation/array.h"
#include "foundation/string.h"

namespace fnd {
namespace {

TEST(ErrorValue, DescriptionFallsBackToThePlatformSentence) {
  Error plain(NSCocoaErrorDomain, 4);
  EXPECT_EQ(plain.localizedDescription(), "The operation couldn\u2019t be completed. (NSCocoaErrorDomain error 4.)");
  Error described("com.korvia.default-error-domain", -401001, {{Value(NSLocalizedDescriptionKey), Value("Boom.")}});
  EXPECT_EQ(described.localizedDescription(), "Boom.");
  EXPECT_EQ(described.code(), -401001);
  EXPECT_EQ(described.description(),
            "Error Domain=com.korvia.default-error-domain Code=-401001 \"Boom.\" UserInfo={\n    "
            "NSLocalizedDescription = Boom.;\n}");
}

TEST(ErrorValue, StandardUserInformationReadsBack) {
  Error underlying(NSPOSIXErrorDomain, 28);
  Error error(NSCocoaErrorDomain, 640,
              {{Value(NSLocalizedFailureReasonErrorKey), Value("No room.")},
               {Value(NSLocalizedRecoverySuggestionErrorKey), Value("Free some space.")},
               {Value(NSLocalizedRecoveryOptionsErrorKey), Value(Array::make({Value("Retry"), Value("Quit")}))},
               {Value(NSUnderlyingErrorKey), Value(underlying)}});
  EXPECT_EQ(error.localizedFailureReason(), "No room.");
  EXPECT_EQ(error.localizedRecoverySuggestion(), "Free some space.");
  EXPECT_EQ(error.localizedRecoveryOptions(), (std::vector<std::string>{"Retry", "Quit"}));
  ASSERT_TRUE(error.underlyingError().has_value());
  EXPECT_TRUE(error.underlyingError()->is(NSPOSIXErrorDomain, 28));
  EXPECT_TRUE(error.recoveryAttempter().isNil());
  EXPECT_EQ(Error(NSCocoaErrorDomain, 1).localizedRecoveryOptions(), std::vector<std::string>{});
}

TEST(ErrorValue, EqualityCoversDomainCodeAndUserInformation) {
  EXPECT_EQ(Error(NSCocoaErrorDomain, 4), Error(NSCocoaErrorDomain, 4));
  EXPECT_FALSE(Error(NSCocoaErrorDomain, 4) == Error(NSPOSIXErrorDomain, 4));
  EXPECT_FALSE(Error(NSCocoaErrorDomain, 4) == Error(NSCocoaErrorDomain, 5));
  Error withPath = Error(NSCocoaErrorDomain, 4).errorBySettingUserInfoValue("/x", NSFilePathErrorKey);
  EXPECT_FALSE(withPath == Error(NSCocoaErrorDomain, 4));
  EXPECT_EQ(withPath.userInfoValue(NSFilePathErrorKey), Value("/x"));

  // Errors are values too: they travel inside collections and compare there.
  Value inside = Array::make({Value(withPath)});
  EXPECT_EQ(inside, Value(Array::make({Value(Error(NSCocoaErrorDomain, 4, {{Value("NSFilePath"), Value("/x")}}))})));
  EXPECT_EQ(Value(withPath).errorValue(), withPath);
  EXPECT_EQ(Value("x").errorValue(), std::nullopt);
}

TEST(ErrorValueDeathTest, UserInformationKeysMustBeStrings) {
  EXPECT_DEATH(Error(NSCocoaErrorDomain, 1, {{Value(1), Value("x")}}), "Invalid parameter not satisfying");
}

}  // namespace
}  // namespace fnd
