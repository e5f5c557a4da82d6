#pragma once

// What a web request presents for a customer: the account and its token.
// Obtaining a token from the customer endpoint belongs to the web services.

#include <memory>
#include <optional>
#include <string>

#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_customer_id.h"

class AFXCustomerCredentials final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXCustomerCredentials> initWithCustomerID(std::shared_ptr<AFXCustomerID> customerID,
                                                                    std::optional<std::string> authToken);

  const std::shared_ptr<AFXCustomerID>& customerID() const { return customerID_; }
  const std::optional<std::string>& authToken() const { return authToken_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXCustomerCredentials() = default;
  std::shared_ptr<AFXCustomerID> customerID_;
  std::optional<std::string> authToken_;
};
