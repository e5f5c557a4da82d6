#pragma once

// A snapshot of one file-system item's extended attributes, so that an item
// put in its place can be given them back.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/object.h"
#include "foundation/url.h"

class AFXAttributesStorage final : public fnd::Object {
  struct Token {};

 public:
  using AttributesByName = std::map<std::string, std::vector<std::uint8_t>>;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  // Every attribute of the item, read without following a symbolic link.
  // An attribute whose value changed size between asking and reading is
  // left out rather than stored cut short.
  static std::shared_ptr<AFXAttributesStorage> storageForURL(const fnd::URL& url);
  static std::shared_ptr<AFXAttributesStorage> initWithAttributesByName(AttributesByName attributesByName);

  AFXAttributesStorage(Token, AttributesByName attributesByName);

  const AttributesByName& attributesByName() const { return attributesByName_; }

  // Writes every stored attribute onto the item, without following a
  // symbolic link; failures are ignored.
  void setAttributesForURL(const fnd::URL& url) const;

 private:
  AttributesByName attributesByName_;
};
