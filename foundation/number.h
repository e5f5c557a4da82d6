#pragma once

#include <compare>
#include <cstdint>
#include <memory>

#include "foundation/object.h"

namespace fnd {

// A boolean, signed or unsigned 64-bit integer, or real. Numbers compare by
// numeric value whatever their kind, as the platform's do: 1, 1.0 and true are
// equal and hash alike.
class Number final : public Object {
 public:
  enum class Kind { boolean, integer, unsignedInteger, real };

  static const Class& staticClass();

  static std::shared_ptr<Number> numberWithBool(bool value);
  static std::shared_ptr<Number> numberWithInteger(std::int64_t value);
  static std::shared_ptr<Number> numberWithUnsignedInteger(std::uint64_t value);
  static std::shared_ptr<Number> numberWithDouble(double value);

  Kind kind() const { return kind_; }
  bool boolValue() const;
  // Reals are truncated toward zero; values outside the type's range are
  // clamped to it.
  std::int64_t integerValue() const;
  std::uint64_t unsignedIntegerValue() const;
  double doubleValue() const;

  // NaN orders after every other number and equals itself, so numbers stay
  // usable as set elements and dictionary keys.
  std::strong_ordering compare(const Number& other) const;

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 public:
  // Made only by the class itself (see ObjectToken).
  Number(ObjectToken<Number>, Kind kind, std::int64_t i, std::uint64_t u, double d) : kind_(kind), i_(i), u_(u), d_(d) {}

 private:
  Kind kind_;
  std::int64_t i_;
  std::uint64_t u_;
  double d_;
};

}  // namespace fnd
