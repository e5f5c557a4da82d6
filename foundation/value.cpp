#include "foundation/value.h"

#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace fnd {

Value::Value(const char* string) : Value(String::make(string ? string : "")) {}
Value::Value(std::string string) : Value(String::make(std::move(string))) {}
Value::Value(std::string_view string) : Value(String::make(std::string(string))) {}
Value::Value(double real) : Value(Number::numberWithDouble(real)) {}
Value::Value(const Error& error) : Value(error.object()) {}

Value Value::makeBoolean(bool value) { return Number::numberWithBool(value); }
Value Value::makeInteger(std::int64_t value) { return Number::numberWithInteger(value); }
Value Value::makeUnsigned(std::uint64_t value) { return Number::numberWithUnsignedInteger(value); }

std::string Value::description() const { return object_ ? object_->description() : "(null)"; }

bool Value::isEqual(const Value& other) const {
  if (object_ == other.object_) return true;
  if (!object_ || !other.object_) return false;
  return object_->isEqual(*other.object_);
}

std::size_t Value::hash() const { return object_ ? object_->hash() : 0; }

std::optional<std::string> Value::stringValue() const {
  if (auto s = as<String>()) return s->value();
  return std::nullopt;
}

std::optional<std::int64_t> Value::integerValue() const {
  if (auto n = as<Number>()) return n->integerValue();
  return std::nullopt;
}

std::optional<double> Value::doubleValue() const {
  if (auto n = as<Number>()) return n->doubleValue();
  return std::nullopt;
}

std::optional<bool> Value::boolValue() const {
  if (auto n = as<Number>()) return n->boolValue();
  return std::nullopt;
}

std::optional<Error> Value::errorValue() const {
  if (auto e = as<ErrorObject>()) return Error(std::move(e));
  return std::nullopt;
}

}  // namespace fnd
