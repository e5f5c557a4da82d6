#pragma once

// The progress record of a customer signing in, which the desktop client
// publishes while it works. The meanings of `state` and `presentationStyle`
// are the client's; this record only carries them.

#include <cstdint>
#include <memory>
#include <optional>

#include "foundation/error.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment.h"

class AFXSignInWorkflow final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // An empty workflow: no customer, state 0, nothing prepared yet.
  static std::shared_ptr<AFXSignInWorkflow> make();

  const std::shared_ptr<AFXCustomerID>& customerID() const { return customerID_; }
  void setCustomerID(std::shared_ptr<AFXCustomerID> customerID) { customerID_ = std::move(customerID); }
  std::int64_t state() const { return state_; }
  void setState(std::int64_t state) { state_ = state; }
  const std::shared_ptr<AFXEnvironment>& environment() const { return environment_; }
  void setEnvironment(std::shared_ptr<AFXEnvironment> environment) { environment_ = std::move(environment); }
  const std::shared_ptr<AFXCustomer>& customer() const { return customer_; }
  void setCustomer(std::shared_ptr<AFXCustomer> customer) { customer_ = std::move(customer); }
  double environmentPreparationFractionCompleted() const { return environmentPreparationFractionCompleted_; }
  void setEnvironmentPreparationFractionCompleted(double fraction) {
    environmentPreparationFractionCompleted_ = fraction;
  }
  // The application that asked for the sign-in.
  const std::shared_ptr<AFXRunningApplication>& runningApplication() const { return runningApplication_; }
  void setRunningApplication(std::shared_ptr<AFXRunningApplication> application) {
    runningApplication_ = std::move(application);
  }
  std::int64_t presentationStyle() const { return presentationStyle_; }
  void setPresentationStyle(std::int64_t style) { presentationStyle_ = style; }
  std::optional<fnd::Error> lastError() const;
  void setLastError(const std::optional<fnd::Error>& error) { lastError_ = error ? error->object() : nullptr; }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  AFXSignInWorkflow() = default;

  std::shared_ptr<AFXCustomerID> customerID_;
  std::int64_t state_ = 0;
  std::shared_ptr<AFXEnvironment> environment_;
  std::shared_ptr<AFXCustomer> customer_;
  double environmentPreparationFractionCompleted_ = 0;
  std::shared_ptr<AFXRunningApplication> runningApplication_;
  std::int64_t presentationStyle_ = 0;
  std::shared_ptr<fnd::ErrorObject> lastError_;
};
