#pragma once

// A reference between the objects of a keyed archive: a property-list value
// of its own kind (binary plists store it natively; XML writes it as
// {"CF$UID": n}).

#include <cstdint>
#include <memory>

#include "foundation/object.h"

namespace fnd {

class UID final : public Object {
 public:
  static const Class& staticClass();
  static std::shared_ptr<UID> make(std::uint64_t value);

  std::uint64_t value() const { return value_; }

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  // "<CFKeyedArchiverUID>{value = 3}".
  std::string description() const override;

 public:
  // Made only by the class itself (see ObjectToken).
  UID(ObjectToken<UID>, std::uint64_t value) : value_(value) {}

 private:
  std::uint64_t value_;
};

}  // namespace fnd
