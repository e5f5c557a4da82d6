#pragma once

// A handle to any object, or nil. Values are what collections, user
// information and property access exchange; they compare and hash by the
// object's own equality, so they can key dictionaries and sets.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/object.h"

namespace fnd {

class Error;

class Value {
 public:
  Value() = default;
  Value(std::nullptr_t) {}
  template <class T>
    requires std::derived_from<T, Object>
  Value(std::shared_ptr<T> object) : object_(std::move(object)) {}

  // Conveniences that make the platform value of the argument.
  Value(const char* string);
  Value(std::string string);
  Value(std::string_view string);
  template <class B>
    requires std::same_as<B, bool>
  Value(B boolean) : Value(makeBoolean(boolean)) {}
  template <std::signed_integral I>
    requires(!std::same_as<I, bool> && !std::same_as<I, char>)
  Value(I integer) : Value(makeInteger(static_cast<std::int64_t>(integer))) {}
  template <std::unsigned_integral U>
    requires(!std::same_as<U, bool>)
  Value(U integer) : Value(makeUnsigned(static_cast<std::uint64_t>(integer))) {}
  Value(double real);
  Value(const Error& error);

  bool isNil() const { return object_ == nullptr; }
  explicit operator bool() const { return object_ != nullptr; }

  Object* get() const { return object_.get(); }
  Object* operator->() const { return object_.get(); }
  const std::shared_ptr<Object>& object() const { return object_; }

  // The object as T, or null when it is nil or of another class.
  template <class T>
  std::shared_ptr<T> as() const {
    if constexpr (std::is_base_of_v<Object, T>) {
      return objectCast<T>(object_);
    } else {
      return std::dynamic_pointer_cast<T>(object_);
    }
  }

  bool isKindOfClass(const Class& cls) const { return object_ && object_->isKindOfClass(cls); }

  // "(null)" for nil.
  std::string description() const;

  // nil equals only nil.
  bool isEqual(const Value& other) const;
  friend bool operator==(const Value& a, const Value& b) { return a.isEqual(b); }
  std::size_t hash() const;

  // Typed readings; empty when the value is not of that kind.
  std::optional<std::string> stringValue() const;
  std::optional<std::int64_t> integerValue() const;
  std::optional<double> doubleValue() const;
  std::optional<bool> boolValue() const;
  std::optional<Error> errorValue() const;

 private:
  static Value makeBoolean(bool value);
  static Value makeInteger(std::int64_t value);
  static Value makeUnsigned(std::uint64_t value);

  std::shared_ptr<Object> object_;
};

struct ValueHash {
  std::size_t operator()(const Value& value) const { return value.hash(); }
};

}  // namespace fnd

template <>
struct std::hash<fnd::Value> {
  std::size_t operator()(const fnd::Value& value) const { return value.hash(); }
};
