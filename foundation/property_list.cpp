#include "foundation/property_list.h"

#include <unordered_set>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/property_list_codec.h"
#include "foundation/string.h"
#include "foundation/uid.h"

namespace fnd {

const Class& UID::staticClass() {
  static const Class& cls = Class::define("CFKeyedArchiverUID", &Object::staticClass());
  return cls;
}

std::shared_ptr<UID> UID::make(std::uint64_t value) { return std::shared_ptr<UID>(new UID(value)); }

bool UID::isEqual(const Object& other) const {
  const auto* that = dynamic_cast<const UID*>(&other);
  return that && that->value_ == value_;
}

std::size_t UID::hash() const { return std::hash<std::uint64_t>{}(value_) ^ 0x55494400u; }

std::string UID::description() const { return StringWithFormat("<CFKeyedArchiverUID>{value = %@}", value_); }

namespace plist_codec {

Error corruptError(std::string debugDescription) {
  return Error(NSCocoaErrorDomain, NSPropertyListReadCorruptError,
               {{Value(NSLocalizedDescriptionKey),
                 Value("The data couldn\u2019t be read because it isn\u2019t in the correct format.")},
                {Value(NSDebugDescriptionErrorKey), Value(std::move(debugDescription))}});
}

}  // namespace plist_codec

namespace {

// The first value that keeps the tree from being a property list, or none.
using Checked = std::unordered_set<const Object*>;

// Containers already checked are skipped, so shared subtrees cost once.
std::optional<std::string> invalidPart(const Value& value, PropertyListFormat format, std::size_t depth,
                                       Checked& checked) {
  if (value.isNil()) return std::string("nil");
  if (depth > kPropertyListMaximumDepth) return std::string("nesting deeper than ") + std::to_string(kPropertyListMaximumDepth);
  const Object& object = *value.get();
  if (dynamic_cast<const String*>(&object) || dynamic_cast<const Number*>(&object) ||
      dynamic_cast<const Data*>(&object) || dynamic_cast<const Date*>(&object) || dynamic_cast<const UID*>(&object)) {
    return std::nullopt;
  }
  if (!checked.insert(&object).second) return std::nullopt;
  if (const auto* array = dynamic_cast<const Array*>(&object)) {
    for (const Value& element : array->elements()) {
      if (auto invalid = invalidPart(element, format, depth + 1, checked)) return invalid;
    }
    return std::nullopt;
  }
  if (const auto* dictionary = dynamic_cast<const Dictionary*>(&object)) {
    for (const auto& [key, element] : dictionary->entries()) {
      if (!key.as<String>()) return StringWithFormat("a dictionary key of class %@", key.isNil() ? std::string("nil") : key.get()->objectClass().name());
      if (auto invalid = invalidPart(element, format, depth + 1, checked)) return invalid;
    }
    return std::nullopt;
  }
  return StringWithFormat("a value of class %@", object.objectClass().name());
}

}  // namespace

bool PropertyListSerialization::propertyListIsValid(const Value& plist, PropertyListFormat format) {
  Checked checked;
  return !invalidPart(plist, format, 0, checked);
}

Expected<std::vector<std::uint8_t>> PropertyListSerialization::dataWithPropertyList(const Value& plist,
                                                                                  PropertyListFormat format) {
  Checked checked;
  if (auto invalid = invalidPart(plist, format, 0, checked)) {
    return Error(NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                 {{Value(NSDebugDescriptionErrorKey),
                   Value(StringWithFormat("Property list invalid for format: %@", *invalid))}});
  }
  return format == PropertyListFormat::binary ? plist_codec::writeBinary(plist) : plist_codec::writeXML(plist);
}

Expected<Value> PropertyListSerialization::propertyListWithData(std::span<const std::uint8_t> bytes,
                                                                PropertyListFormat* format) {
  if (plist_codec::isBinary(bytes)) {
    if (format) *format = PropertyListFormat::binary;
    return plist_codec::readBinary(bytes);
  }
  if (format) *format = PropertyListFormat::xml;
  return plist_codec::readXML(bytes);
}

}  // namespace fnd
