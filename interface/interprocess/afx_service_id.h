#pragma once

// The identity under which one service object exists: a service name, and
// for services that exist per environment or per customer, that identifier.

#include <memory>
#include <optional>
#include <string>

#include "interface/model/afx_base_model_object.h"

class AFXEnvironmentID;
class AFXCustomerID;

class AFXServiceID : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXServiceID> initWithServiceName(std::optional<std::string> serviceName);

  const std::optional<std::string>& serviceName() const { return serviceName_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // Any identity with an equal name.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 protected:
  AFXServiceID() = default;
  bool hasEqualName(const fnd::Object& other) const;

 private:
  friend struct AFXServiceIDAccess;
  std::optional<std::string> serviceName_;
};

class AFXGlobalServiceID final : public AFXServiceID {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXGlobalServiceID> initWithServiceName(std::optional<std::string> serviceName);

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::string description() const override { return "Global Service ID"; }

 private:
  AFXGlobalServiceID() = default;
};

class AFXEnvironmentServiceID final : public AFXServiceID {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXEnvironmentServiceID> initWithServiceName(std::optional<std::string> serviceName,
                                                                      std::shared_ptr<AFXEnvironmentID> environmentID);

  const std::shared_ptr<AFXEnvironmentID>& environmentID() const { return environmentID_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXEnvironmentServiceID() = default;
  std::shared_ptr<AFXEnvironmentID> environmentID_;
};

class AFXCustomerServiceID final : public AFXServiceID {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCustomerServiceID> initWithServiceName(std::optional<std::string> serviceName,
                                                                   std::shared_ptr<AFXCustomerID> customerID);

  const std::shared_ptr<AFXCustomerID>& customerID() const { return customerID_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXCustomerServiceID() = default;
  std::shared_ptr<AFXCustomerID> customerID_;
};
