#include <gtest/gtest.h>

#include "foundation/clock.h"
#include "foundation/data.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_identity.h"
#include "interface/model/tests/record_coding_support.h"
#include "tools/qv_system_info.h"

namespace {

using fnd::Value;

std::shared_ptr<AFXEnvironmentID> staging() {
  return AFXEnvironmentID::environmentIDWithManifestURL(fnd::URL::URLWithString("https://staging.korvia.com/e.json"));
}

std::shared_ptr<AFXCustomerID> ada(std::shared_ptr<AFXEnvironmentID> environment = staging()) {
  return AFXCustomerID::initWithAccountName("ada@example.com", std::move(environment));
}

std::shared_ptr<AFXCustomer> customer(AFXCustomerSubscriptionState state, std::shared_ptr<fnd::Date> expiration,
                                      std::shared_ptr<fnd::Date> notification = nullptr) {
  return AFXCustomer::initWithIdentifier(ada(), "b-17", "token-1", state, std::move(expiration),
                                         std::move(notification), fnd::Date::dateWithTimeIntervalSince1970(1.5e9),
                                         AFXMachineInfo::initWithHardwareUUID("UUID", "aa:bb:cc:dd:ee:ff"), true);
}

class CustomerRecordCoding : public testing::TestWithParam<record_coding::RecordCase> {};

TEST_P(CustomerRecordCoding, ArchivesTheTableAndDecodesEqual) { record_coding::checkRecordCoding(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Records, CustomerRecordCoding,
    testing::Values(
        record_coding::RecordCase{"AFXCustomerID", [] { return Value(ada()); }, {"accountName", "environmentID"}},
        record_coding::RecordCase{"AFXMachineInfo", [] { return Value(AFXMachineInfo::initWithHardwareUUID("U", "M")); },
                                  {"hardwareUUIDHash", "MACAddressHash"}},
        record_coding::RecordCase{
            "AFXCustomer",
            [] { return Value(customer(AFXCustomerSubscriptionStateGracePeriod, fnd::Date::dateWithTimeIntervalSince1970(2e9))); },
            {"identifier", "backendID", "token", "subscriptionState", "subscriptionExpirationDate",
             "startNotificationDate", "gracePeriodExpirationDate", "machineInfo", "hasPaymentInfo"}},
        record_coding::RecordCase{"AFXCustomerCredentials",
                                  [] { return Value(AFXCustomerCredentials::initWithCustomerID(ada(), "secret")); },
                                  {"customerID", "authToken"}},
        record_coding::RecordCase{
            "AFXCustomerIdentity",
            [] { return Value(AFXCustomerIdentity::initWithCustomerID(ada(), "Ada", fnd::Data::make("\x89PNG"))); },
            {"customerID", "name", "image"}}),
    [](const auto& param) { return param.param.name; });

TEST(Customer, SubscriptionStatesArchiveByName) {
  auto paid = customer(AFXCustomerSubscriptionStatePaid, nullptr);
  const auto data = record_coding::archive(Value(paid));
  EXPECT_EQ(record_coding::archivedValue(data, "subscriptionState").stringValue(), "paid");

  for (const char* name : {"retired", "PAID"}) {
    auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(
        AFXCustomer::staticClass(), record_coding::withKey(data, "subscriptionState", Value(name)));
    ASSERT_TRUE(decoded) << decoded.error().description();
    EXPECT_EQ(decoded->as<AFXCustomer>()->subscriptionState(), AFXCustomerSubscriptionStateUndefined);
  }
  auto transformer = AFXCustomerSubscriptionStateValueTransformer();
  EXPECT_EQ(transformer, AFXCustomerSubscriptionStateValueTransformer());
  for (std::uint64_t state = 0; state <= 11; ++state) {
    const bool known = AFXCustomerSubscriptionStateKnownStates().contains(state);
    EXPECT_EQ(!transformer->transformedValue(Value(state)).isNil(), known) << state;
  }
  EXPECT_EQ(AFXCustomerSubscriptionStateKnownStates().size(), 9u);
  EXPECT_EQ(transformer->transformedValue(Value(9)).stringValue(), "trial_blocked");
}

TEST(Customer, DatesAreReadAgainstTheInstalledClock) {
  fnd::ManualClock clock;
  fnd::ScopedClockOverride override(clock);
  clock.setWallNow(std::chrono::system_clock::time_point(std::chrono::seconds(1000)));
  auto soon = customer(AFXCustomerSubscriptionStatePaid, fnd::Date::dateWithTimeIntervalSince1970(1060),
                       fnd::Date::dateWithTimeIntervalSince1970(1030));
  EXPECT_FALSE(soon->isSubscriptionExpired());
  EXPECT_FALSE(soon->canNotifySubscriptionExpiration());
  clock.setWallNow(std::chrono::system_clock::time_point(std::chrono::seconds(1031)));
  EXPECT_TRUE(soon->canNotifySubscriptionExpiration());
  EXPECT_FALSE(soon->isSubscriptionExpired());
  clock.setWallNow(std::chrono::system_clock::time_point(std::chrono::seconds(1061)));
  EXPECT_TRUE(soon->isSubscriptionExpired());
  EXPECT_FALSE(customer(AFXCustomerSubscriptionStatePaid, nullptr)->isSubscriptionExpired());
}

TEST(Customer, PreferenceFormRoundTripsWithoutTheToken) {
  auto original = customer(AFXCustomerSubscriptionStateTrial, fnd::Date::dateWithTimeIntervalSince1970(2e9));
  auto form = original->userDefaultsValue();
  EXPECT_EQ(form->objectForKey("subscriptionState").stringValue(), "trial");
  EXPECT_TRUE(form->objectForKey("token").isNil());
  EXPECT_TRUE(form->objectForKey("startNotificationDate").isNil());

  auto restored = AFXCustomer::initWithToken("token-2", AFXCustomerID::initWithUserDefaultsValue(Value(form)), Value(form));
  ASSERT_TRUE(restored);
  EXPECT_TRUE(restored->isEqual(*original));
  EXPECT_EQ(restored->token(), "token-2");
  EXPECT_EQ(restored->backendID(), "b-17");
  EXPECT_EQ(restored->subscriptionState(), AFXCustomerSubscriptionStateTrial);
  EXPECT_TRUE(restored->machineInfo()->isEqual(*original->machineInfo()));
  EXPECT_TRUE(restored->hasPaymentInfo());
  EXPECT_TRUE(Value(restored->gracePeriodExpirationDate()).isEqual(Value(original->gracePeriodExpirationDate())));

  // Without an expiration date there is no customer; without a machine the
  // sign-in is bound to this one; entries of the wrong class are left out.
  EXPECT_EQ(AFXCustomer::initWithToken("t", ada(), Value(form->dictionaryBySettingObject(Value(), Value("subscriptionExpirationDate")))),
            nullptr);
  EXPECT_EQ(AFXCustomer::initWithToken("t", ada(), Value(form->dictionaryBySettingObject(Value(3), Value("backendID")))),
            nullptr);
  auto unbound = AFXCustomer::initWithToken("t", ada(), Value(form->dictionaryBySettingObject(Value("junk"), Value("machineInfo"))));
  ASSERT_TRUE(unbound);
  EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(*unbound->machineInfo()));
  auto odd = AFXCustomer::initWithToken(
      "t", ada(), Value(form->dictionaryBySettingObject(Value(2), Value("subscriptionState"))->dictionaryBySettingObject(Value(), Value("hasPaymentInfo"))));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->subscriptionState(), AFXCustomerSubscriptionStateUndefined);
  EXPECT_FALSE(odd->hasPaymentInfo());
  EXPECT_EQ(AFXCustomer::initWithToken("t", ada(), Value("not a dictionary")), nullptr);
}

TEST(CustomerID, EqualityAndPreferenceForms) {
  EXPECT_TRUE(ada()->isEqual(*ada()));
  EXPECT_EQ(ada()->hash(), ada()->hash());
  EXPECT_FALSE(ada()->isEqual(*ada(AFXEnvironmentID::defaultEnvironmentID())));
  EXPECT_EQ(ada()->userDefaultsKey(), "ada@example.com - https://staging.korvia.com/e.json");
  EXPECT_EQ(ada(AFXEnvironmentID::defaultEnvironmentID())->description(), "Customer ada@example.com at Default");

  auto restored = AFXCustomerID::initWithUserDefaultsValue(Value(ada()->userDefaultsValue()));
  ASSERT_TRUE(restored);
  EXPECT_TRUE(restored->isEqual(*ada()));
  EXPECT_EQ(AFXCustomerID::initWithUserDefaultsValue(
                Value(fnd::Dictionary::make({{Value("accountName"), Value("a")}, {Value("environment"), Value(1)}}))),
            nullptr);
  EXPECT_EQ(AFXCustomerID::initWithUserDefaultsValue(Value("a")), nullptr);
}

TEST(MachineInfo, DescribesThisMachineByHashes) {
  auto current = AFXMachineInfo::make();
  auto fromTexts = AFXMachineInfo::initWithHardwareUUID(QVSystemInfo::hardwareUUID(), QVSystemInfo::MACAddress());
  EXPECT_TRUE(current->isEqual(*fromTexts));
  EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(*fromTexts));
  EXPECT_FALSE(AFXMachineInfo::isCurrentMachine(*AFXMachineInfo::initWithHardwareUUID("other", "00:00:00:00:00:01")));
  // FNV-1a 64 of "a", so the value is the same in every process.
  EXPECT_EQ(AFXMachineInfo::stableHash("a"), 0xaf63dc4c8601ec8cULL);
}

TEST(CustomerCredentials, EqualByBothParts) {
  auto a = AFXCustomerCredentials::initWithCustomerID(ada(), "t");
  EXPECT_TRUE(a->isEqual(*AFXCustomerCredentials::initWithCustomerID(ada(), "t")));
  EXPECT_FALSE(a->isEqual(*AFXCustomerCredentials::initWithCustomerID(ada(), "u")));
  EXPECT_EQ(a->copy().get(), a.get());
}

TEST(CustomerSerialization, RoundTrips) {
  auto original = customer(AFXCustomerSubscriptionStateFree, fnd::Date::dateWithTimeIntervalSince1970(2e9));
  auto decoded = AFXCustomerMakeFromSecureSerialization(AFXCustomerGetSecureSerialization(*original));
  ASSERT_TRUE(decoded);
  std::string difference;
  EXPECT_TRUE(record_coding::sameProperties(Value(original), Value(decoded), &difference, "customer")) << difference;
}

}  // namespace
