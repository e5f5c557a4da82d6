#include "interface/remote_configuration/afx_remote_configuration.h"

#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/model/afx_localizations_container.h"
#include "interface/model/afx_model_support.h"
#include "tools/qv_system_info.h"

using afx_model_detail::memberProperty;

namespace {

// The language of the first preferred locale ("de" of "de_AT.UTF-8").
std::string preferredLanguageCode() {
  const auto locales = QVSystemInfo::preferredLocales(1);
  if (locales.empty() || locales.front().empty()) return "en";
  const auto& locale = locales.front();
  const auto end = locale.find_first_of("-_.@");
  return locale.substr(0, end);
}

}  // namespace

const fnd::Class& AFXRemoteConfiguration::staticClass() {
  (void)AFXLocalizationsContainer::staticClass();
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXRemoteConfiguration", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXRemoteConfiguration>(new AFXRemoteConfiguration); },
      {memberProperty("version", &AFXRemoteConfiguration::version_),
       memberProperty("settingsContainer", &AFXRemoteConfiguration::settingsContainer_)},
      &AFXRemoteConfiguration::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXRemoteConfiguration::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("version", fnd::String::staticClass());
  reflection->addPropertyForSelector(
      "settingsContainer", fnd::Dictionary::staticClass(),
      {&fnd::String::staticClass(), &fnd::Array::staticClass(), &AFXLocalizationsContainer::staticClass(),
       &fnd::Number::staticClass()},
      fnd::Value(), nullptr);
  return reflection;
}

std::shared_ptr<AFXRemoteConfiguration> AFXRemoteConfiguration::initWithVersion(
    std::optional<std::string> version, std::shared_ptr<fnd::Dictionary> configurationSettings) {
  auto configuration = std::dynamic_pointer_cast<AFXRemoteConfiguration>(staticClass().makeInstance());
  configuration->version_ = std::move(version);
  configuration->settingsContainer_ = configurationSettings ? std::move(configurationSettings) : fnd::Dictionary::make();
  return configuration;
}

bool AFXRemoteConfiguration::shouldShowReferal2Button() const {
  if (!settingsContainer_) return false;
  const auto number = settingsContainer_->objectForKey(AFXRemoteConfigurationReferal2ButtonKey).as<fnd::Number>();
  return number && number->boolValue();
}

std::shared_ptr<fnd::Array> AFXRemoteConfiguration::localizationContainers() const {
  if (!settingsContainer_) return fnd::Array::make();
  auto array = settingsContainer_->objectForKey(AFXRemoteConfigurationLocalizationContainersKey).as<fnd::Array>();
  return array ? array : fnd::Array::make();
}

std::optional<std::string> AFXRemoteConfiguration::localizedStringForKey(std::string_view key) const {
  return localizedStringForKey(key, preferredLanguageCode());
}

std::optional<std::string> AFXRemoteConfiguration::localizedStringForKey(std::string_view key,
                                                                         std::string_view languageCode) const {
  const auto containers = localizationContainers();
  for (const auto& element : containers->elements()) {
    const auto container = element.as<AFXLocalizationsContainer>();
    if (container && container->key() == key) return container->stringForLanguageCode(languageCode);
  }
  return std::nullopt;
}

bool AFXRemoteConfiguration::isEqual(const fnd::Object& other) const {
  const auto* configuration = dynamic_cast<const AFXRemoteConfiguration*>(&other);
  return configuration != nullptr && configuration->version_ == version_ &&
         fnd::Value(configuration->settingsContainer_).isEqual(fnd::Value(settingsContainer_));
}

std::size_t AFXRemoteConfiguration::hash() const {
  return afx_model_detail::hashOf(version_) ^ afx_model_detail::hashOf(fnd::Value(settingsContainer_));
}
