#pragma once

#include <memory>
#include <string>

#include "foundation/object.h"

namespace fnd {

// Text as UTF-8. "NSMutableString" instances differ only in their class, which
// archives keep.
class String final : public Object {
 public:
  static const Class& staticClass();
  static const Class& mutableClass();

  static std::shared_ptr<String> make(std::string value);
  static std::shared_ptr<String> makeMutable(std::string value);

  const std::string& value() const { return value_; }

  const Class& objectClass() const override { return *class_; }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return value_; }

 public:
  // Made only by the class itself (see ObjectToken).
  String(ObjectToken<String>, std::string value, const Class& cls) : value_(std::move(value)), class_(&cls) {}

 private:
  std::string value_;
  const Class* class_;
};

}  // namespace fnd
