// The customer records: identifier, machine, customer, credentials and
// identity.

#include <array>

#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/format.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_identity.h"
#include "interface/model/afx_model_support.h"
#include "interface/model/afx_secure_serialization.h"
#include "tools/qv_system_info.h"

using afx_model_detail::memberProperty;

namespace {

// A key of its own, put together a character at a time like the
// environment's.
const afx_model_detail::SerializationKey& customerSerializationKey() {
  static const afx_model_detail::SerializationKey key = [] {
    constexpr std::array<std::uint8_t, 44> masked = {
        0x02, 0x26, 0x3b, 0x3f, 0x20, 0x28, 0x64, 0x0a, 0x3c, 0x3a, 0x3d, 0x26, 0x24, 0x2c, 0x3b,
        0x64, 0x1a, 0x2c, 0x3b, 0x20, 0x28, 0x25, 0x20, 0x33, 0x2c, 0x64, 0x02, 0x2c, 0x30, 0x64,
        0x18, 0x3c, 0x26, 0x3b, 0x3f, 0x2c, 0x31, 0x64, 0x1a, 0x21, 0x28, 0x3b, 0x2c, 0x2d};
    std::string text;
    for (std::uint8_t c : masked) text.push_back(static_cast<char>(c ^ 0x49));
    return afx_model_detail::serializationKeyFromText(text);
  }();
  return key;
}

bool liesInThePast(const std::shared_ptr<fnd::Date>& date) {
  return date && date->timeIntervalSinceDate(*fnd::Date::now()) < 0;
}

}  // namespace

// AFXCustomerID

const fnd::Class& AFXCustomerID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCustomerID", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXCustomerID>(new AFXCustomerID); },
      {memberProperty("accountName", &AFXCustomerID::accountName_),
       memberProperty("environmentID", &AFXCustomerID::environmentID_)},
      &AFXCustomerID::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCustomerID::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("accountName", fnd::String::staticClass());
  reflection->addPropertyForSelector("environmentID", AFXEnvironmentID::staticClass());
  return reflection;
}

std::shared_ptr<AFXCustomerID> AFXCustomerID::initWithAccountName(std::string accountName,
                                                                  std::shared_ptr<AFXEnvironmentID> environmentID) {
  FND_PARAMETER_ASSERT(environmentID != nullptr);
  (void)staticClass();
  auto identifier = std::shared_ptr<AFXCustomerID>(new AFXCustomerID);
  identifier->accountName_ = std::move(accountName);
  identifier->environmentID_ = std::move(environmentID);
  return identifier;
}

std::shared_ptr<AFXCustomerID> AFXCustomerID::initWithUserDefaultsValue(const fnd::Value& value) {
  const auto dictionary = value.as<fnd::Dictionary>();
  if (!dictionary) return nullptr;
  const auto accountName = dictionary->objectForKey("accountName").stringValue();
  const auto environment = dictionary->objectForKey("environment").stringValue();
  if (!accountName || !environment) return nullptr;
  return initWithAccountName(*accountName, AFXEnvironmentID::environmentWithUserDefaultsValue(environment));
}

std::string AFXCustomerID::environmentValue() const {
  return environmentID_ ? environmentID_->userDefaultsValue() : std::string();
}

std::shared_ptr<fnd::Dictionary> AFXCustomerID::userDefaultsValue() const {
  return fnd::Dictionary::make({{fnd::Value("accountName"), fnd::Value(accountName_.value_or(""))},
                                {fnd::Value("environment"), fnd::Value(environmentValue())}});
}

std::string AFXCustomerID::userDefaultsKey() const {
  return fnd::StringWithFormat("%@ - %@", accountName_.value_or(""), environmentValue());
}

bool AFXCustomerID::isEqual(const fnd::Object& other) const {
  const auto* identifier = dynamic_cast<const AFXCustomerID*>(&other);
  return identifier != nullptr && accountName_ == identifier->accountName_ &&
         fnd::Value(environmentID_).isEqual(fnd::Value(identifier->environmentID_));
}

std::size_t AFXCustomerID::hash() const {
  return afx_model_detail::hashOf(accountName_) ^ afx_model_detail::hashOf(fnd::Value(environmentID_));
}

std::string AFXCustomerID::description() const {
  return fnd::StringWithFormat("Customer %@ at %@", accountName_.value_or("(null)"), fnd::Value(environmentID_));
}

// AFXMachineInfo

const fnd::Class& AFXMachineInfo::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXMachineInfo", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXMachineInfo>(new AFXMachineInfo); },
      {memberProperty("hardwareUUIDHash", &AFXMachineInfo::hardwareUUIDHash_),
       memberProperty("MACAddressHash", &AFXMachineInfo::MACAddressHash_)},
      &AFXMachineInfo::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXMachineInfo::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("hardwareUUIDHash", fnd::Number::staticClass());
  reflection->addPropertyForSelector("MACAddressHash", fnd::Number::staticClass());
  return reflection;
}

std::uint64_t AFXMachineInfo::stableHash(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::shared_ptr<AFXMachineInfo> AFXMachineInfo::initWithHardwareUUID(std::string_view hardwareUUID,
                                                                     std::string_view MACAddress) {
  (void)staticClass();
  auto info = std::shared_ptr<AFXMachineInfo>(new AFXMachineInfo);
  info->hardwareUUIDHash_ = stableHash(hardwareUUID);
  info->MACAddressHash_ = stableHash(MACAddress);
  return info;
}

std::shared_ptr<AFXMachineInfo> AFXMachineInfo::make() {
  return initWithHardwareUUID(QVSystemInfo::hardwareUUID(), QVSystemInfo::MACAddress());
}

bool AFXMachineInfo::isCurrentMachine(const AFXMachineInfo& info) { return make()->isEqual(info); }

bool AFXMachineInfo::isEqual(const fnd::Object& other) const {
  const auto* info = dynamic_cast<const AFXMachineInfo*>(&other);
  return info != nullptr && hardwareUUIDHash_ == info->hardwareUUIDHash_ && MACAddressHash_ == info->MACAddressHash_;
}

std::size_t AFXMachineInfo::hash() const { return static_cast<std::size_t>(hardwareUUIDHash_ ^ MACAddressHash_); }

std::string AFXMachineInfo::description() const {
  return fnd::StringWithFormat("%@ hardwareUUIDHash = %@, MACAddressHash = %@", AFXBaseModelObject::description(),
                               hardwareUUIDHash_, MACAddressHash_);
}

// Subscription states

std::set<AFXCustomerSubscriptionState> AFXCustomerSubscriptionStateKnownStates() {
  return {AFXCustomerSubscriptionStateUndefined,  AFXCustomerSubscriptionStateTrial,
          AFXCustomerSubscriptionStatePaid,       AFXCustomerSubscriptionStateGracePeriod,
          AFXCustomerSubscriptionStateProcessing, AFXCustomerSubscriptionStateCanceled,
          AFXCustomerSubscriptionStateBlocked,    AFXCustomerSubscriptionStateTrialBlocked,
          AFXCustomerSubscriptionStateFree};
}

std::shared_ptr<const QVEnumValueTransformer> AFXCustomerSubscriptionStateValueTransformer() {
  static const std::shared_ptr<const QVEnumValueTransformer> transformer = QVEnumValueTransformer::initWithMapping(
      {{0, "undefined"},
       {1, "trial"},
       {2, "paid"},
       {3, "grace_period"},
       {6, "processing"},
       {7, "canceled"},
       {8, "blocked"},
       {9, "trial_blocked"},
       {10, "free"}},
      AFXCustomerSubscriptionStateUndefined);
  return transformer;
}

// AFXCustomer

const fnd::Class& AFXCustomer::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCustomer", AFXBaseModelObject::staticClass(), [] { return std::shared_ptr<AFXCustomer>(new AFXCustomer); },
      {memberProperty("identifier", &AFXCustomer::identifier_), memberProperty("backendID", &AFXCustomer::backendID_),
       memberProperty("token", &AFXCustomer::token_),
       memberProperty("subscriptionState", &AFXCustomer::subscriptionState_),
       memberProperty("subscriptionExpirationDate", &AFXCustomer::subscriptionExpirationDate_),
       memberProperty("startNotificationDate", &AFXCustomer::startNotificationDate_),
       memberProperty("gracePeriodExpirationDate", &AFXCustomer::gracePeriodExpirationDate_),
       memberProperty("machineInfo", &AFXCustomer::machineInfo_),
       memberProperty("hasPaymentInfo", &AFXCustomer::hasPaymentInfo_)},
      &AFXCustomer::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCustomer::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("identifier", AFXCustomerID::staticClass());
  reflection->addPropertyForSelector("backendID", fnd::String::staticClass());
  reflection->addPropertyForSelector("token", fnd::String::staticClass());
  reflection->addPropertyForSelector("subscriptionState", {&fnd::Number::staticClass()},
                                     fnd::Value(AFXCustomerSubscriptionStateUndefined),
                                     AFXCustomerSubscriptionStateValueTransformer());
  reflection->addPropertyForSelector("subscriptionExpirationDate", fnd::Date::staticClass());
  reflection->addPropertyForSelector("startNotificationDate", fnd::Date::staticClass());
  reflection->addPropertyForSelector("gracePeriodExpirationDate", fnd::Date::staticClass());
  reflection->addPropertyForSelector("machineInfo", AFXMachineInfo::staticClass());
  reflection->addPropertyForSelector("hasPaymentInfo", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<AFXCustomer> AFXCustomer::initWithIdentifier(
    std::shared_ptr<AFXCustomerID> identifier, std::optional<std::string> backendID, std::optional<std::string> token,
    AFXCustomerSubscriptionState subscriptionState, std::shared_ptr<fnd::Date> subscriptionExpirationDate,
    std::shared_ptr<fnd::Date> startNotificationDate, std::shared_ptr<fnd::Date> gracePeriodExpirationDate,
    std::shared_ptr<AFXMachineInfo> machineInfo, bool hasPaymentInfo) {
  FND_PARAMETER_ASSERT(identifier != nullptr);
  (void)staticClass();
  auto customer = std::shared_ptr<AFXCustomer>(new AFXCustomer);
  customer->identifier_ = std::move(identifier);
  customer->backendID_ = std::move(backendID);
  customer->token_ = std::move(token);
  customer->subscriptionState_ = subscriptionState;
  customer->subscriptionExpirationDate_ = std::move(subscriptionExpirationDate);
  customer->startNotificationDate_ = std::move(startNotificationDate);
  customer->gracePeriodExpirationDate_ = std::move(gracePeriodExpirationDate);
  customer->machineInfo_ = std::move(machineInfo);
  customer->hasPaymentInfo_ = hasPaymentInfo;
  return customer;
}

std::shared_ptr<AFXCustomer> AFXCustomer::initWithToken(std::optional<std::string> token,
                                                        std::shared_ptr<AFXCustomerID> customerID,
                                                        const fnd::Value& userDefaultsValue) {
  const auto dictionary = userDefaultsValue.as<fnd::Dictionary>();
  if (!dictionary || !customerID) return nullptr;
  const auto backendID = dictionary->objectForKey("backendID").stringValue();
  const auto expiration = dictionary->objectForKey("subscriptionExpirationDate").as<fnd::Date>();
  if (!backendID || !expiration) return nullptr;

  const fnd::Value stateName = dictionary->objectForKey("subscriptionState");
  const auto state = AFXCustomerSubscriptionStateValueTransformer()
                         ->reverseTransformedValue(stateName.as<fnd::String>() ? stateName : fnd::Value())
                         .integerValue()
                         .value_or(0);
  const auto paymentInfo = dictionary->objectForKey("hasPaymentInfo").as<fnd::Number>();

  std::shared_ptr<AFXMachineInfo> machineInfo;
  if (auto archive = dictionary->objectForKey("machineInfo").as<fnd::Data>()) {
    auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXMachineInfo::staticClass(), archive->bytes());
    if (decoded) machineInfo = decoded->as<AFXMachineInfo>();
  }
  if (!machineInfo) machineInfo = AFXMachineInfo::make();

  return initWithIdentifier(std::move(customerID), backendID, std::move(token),
                            static_cast<AFXCustomerSubscriptionState>(state), expiration,
                            dictionary->objectForKey("startNotificationDate").as<fnd::Date>(),
                            dictionary->objectForKey("gracePeriodExpirationDate").as<fnd::Date>(),
                            std::move(machineInfo), paymentInfo && paymentInfo->boolValue());
}

std::optional<std::string> AFXCustomer::accountName() const {
  return identifier_ ? identifier_->accountName() : std::nullopt;
}

std::shared_ptr<AFXEnvironmentID> AFXCustomer::environmentID() const {
  return identifier_ ? identifier_->environmentID() : nullptr;
}

bool AFXCustomer::isSubscriptionExpired() const { return liesInThePast(subscriptionExpirationDate_); }

bool AFXCustomer::canNotifySubscriptionExpiration() const { return liesInThePast(startNotificationDate_); }

std::shared_ptr<fnd::Dictionary> AFXCustomer::userDefaultsValue() const {
  std::vector<fnd::Dictionary::Entry> entries;
  if (identifier_) {
    const auto identifierForm = identifier_->userDefaultsValue();
    for (const auto& entry : identifierForm->entries()) entries.push_back(entry);
  }
  if (backendID_) entries.emplace_back(fnd::Value("backendID"), fnd::Value(*backendID_));
  entries.emplace_back(fnd::Value("subscriptionState"),
                       AFXCustomerSubscriptionStateValueTransformer()->transformedValue(fnd::Value(subscriptionState_)));
  // A preference dictionary holds no nil, so absent dates are left out; a
  // customer without an expiration date does not come back from this form.
  if (subscriptionExpirationDate_) {
    entries.emplace_back(fnd::Value("subscriptionExpirationDate"), fnd::Value(subscriptionExpirationDate_));
  }
  entries.emplace_back(fnd::Value("hasPaymentInfo"), fnd::Value(hasPaymentInfo_));
  if (startNotificationDate_) entries.emplace_back(fnd::Value("startNotificationDate"), fnd::Value(startNotificationDate_));
  if (gracePeriodExpirationDate_) {
    entries.emplace_back(fnd::Value("gracePeriodExpirationDate"), fnd::Value(gracePeriodExpirationDate_));
  }
  if (machineInfo_) {
    auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(machineInfo_));
    if (archive) entries.emplace_back(fnd::Value("machineInfo"), fnd::Value(fnd::Data::make(std::move(*archive))));
  }
  // An unnamed state has no preference form.
  std::erase_if(entries, [](const auto& entry) { return entry.second.isNil(); });
  return fnd::Dictionary::make(std::move(entries));
}

bool AFXCustomer::isEqual(const fnd::Object& other) const {
  const auto* customer = dynamic_cast<const AFXCustomer*>(&other);
  return customer != nullptr && fnd::Value(identifier_).isEqual(fnd::Value(customer->identifier_));
}

std::size_t AFXCustomer::hash() const { return afx_model_detail::hashOf(fnd::Value(identifier_)); }

std::string AFXCustomer::description() const {
  return fnd::StringWithFormat("%@ %@, backendID = %@, subscriptionState = %@", AFXBaseModelObject::description(),
                               fnd::Value(identifier_), backendID_.value_or("(null)"), subscriptionState_);
}

std::vector<std::uint8_t> AFXCustomerGetSecureSerialization(const AFXCustomer& customer) {
  return afx_model_detail::secureSerialize(
      fnd::Value(std::const_pointer_cast<fnd::Object>(customer.shared_from_this())), customerSerializationKey());
}

std::shared_ptr<AFXCustomer> AFXCustomerMakeFromSecureSerialization(std::span<const std::uint8_t> data) {
  return afx_model_detail::secureDeserialize(data, customerSerializationKey(), AFXCustomer::staticClass())
      .as<AFXCustomer>();
}

// AFXCustomerCredentials

const fnd::Class& AFXCustomerCredentials::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCustomerCredentials", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXCustomerCredentials>(new AFXCustomerCredentials); },
      {memberProperty("customerID", &AFXCustomerCredentials::customerID_),
       memberProperty("authToken", &AFXCustomerCredentials::authToken_)},
      &AFXCustomerCredentials::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCustomerCredentials::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("customerID", AFXCustomerID::staticClass());
  reflection->addPropertyForSelector("authToken", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXCustomerCredentials> AFXCustomerCredentials::initWithCustomerID(
    std::shared_ptr<AFXCustomerID> customerID, std::optional<std::string> authToken) {
  (void)staticClass();
  auto credentials = std::shared_ptr<AFXCustomerCredentials>(new AFXCustomerCredentials);
  credentials->customerID_ = std::move(customerID);
  credentials->authToken_ = std::move(authToken);
  return credentials;
}

bool AFXCustomerCredentials::isEqual(const fnd::Object& other) const {
  const auto* credentials = dynamic_cast<const AFXCustomerCredentials*>(&other);
  return credentials != nullptr && fnd::Value(customerID_).isEqual(fnd::Value(credentials->customerID_)) &&
         authToken_ == credentials->authToken_;
}

std::size_t AFXCustomerCredentials::hash() const {
  return afx_model_detail::hashOf(fnd::Value(customerID_)) ^ afx_model_detail::hashOf(authToken_);
}

// AFXCustomerIdentity

const fnd::Class& AFXCustomerIdentity::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCustomerIdentity", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXCustomerIdentity>(new AFXCustomerIdentity); },
      {memberProperty("customerID", &AFXCustomerIdentity::customerID_),
       memberProperty("name", &AFXCustomerIdentity::name_), memberProperty("image", &AFXCustomerIdentity::image_)},
      &AFXCustomerIdentity::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCustomerIdentity::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("customerID", AFXCustomerID::staticClass());
  reflection->addPropertyForSelector("name", fnd::String::staticClass());
  reflection->addPropertyForSelector("image", fnd::Data::staticClass());
  return reflection;
}

std::shared_ptr<AFXCustomerIdentity> AFXCustomerIdentity::initWithCustomerID(std::shared_ptr<AFXCustomerID> customerID,
                                                                             std::optional<std::string> name,
                                                                             std::shared_ptr<fnd::Data> image) {
  (void)staticClass();
  auto identity = std::shared_ptr<AFXCustomerIdentity>(new AFXCustomerIdentity);
  identity->customerID_ = std::move(customerID);
  identity->name_ = std::move(name);
  identity->image_ = std::move(image);
  return identity;
}
