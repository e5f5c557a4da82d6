#pragma once

// The signed-in account of one deployment: who it is, the back end's view of
// the subscription, the Mac the sign-in is bound to and the access token.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_machine_info.h"
#include "tools/qv_enum_value_transformer.h"

using AFXCustomerSubscriptionState = std::uint64_t;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateUndefined = 0;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateTrial = 1;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStatePaid = 2;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateGracePeriod = 3;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateProcessing = 6;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateCanceled = 7;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateBlocked = 8;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateTrialBlocked = 9;
inline constexpr AFXCustomerSubscriptionState AFXCustomerSubscriptionStateFree = 10;

// The nine named states.
std::set<AFXCustomerSubscriptionState> AFXCustomerSubscriptionStateKnownStates();
// States by name ("paid"), default 0; one shared instance.
std::shared_ptr<const QVEnumValueTransformer> AFXCustomerSubscriptionStateValueTransformer();

class AFXCustomer final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null identifier is a programming error.
  static std::shared_ptr<AFXCustomer> initWithIdentifier(
      std::shared_ptr<AFXCustomerID> identifier, std::optional<std::string> backendID, std::optional<std::string> token,
      AFXCustomerSubscriptionState subscriptionState, std::shared_ptr<fnd::Date> subscriptionExpirationDate,
      std::shared_ptr<fnd::Date> startNotificationDate, std::shared_ptr<fnd::Date> gracePeriodExpirationDate,
      std::shared_ptr<AFXMachineInfo> machineInfo, bool hasPaymentInfo);
  // From the preference form (see userDefaultsValue) and the token kept
  // apart from it. Null unless "backendID" and "subscriptionExpirationDate"
  // are there; entries of the wrong class are left out.
  static std::shared_ptr<AFXCustomer> initWithToken(std::optional<std::string> token,
                                                    std::shared_ptr<AFXCustomerID> customerID,
                                                    const fnd::Value& userDefaultsValue);

  const std::shared_ptr<AFXCustomerID>& identifier() const { return identifier_; }
  const std::optional<std::string>& backendID() const { return backendID_; }
  const std::optional<std::string>& token() const { return token_; }
  AFXCustomerSubscriptionState subscriptionState() const { return subscriptionState_; }
  const std::shared_ptr<fnd::Date>& subscriptionExpirationDate() const { return subscriptionExpirationDate_; }
  const std::shared_ptr<fnd::Date>& startNotificationDate() const { return startNotificationDate_; }
  const std::shared_ptr<fnd::Date>& gracePeriodExpirationDate() const { return gracePeriodExpirationDate_; }
  const std::shared_ptr<AFXMachineInfo>& machineInfo() const { return machineInfo_; }
  bool hasPaymentInfo() const { return hasPaymentInfo_; }

  std::optional<std::string> accountName() const;
  std::shared_ptr<AFXEnvironmentID> environmentID() const;
  // Against the installed clock.
  bool isSubscriptionExpired() const;
  bool canNotifySubscriptionExpiration() const;

  // Everything but the token; dates and the machine only when set.
  std::shared_ptr<fnd::Dictionary> userDefaultsValue() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By identifier.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXCustomer() = default;

  std::shared_ptr<AFXCustomerID> identifier_;
  std::optional<std::string> backendID_;
  std::optional<std::string> token_;
  AFXCustomerSubscriptionState subscriptionState_ = AFXCustomerSubscriptionStateUndefined;
  std::shared_ptr<fnd::Date> subscriptionExpirationDate_;
  std::shared_ptr<fnd::Date> startNotificationDate_;
  std::shared_ptr<fnd::Date> gracePeriodExpirationDate_;
  std::shared_ptr<AFXMachineInfo> machineInfo_;
  bool hasPaymentInfo_ = false;
};

// Encrypted keyed archive of the customer, for other processes of ours.
std::vector<std::uint8_t> AFXCustomerGetSecureSerialization(const AFXCustomer& customer);
// The customer, or null for bytes that are not one.
std::shared_ptr<AFXCustomer> AFXCustomerMakeFromSecureSerialization(std::span<const std::uint8_t> data);
