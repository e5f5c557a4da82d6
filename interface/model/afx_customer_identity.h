#pragma once

// The displayable face of an account: its name and picture. Compared by
// identity.

#include <memory>
#include <optional>
#include <string>

#include "foundation/data.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_customer_id.h"

class AFXCustomerIdentity final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // `image` holds the picture's encoded bytes (PNG or JPEG).
  static std::shared_ptr<AFXCustomerIdentity> initWithCustomerID(std::shared_ptr<AFXCustomerID> customerID,
                                                                 std::optional<std::string> name,
                                                                 std::shared_ptr<fnd::Data> image);

  const std::shared_ptr<AFXCustomerID>& customerID() const { return customerID_; }
  const std::optional<std::string>& name() const { return name_; }
  const std::shared_ptr<fnd::Data>& image() const { return image_; }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  AFXCustomerIdentity() = default;
  std::shared_ptr<AFXCustomerID> customerID_;
  std::optional<std::string> name_;
  std::shared_ptr<fnd::Data> image_;
};
