#include "tools/recovery/qv_error_validators.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using fnd::Error;

constexpr std::string_view kDomain = "com.quorvex.tests";

// Keeps errors of one code out of sight and lets the rest through.
class CodeFilter {
 public:
  explicit CodeFilter(std::int64_t hidden) : hidden_(hidden) {}
  std::optional<Error> filter(const Error& error) {
    seen.push_back(error.code());
    if (error.code() == hidden_) return std::nullopt;
    return error;
  }
  std::vector<std::int64_t> seen;

 private:
  std::int64_t hidden_;
};

QVErrorValidatorInfo::Selector replacingWith(std::int64_t code) {
  return [code](const Error& error) { return Error(error.domain(), code, nullptr); };
}

TEST(QVErrorValidatorsTest, ErrorsOfADomainWithoutValidatorsPassUnchanged) {
  QVErrorValidators validators;
  validators.addValidatorInfo(QVErrorValidatorInfo(nullptr, replacingWith(5), "com.quorvex.elsewhere"));
  EXPECT_EQ(validators.validateError(Error(kDomain, 1, nullptr)), Error(kDomain, 1, nullptr));
}

TEST(QVErrorValidatorsTest, ValidatorsRunInOrderEachSeeingThePreviousAnswer) {
  QVErrorValidators validators;
  auto filter = std::make_shared<CodeFilter>(-1);
  validators.addValidatorInfo(QVErrorValidatorInfo(nullptr, replacingWith(2), std::string(kDomain)));
  validators.addValidator(filter, &CodeFilter::filter, std::string(kDomain));
  validators.addValidatorInfo(QVErrorValidatorInfo(nullptr, replacingWith(3), std::string(kDomain)));

  const auto result = validators.validateError(Error(kDomain, 1, nullptr));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code(), 3);
  EXPECT_EQ(filter->seen, std::vector<std::int64_t>{2});
}

TEST(QVErrorValidatorsTest, ValidatorAnsweringNoneDropsTheError) {
  QVErrorValidators validators;
  auto filter = std::make_shared<CodeFilter>(7);
  auto after = std::make_shared<CodeFilter>(-1);
  validators.addValidator(filter, &CodeFilter::filter, std::string(kDomain));
  validators.addValidator(after, &CodeFilter::filter, std::string(kDomain));

  EXPECT_EQ(validators.validateError(Error(kDomain, 7, nullptr)), std::nullopt);
  EXPECT_TRUE(after->seen.empty());
  EXPECT_TRUE(validators.validateError(Error(kDomain, 8, nullptr)));
}

TEST(QVErrorValidatorsTest, RegistryHoldsItsValidators) {
  QVErrorValidators validators;
  std::weak_ptr<CodeFilter> weak;
  {
    auto filter = std::make_shared<CodeFilter>(7);
    weak = filter;
    validators.addValidator(filter, &CodeFilter::filter, std::string(kDomain));
  }
  ASSERT_FALSE(weak.expired());
  EXPECT_EQ(validators.validatorInfosForErrorDomain(kDomain).size(), 1u);
  EXPECT_EQ(validators.validatorInfosForErrorDomain(kDomain).front().validator(), weak.lock());
  EXPECT_EQ(validators.validateError(Error(kDomain, 7, nullptr)), std::nullopt);
}

TEST(QVErrorValidatorsTest, ValidatorMayRegisterAnotherWhileRunning) {
  QVErrorValidators validators;
  validators.addValidatorInfo(QVErrorValidatorInfo(
      nullptr,
      [&validators](const Error& error) {
        validators.addValidatorInfo(QVErrorValidatorInfo(nullptr, replacingWith(4), std::string(kDomain)));
        return error;
      },
      std::string(kDomain)));
  EXPECT_EQ(validators.validateError(Error(kDomain, 1, nullptr))->code(), 1);
  EXPECT_EQ(validators.validateError(Error(kDomain, 1, nullptr))->code(), 4);
}

}  // namespace
