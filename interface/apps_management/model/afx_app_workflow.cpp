#include "interface/apps_management/model/afx_app_workflow.h"

#include "foundation/format.h"
#include "foundation/number.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::memberProperty;

const fnd::Class& AFXAppWorkflow::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXAppWorkflow", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXAppWorkflow>(new AFXAppWorkflow); },
      {memberProperty("appID", &AFXAppWorkflow::appID_), memberProperty("state", &AFXAppWorkflow::state_),
       memberProperty("temporaryAppURL", &AFXAppWorkflow::temporaryAppURL_),
       memberProperty("appURL", &AFXAppWorkflow::appURL_),
       memberProperty("fractionCompleted", &AFXAppWorkflow::fractionCompleted_)},
      &AFXAppWorkflow::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXAppWorkflow::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("appID", fnd::Number::staticClass());
  reflection->addPropertyForSelector("state", fnd::Number::staticClass());
  reflection->addPropertyForSelector("temporaryAppURL", fnd::URL::staticClass());
  reflection->addPropertyForSelector("appURL", fnd::URL::staticClass());
  reflection->addPropertyForSelector("fractionCompleted", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<AFXAppWorkflow> AFXAppWorkflow::initWithAppID(std::optional<std::int64_t> appID,
                                                              std::shared_ptr<fnd::URL> installURL) {
  (void)staticClass();
  auto workflow = std::shared_ptr<AFXAppWorkflow>(new AFXAppWorkflow);
  workflow->appID_ = appID;
  workflow->appURL_ = std::move(installURL);
  return workflow;
}

std::string AFXAppWorkflow::objectForNotification() const {
  return fnd::StringWithFormat("%@ - %@", appID_ ? fnd::Value(*appID_) : fnd::Value(),
                               appURL_ ? appURL_->path() : "(null)");
}

std::shared_ptr<AFXRunningApplication> AFXAppWorkflow::runningApplication() const {
  return appURL_ ? AFXRunningApplicationOfBundleAtURL(*appURL_) : nullptr;
}

bool AFXAppWorkflow::isEqual(const fnd::Object& other) const {
  const auto* workflow = dynamic_cast<const AFXAppWorkflow*>(&other);
  return workflow != nullptr && workflow->appID_ == appID_;
}

std::size_t AFXAppWorkflow::hash() const { return appID_ ? std::hash<std::int64_t>{}(*appID_) : 0; }

std::string AFXAppWorkflow::description() const {
  return fnd::StringWithFormat("%@ appID = %@ at %@", AFXBaseMutableModelObject::description(),
                               appID_ ? fnd::Value(*appID_) : fnd::Value(), appURL_ ? appURL_->path() : "(null)");
}

// AFXTeaserWorkflow

// The records the table names are defined first: the table is built on the
// reflections queue, where a class defined for the first time could not
// register its own table (decoding a teaser workflow may come first).
const fnd::Class& AFXTeaserWorkflow::staticClass() {
  static const bool dependencies =
      ((void)AFXTeaserAppInstance::staticClass(), (void)AFXAppWorkflow::staticClass(), true);
  (void)dependencies;
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXTeaserWorkflow", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXTeaserWorkflow>(new AFXTeaserWorkflow); },
      {memberProperty("appInstance", &AFXTeaserWorkflow::appInstance_),
       memberProperty("state", &AFXTeaserWorkflow::state_),
       memberProperty("temporaryAppURL", &AFXTeaserWorkflow::temporaryAppURL_),
       memberProperty("fractionCompleted", &AFXTeaserWorkflow::fractionCompleted_),
       memberProperty("appWorkflow", &AFXTeaserWorkflow::appWorkflow_)},
      &AFXTeaserWorkflow::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXTeaserWorkflow::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("appInstance", AFXTeaserAppInstance::staticClass());
  reflection->addPropertyForSelector("state", fnd::Number::staticClass());
  reflection->addPropertyForSelector("temporaryAppURL", fnd::URL::staticClass());
  reflection->addPropertyForSelector("fractionCompleted", fnd::Number::staticClass());
  reflection->addPropertyForSelector("appWorkflow", AFXAppWorkflow::staticClass());
  return reflection;
}

std::shared_ptr<AFXTeaserWorkflow> AFXTeaserWorkflow::initWithAppInstance(
    std::shared_ptr<AFXTeaserAppInstance> appInstance, std::shared_ptr<AFXAppWorkflow> appWorkflow) {
  (void)staticClass();
  auto workflow = std::shared_ptr<AFXTeaserWorkflow>(new AFXTeaserWorkflow);
  workflow->appInstance_ = std::move(appInstance);
  if (appWorkflow) {
    workflow->temporaryAppURL_ = appWorkflow->temporaryAppURL();
    workflow->state_ = appWorkflow->state();
    workflow->fractionCompleted_ = appWorkflow->fractionCompleted();
  }
  workflow->appWorkflow_ = std::move(appWorkflow);
  return workflow;
}

bool AFXTeaserWorkflow::isEqual(const fnd::Object& other) const {
  const auto* workflow = dynamic_cast<const AFXTeaserWorkflow*>(&other);
  return workflow != nullptr && fnd::Value(workflow->appInstance_).isEqual(fnd::Value(appInstance_));
}

std::size_t AFXTeaserWorkflow::hash() const { return afx_model_detail::hashOf(fnd::Value(appInstance_)); }
