#pragma once

// The configuration the back end sends for an environment: a version and a
// dictionary of settings (arrays, localization containers, numbers, texts).

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "interface/model/afx_base_model_object.h"

inline constexpr std::string_view AFXRemoteConfigurationReferal2ButtonKey = "should_show_referal_2.0_button";
inline constexpr std::string_view AFXRemoteConfigurationLocalizationContainersKey = "localization_containers";

class AFXRemoteConfiguration final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Null settings become an empty dictionary.
  static std::shared_ptr<AFXRemoteConfiguration> initWithVersion(std::optional<std::string> version,
                                                                 std::shared_ptr<fnd::Dictionary> configurationSettings);

  const std::optional<std::string>& version() const { return version_; }
  const std::shared_ptr<fnd::Dictionary>& settingsContainer() const { return settingsContainer_; }

  // NO unless the settings hold a number under the referral key.
  bool shouldShowReferal2Button() const;
  // The array under the localization key; empty when absent or not an array.
  std::shared_ptr<fnd::Array> localizationContainers() const;
  // The first container of that key, in the preferred language ("en" when
  // none is preferred); none when no container has the key.
  std::optional<std::string> localizedStringForKey(std::string_view key) const;
  std::optional<std::string> localizedStringForKey(std::string_view key, std::string_view languageCode) const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXRemoteConfiguration() = default;
  std::optional<std::string> version_;
  std::shared_ptr<fnd::Dictionary> settingsContainer_ = fnd::Dictionary::make();
};
