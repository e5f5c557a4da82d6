#include "foundation/check.h"

#include <gtest/gtest.h>

#include "foundation/expected.h"

namespace fnd {
namespace {

int positive(int value) {
  FND_PARAMETER_ASSERT(value > 0);
  return value;
}

TEST(ProgrammingErrorDeathTest, ParameterAssertionNamesTheFailedExpression) {
  EXPECT_EQ(positive(3), 3);
  EXPECT_DEATH(positive(-1), "^Invalid parameter not satisfying: value > 0\n");
}

TEST(ProgrammingErrorDeathTest, UnreachableBranchStopsWithItsText) {
  EXPECT_DEATH(FND_NOT_REACHED(), "^We should not get here\n");
}

TEST(ExpectedDeathTest, ReadingTheWrongSideIsAProgrammingError) {
  Expected<int> failure(Error(NSCocoaErrorDomain, 4));
  EXPECT_DEATH((void)failure.value(), "Invalid parameter not satisfying: hasValue\\(\\)");
  Expected<int> value(7);
  EXPECT_DEATH((void)value.error(), "Invalid parameter not satisfying: !hasValue\\(\\)");
}

TEST(Expected, CarriesValueOrError) {
  Expected<std::string> value(std::string("text"));
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, "text");
  EXPECT_EQ(value->size(), 4u);

  Expected<std::string> failure(Error(NSPOSIXErrorDomain, 2));
  ASSERT_FALSE(failure);
  EXPECT_TRUE(failure.error().is(NSPOSIXErrorDomain, 2));
  EXPECT_EQ(failure.valueOr("fallback"), "fallback");

  Expected<void> done = success();
  EXPECT_TRUE(done);
  Expected<void> failed = Error(NSCocoaErrorDomain, 516);
  EXPECT_EQ(failed.error().code(), 516);
}

}  // namespace
}  // namespace fnd
