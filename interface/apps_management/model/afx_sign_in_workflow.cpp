#include "interface/apps_management/model/afx_sign_in_workflow.h"

#include "foundation/number.h"
#include "interface/model/afx_model_classes.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::memberProperty;

// The table names the customer and environment records. Their classes are
// defined first: the table is built on the reflections queue, where a class
// defined for the first time could not register its own table.
const fnd::Class& AFXSignInWorkflow::staticClass() {
  static const bool dependencies = (AFXRegisterModelClasses(), (void)AFXRunningApplication::staticClass(), true);
  (void)dependencies;
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXSignInWorkflow", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXSignInWorkflow>(new AFXSignInWorkflow); },
      {memberProperty("customerID", &AFXSignInWorkflow::customerID_),
       memberProperty("state", &AFXSignInWorkflow::state_),
       memberProperty("environment", &AFXSignInWorkflow::environment_),
       memberProperty("customer", &AFXSignInWorkflow::customer_),
       memberProperty("environmentPreparationFractionCompleted",
                      &AFXSignInWorkflow::environmentPreparationFractionCompleted_),
       memberProperty("runningApplication", &AFXSignInWorkflow::runningApplication_),
       memberProperty("presentationStyle", &AFXSignInWorkflow::presentationStyle_),
       memberProperty("lastError", &AFXSignInWorkflow::lastError_)},
      &AFXSignInWorkflow::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXSignInWorkflow::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("customerID", AFXCustomerID::staticClass());
  reflection->addPropertyForSelector("state", fnd::Number::staticClass());
  reflection->addPropertyForSelector("environment", AFXEnvironment::staticClass());
  reflection->addPropertyForSelector("customer", AFXCustomer::staticClass());
  reflection->addPropertyForSelector("environmentPreparationFractionCompleted", fnd::Number::staticClass());
  reflection->addPropertyForSelector("runningApplication", AFXRunningApplication::staticClass());
  reflection->addPropertyForSelector("presentationStyle", fnd::Number::staticClass());
  reflection->addPropertyForSelector("lastError", fnd::ErrorObject::staticClass());
  return reflection;
}

std::shared_ptr<AFXSignInWorkflow> AFXSignInWorkflow::make() {
  (void)staticClass();
  return std::shared_ptr<AFXSignInWorkflow>(new AFXSignInWorkflow);
}

std::optional<fnd::Error> AFXSignInWorkflow::lastError() const {
  return lastError_ ? std::optional<fnd::Error>(fnd::Error(lastError_)) : std::nullopt;
}
