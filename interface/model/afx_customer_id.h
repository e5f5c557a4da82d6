#pragma once

// Who a customer is: an account name within one deployment. Preferences key
// per-customer settings by its texts.

#include <memory>
#include <optional>
#include <string>

#include "foundation/dictionary.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_environment_id.h"

class AFXCustomerID final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Null arguments are a programming error.
  static std::shared_ptr<AFXCustomerID> initWithAccountName(std::string accountName,
                                                            std::shared_ptr<AFXEnvironmentID> environmentID);
  // From the preference form; null unless "accountName" and "environment"
  // are both texts.
  static std::shared_ptr<AFXCustomerID> initWithUserDefaultsValue(const fnd::Value& value);

  const std::optional<std::string>& accountName() const { return accountName_; }
  const std::shared_ptr<AFXEnvironmentID>& environmentID() const { return environmentID_; }

  // {"accountName": name, "environment": the identifier's preference value}.
  std::shared_ptr<fnd::Dictionary> userDefaultsValue() const;
  // "name - environment preference value".
  std::string userDefaultsKey() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXCustomerID() = default;
  std::string environmentValue() const;

  std::optional<std::string> accountName_;
  std::shared_ptr<AFXEnvironmentID> environmentID_;
};
