#include "foundation/property_list.h"

#include <algorithm>
#include <unordered_map>

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

std::shared_ptr<UID> UID::make(std::uint64_t value) { return std::make_shared<UID>(ObjectToken<UID>{}, value); }

bool UID::isEqual(const Object& other) const {
  const auto* that = objectCast<UID>(&other);
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

// Finds the first value that keeps a tree from being a property list.
class Validator {
 public:
  std::optional<std::string> problemIn(const Value& root) {
    height(root, 0);
    return std::move(problem_);
  }

 private:
  static bool isScalar(const Object& object) {
    return objectCast<String>(&object) || objectCast<Number>(&object) ||
           objectCast<Data>(&object) || objectCast<Date>(&object) ||
           objectCast<UID>(&object);
  }

  std::size_t fail(std::string problem) {
    if (!problem_) problem_ = std::move(problem);
    return 0;
  }

  // The containers nested in `value`, itself included, for a value `depth`
  // containers down. A shared container is measured once, yet must fit the
  // depth limit on every path to it, as readers and writers follow each.
  std::size_t height(const Value& value, std::size_t depth) {
    if (problem_) return 0;
    if (value.isNil()) return fail("nil");
    const Object& object = *value.get();
    if (isScalar(object)) return 0;
    if (auto known = heights_.find(&object); known != heights_.end()) {
      if (depth + known->second > kPropertyListMaximumDepth) return tooDeep();
      return known->second;
    }
    const auto* array = objectCast<Array>(&object);
    const auto* dictionary = objectCast<Dictionary>(&object);
    if (!array && !dictionary) return fail(StringWithFormat("a value of class %@", object.objectClass().name()));
    if (depth >= kPropertyListMaximumDepth) return tooDeep();
    std::size_t tallest = 0;
    if (array) {
      for (const Value& element : array->elements()) tallest = std::max(tallest, height(element, depth + 1));
    } else {
      for (const auto& [key, element] : dictionary->entries()) {
        if (!key.as<String>()) {
          return fail(StringWithFormat("a dictionary key of class %@", key.get()->objectClass().name()));
        }
        tallest = std::max(tallest, height(element, depth + 1));
      }
    }
    heights_.emplace(&object, tallest + 1);
    return tallest + 1;
  }

  std::size_t tooDeep() {
    return fail(StringWithFormat("containers nested deeper than %@ levels", kPropertyListMaximumDepth));
  }

  std::unordered_map<const Object*, std::size_t> heights_;
  std::optional<std::string> problem_;
};

}  // namespace

bool PropertyListSerialization::propertyListIsValid(const Value& plist, PropertyListFormat) {
  return !Validator().problemIn(plist);
}

Expected<std::vector<std::uint8_t>> PropertyListSerialization::dataWithPropertyList(const Value& plist,
                                                                                  PropertyListFormat format) {
  if (auto problem = Validator().problemIn(plist)) {
    return Error(NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                 {{Value(NSLocalizedDescriptionKey),
                   Value("The data couldn\u2019t be written because it isn\u2019t in the correct format.")},
                  {Value(NSDebugDescriptionErrorKey),
                   Value(StringWithFormat("Property list invalid for format: %@", *problem))}});
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
