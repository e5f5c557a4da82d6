#include "interface/placement/afx_attributes_storage.h"

#include "foundation/extended_attributes.h"

const fnd::Class& AFXAttributesStorage::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXAttributesStorage", &fnd::Object::staticClass());
  return cls;
}

AFXAttributesStorage::AFXAttributesStorage(Token, AttributesByName attributesByName)
    : attributesByName_(std::move(attributesByName)) {}

std::shared_ptr<AFXAttributesStorage> AFXAttributesStorage::initWithAttributesByName(AttributesByName attributesByName) {
  return std::make_shared<AFXAttributesStorage>(Token{}, std::move(attributesByName));
}

std::shared_ptr<AFXAttributesStorage> AFXAttributesStorage::storageForURL(const fnd::URL& url) {
  const fnd::ExtendedAttributeOptions options{.noFollow = true};
  AttributesByName attributes;
  const std::string path = url.path();
  auto names = fnd::ExtendedAttributes::names(path, options);
  if (names) {
    for (const std::string& name : *names) {
      // The value is read in one call, so it is whole or missing.
      if (auto value = fnd::ExtendedAttributes::value(path, name, options)) attributes.emplace(name, std::move(*value));
    }
  }
  return initWithAttributesByName(std::move(attributes));
}

void AFXAttributesStorage::setAttributesForURL(const fnd::URL& url) const {
  const std::string path = url.path();
  for (const auto& [name, value] : attributesByName_) {
    (void)fnd::ExtendedAttributes::setValue(path, name, value, {.noFollow = true});
  }
}
