#include "interface/system_management/afx_activity.h"

#include "foundation/string.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::memberProperty;

const fnd::Class& AFXActivity::staticClass() {
  (void)fnd::UUID::staticClass();
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXActivity", AFXBaseModelObject::staticClass(), [] { return std::shared_ptr<AFXActivity>(new AFXActivity); },
      {memberProperty("identifier", &AFXActivity::identifier_), memberProperty("tierName", &AFXActivity::tierName_),
       memberProperty("reason", &AFXActivity::reason_)},
      &AFXActivity::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXActivity::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("identifier", fnd::UUID::staticClass());
  reflection->addPropertyForSelector("tierName", fnd::String::staticClass());
  reflection->addPropertyForSelector("reason", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXActivity> AFXActivity::initWithTierName(std::string tierName, std::string reason) {
  auto activity = std::dynamic_pointer_cast<AFXActivity>(staticClass().makeInstance());
  activity->identifier_ = fnd::UUID::make();
  activity->tierName_ = std::move(tierName);
  activity->reason_ = std::move(reason);
  return activity;
}

bool AFXActivity::isEqual(const fnd::Object& other) const {
  const auto* activity = dynamic_cast<const AFXActivity*>(&other);
  return activity != nullptr && fnd::Value(activity->identifier_).isEqual(fnd::Value(identifier_));
}

std::size_t AFXActivity::hash() const { return afx_model_detail::hashOf(fnd::Value(identifier_)); }

std::string AFXActivity::description() const {
  return "<AFXActivity " + (identifier_ ? identifier_->UUIDString() : std::string("(null)")) + " " +
         tierName_.value_or("(null)") + ": " + reason_.value_or("(null)") + ">";
}
