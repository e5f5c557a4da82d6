#include "interface/apps_management/model/afx_executable_info.h"

#include "foundation/string.h"
#include "interface/apps_management/model/afx_app_version_find.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::memberProperty;

const fnd::Class& AFXExecutableInfo::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXExecutableInfo", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXExecutableInfo>(new AFXExecutableInfo); },
      {memberProperty("path", &AFXExecutableInfo::path_), memberProperty("arguments", &AFXExecutableInfo::arguments_)},
      &AFXExecutableInfo::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXExecutableInfo::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("path", fnd::String::staticClass());
  reflection->addPropertyForSelector("arguments", fnd::Array::staticClass(), fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXExecutableInfo> AFXExecutableInfo::initWithPath(std::string path,
                                                                   std::shared_ptr<fnd::Array> arguments) {
  auto info = std::dynamic_pointer_cast<AFXExecutableInfo>(staticClass().makeInstance());
  info->path_ = std::move(path);
  info->arguments_ = arguments ? std::move(arguments) : fnd::Array::make();
  return info;
}

bool AFXExecutableInfo::isEqual(const fnd::Object& other) const {
  const auto* info = dynamic_cast<const AFXExecutableInfo*>(&other);
  return info != nullptr && info->path_ == path_ && fnd::Value(info->arguments_).isEqual(fnd::Value(arguments_));
}

std::size_t AFXExecutableInfo::hash() const { return afx_model_detail::hashOf(path_); }

fnd::Value AFXAppVersionFind(const AFXApp& app, std::string_view uiVersion) {
  for (const auto& value : app.versions()->elements()) {
    const auto* version = dynamic_cast<const AFXAppVersion*>(value.get());
    if (version != nullptr && version->uiVersion() == uiVersion) return value;
  }
  return {};
}
