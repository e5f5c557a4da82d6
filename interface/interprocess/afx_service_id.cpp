#include "interface/interprocess/afx_service_id.h"

#include "foundation/format.h"
#include "foundation/string.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "interface/model/afx_model_support.h"

// AFXServiceID

const fnd::Class& AFXServiceID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXServiceID", AFXBaseModelObject::staticClass(), [] { return std::shared_ptr<AFXServiceID>(new AFXServiceID); },
      {afx_model_detail::memberProperty("serviceName", &AFXServiceID::serviceName_)}, &AFXServiceID::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXServiceID::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("serviceName", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXServiceID> AFXServiceID::initWithServiceName(std::optional<std::string> serviceName) {
  (void)staticClass();
  auto identity = std::shared_ptr<AFXServiceID>(new AFXServiceID);
  identity->serviceName_ = std::move(serviceName);
  return identity;
}

bool AFXServiceID::hasEqualName(const fnd::Object& other) const {
  const auto* that = dynamic_cast<const AFXServiceID*>(&other);
  return that != nullptr && that->serviceName_ == serviceName_;
}

bool AFXServiceID::isEqual(const fnd::Object& other) const { return hasEqualName(other); }

std::size_t AFXServiceID::hash() const { return serviceName_ ? std::hash<std::string>{}(*serviceName_) : 0; }

// AFXGlobalServiceID

const fnd::Class& AFXGlobalServiceID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXGlobalServiceID", AFXServiceID::staticClass(),
      [] { return std::shared_ptr<AFXGlobalServiceID>(new AFXGlobalServiceID); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXGlobalServiceID> AFXGlobalServiceID::initWithServiceName(std::optional<std::string> serviceName) {
  (void)staticClass();
  auto identity = std::shared_ptr<AFXGlobalServiceID>(new AFXGlobalServiceID);
  identity->setValueForKey(serviceName ? fnd::Value(*serviceName) : fnd::Value(), "serviceName");
  return identity;
}

bool AFXGlobalServiceID::isEqual(const fnd::Object& other) const {
  return other.isKindOfClass(staticClass()) && hasEqualName(other);
}

// AFXEnvironmentServiceID

const fnd::Class& AFXEnvironmentServiceID::staticClass() {
  // Classes named by the property table are defined first: defining one
  // while the table is being built is not allowed.
  (void)AFXEnvironmentID::staticClass();
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXEnvironmentServiceID", AFXServiceID::staticClass(),
      [] { return std::shared_ptr<AFXEnvironmentServiceID>(new AFXEnvironmentServiceID); },
      {afx_model_detail::memberProperty("environmentID", &AFXEnvironmentServiceID::environmentID_)},
      &AFXEnvironmentServiceID::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXEnvironmentServiceID::makeReflection() {
  auto reflection = AFXServiceID::makeReflection();
  reflection->addPropertyForSelector("environmentID", AFXEnvironmentID::staticClass());
  return reflection;
}

std::shared_ptr<AFXEnvironmentServiceID> AFXEnvironmentServiceID::initWithServiceName(
    std::optional<std::string> serviceName, std::shared_ptr<AFXEnvironmentID> environmentID) {
  (void)staticClass();
  auto identity = std::shared_ptr<AFXEnvironmentServiceID>(new AFXEnvironmentServiceID);
  identity->setValueForKey(serviceName ? fnd::Value(*serviceName) : fnd::Value(), "serviceName");
  identity->environmentID_ = std::move(environmentID);
  return identity;
}

bool AFXEnvironmentServiceID::isEqual(const fnd::Object& other) const {
  const auto* that = dynamic_cast<const AFXEnvironmentServiceID*>(&other);
  return that != nullptr && hasEqualName(other) &&
         afx_model_detail::sameObjects(fnd::Value(environmentID_), fnd::Value(that->environmentID_));
}

std::size_t AFXEnvironmentServiceID::hash() const {
  return AFXServiceID::hash() ^ afx_model_detail::hashOf(fnd::Value(environmentID_));
}

std::string AFXEnvironmentServiceID::description() const {
  return fnd::StringWithFormat("Environment(%@) Service ID", fnd::Value(environmentID_).description());
}

// AFXCustomerServiceID

const fnd::Class& AFXCustomerServiceID::staticClass() {
  // Classes named by the property table are defined first: defining one
  // while the table is being built is not allowed.
  (void)AFXCustomerID::staticClass();
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCustomerServiceID", AFXServiceID::staticClass(),
      [] { return std::shared_ptr<AFXCustomerServiceID>(new AFXCustomerServiceID); },
      {afx_model_detail::memberProperty("customerID", &AFXCustomerServiceID::customerID_)},
      &AFXCustomerServiceID::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCustomerServiceID::makeReflection() {
  auto reflection = AFXServiceID::makeReflection();
  reflection->addPropertyForSelector("customerID", AFXCustomerID::staticClass());
  return reflection;
}

std::shared_ptr<AFXCustomerServiceID> AFXCustomerServiceID::initWithServiceName(std::optional<std::string> serviceName,
                                                                                std::shared_ptr<AFXCustomerID> customerID) {
  (void)staticClass();
  auto identity = std::shared_ptr<AFXCustomerServiceID>(new AFXCustomerServiceID);
  identity->setValueForKey(serviceName ? fnd::Value(*serviceName) : fnd::Value(), "serviceName");
  identity->customerID_ = std::move(customerID);
  return identity;
}

bool AFXCustomerServiceID::isEqual(const fnd::Object& other) const {
  const auto* that = dynamic_cast<const AFXCustomerServiceID*>(&other);
  return that != nullptr && hasEqualName(other) &&
         afx_model_detail::sameObjects(fnd::Value(customerID_), fnd::Value(that->customerID_));
}

std::size_t AFXCustomerServiceID::hash() const {
  return AFXServiceID::hash() ^ afx_model_detail::hashOf(fnd::Value(customerID_));
}

std::string AFXCustomerServiceID::description() const {
  return fnd::StringWithFormat("Customer(%@) Service ID", fnd::Value(customerID_).description());
}
