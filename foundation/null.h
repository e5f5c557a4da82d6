#pragma once

#include <memory>

#include "foundation/object.h"

namespace fnd {

// The one object that stands for "nothing" inside collections.
class Null final : public Object {
 public:
  static const Class& staticClass();
  static const std::shared_ptr<Null>& null();

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override { return other.isMemberOfClass(staticClass()); }
  std::size_t hash() const override { return 0x6e756c6cU; }
  std::string description() const override { return "<null>"; }

 private:
  Null() = default;
};

}  // namespace fnd
