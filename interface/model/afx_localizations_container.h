#pragma once

// A text in several languages, keyed by language code.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/dictionary.h"
#include "interface/model/afx_base_model_object.h"

class AFXLocalizationsContainer final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null map is stored as an empty one.
  static std::shared_ptr<AFXLocalizationsContainer> initWithKey(std::optional<std::string> key,
                                                                std::shared_ptr<fnd::Dictionary> stringsMap);

  const std::optional<std::string>& key() const { return key_; }
  const std::shared_ptr<fnd::Dictionary>& stringsMap() const { return stringsMap_; }
  // The text in that language; nothing when there is none (or it is not a
  // text).
  std::optional<std::string> stringForLanguageCode(std::string_view languageCode) const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  // Same key and map; objects of other classes by identity.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXLocalizationsContainer() = default;
  std::optional<std::string> key_;
  std::shared_ptr<fnd::Dictionary> stringsMap_ = fnd::Dictionary::make();
};
