#include "foundation/number.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

#include "foundation/hashing.h"

namespace fnd {

namespace {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

constexpr double kTwoTo127 = 170141183460469231731687303715884105728.0;

// Integral kinds as one exact integer.
Int128 exactInteger(Number::Kind kind, std::int64_t i, std::uint64_t u) {
  return kind == Number::Kind::unsignedInteger ? static_cast<Int128>(u) : static_cast<Int128>(i);
}

std::strong_ordering compareReals(double a, double b) {
  bool aNaN = std::isnan(a);
  bool bNaN = std::isnan(b);
  if (aNaN || bNaN) return aNaN == bNaN ? std::strong_ordering::equal : (aNaN ? std::strong_ordering::greater : std::strong_ordering::less);
  if (a < b) return std::strong_ordering::less;
  if (a > b) return std::strong_ordering::greater;
  return std::strong_ordering::equal;
}

// Exact comparison of a real with an integer, without rounding the integer.
std::strong_ordering compareRealWithInteger(double d, Int128 n) {
  if (std::isnan(d)) return std::strong_ordering::greater;
  if (d >= kTwoTo127) return std::strong_ordering::greater;
  if (d < -kTwoTo127) return std::strong_ordering::less;
  double whole = std::trunc(d);
  Int128 t = static_cast<Int128>(whole);
  if (t != n) return t <=> n;
  double fraction = d - whole;
  if (fraction > 0) return std::strong_ordering::greater;
  if (fraction < 0) return std::strong_ordering::less;
  return std::strong_ordering::equal;
}

std::size_t hashInteger(Int128 n) {
  auto low = static_cast<std::uint64_t>(n);
  auto high = static_cast<std::uint64_t>(static_cast<UInt128>(n) >> 64);
  return detail::hashCombine(std::hash<std::uint64_t>{}(low), std::hash<std::uint64_t>{}(high));
}

template <class T>
T clampReal(double d) {
  if (std::isnan(d)) return 0;
  if (d <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (d >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(d);
}

}  // namespace

const Class& Number::staticClass() {
  static const Class& cls = Class::define("NSNumber", &Object::staticClass(), [] { return numberWithInteger(0); });
  return cls;
}

std::shared_ptr<Number> Number::numberWithBool(bool value) {
  return std::make_shared<Number>(ObjectToken<Number>{}, Kind::boolean, value ? 1 : 0, value ? 1 : 0, value ? 1.0 : 0.0);
}

std::shared_ptr<Number> Number::numberWithInteger(std::int64_t value) {
  return std::make_shared<Number>(ObjectToken<Number>{}, Kind::integer, value, 0, 0);
}

std::shared_ptr<Number> Number::numberWithUnsignedInteger(std::uint64_t value) {
  return std::make_shared<Number>(ObjectToken<Number>{}, Kind::unsignedInteger, 0, value, 0);
}

std::shared_ptr<Number> Number::numberWithDouble(double value) {
  return std::make_shared<Number>(ObjectToken<Number>{}, Kind::real, 0, 0, value);
}

bool Number::boolValue() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return i_ != 0;
    case Kind::unsignedInteger:
      return u_ != 0;
    case Kind::real:
      return d_ != 0.0;
  }
  return false;
}

std::int64_t Number::integerValue() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return i_;
    case Kind::unsignedInteger:
      return u_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                 ? std::numeric_limits<std::int64_t>::max()
                 : static_cast<std::int64_t>(u_);
    case Kind::real:
      return clampReal<std::int64_t>(d_);
  }
  return 0;
}

std::uint64_t Number::unsignedIntegerValue() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return i_ < 0 ? 0 : static_cast<std::uint64_t>(i_);
    case Kind::unsignedInteger:
      return u_;
    case Kind::real:
      return clampReal<std::uint64_t>(d_);
  }
  return 0;
}

double Number::doubleValue() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return static_cast<double>(i_);
    case Kind::unsignedInteger:
      return static_cast<double>(u_);
    case Kind::real:
      return d_;
  }
  return 0;
}

std::strong_ordering Number::compare(const Number& other) const {
  bool realA = kind_ == Kind::real;
  bool realB = other.kind_ == Kind::real;
  if (realA && realB) return compareReals(d_, other.d_);
  if (realA) return compareRealWithInteger(d_, exactInteger(other.kind_, other.i_, other.u_));
  if (realB) return 0 <=> compareRealWithInteger(other.d_, exactInteger(kind_, i_, u_));
  return exactInteger(kind_, i_, u_) <=> exactInteger(other.kind_, other.i_, other.u_);
}

bool Number::isEqual(const Object& other) const {
  const auto* n = dynamic_cast<const Number*>(&other);
  return n != nullptr && compare(*n) == std::strong_ordering::equal;
}

std::size_t Number::hash() const {
  if (kind_ != Kind::real) return hashInteger(exactInteger(kind_, i_, u_));
  if (std::isnan(d_)) return 0x7ff8;
  // Integral reals hash as the integer they equal.
  if (std::trunc(d_) == d_ && d_ < kTwoTo127 && d_ >= -kTwoTo127) return hashInteger(static_cast<Int128>(d_));
  return std::hash<double>{}(d_);
}

std::string Number::description() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return std::to_string(i_);
    case Kind::unsignedInteger:
      return std::to_string(u_);
    case Kind::real: {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, d_);
      return std::string(buffer, result.ptr);
    }
  }
  return {};
}

}  // namespace fnd
