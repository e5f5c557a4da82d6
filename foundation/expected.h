#pragma once

// The result of a synchronous operation that can fail: a value or an Error.
// Results are [[nodiscard]] so no error is dropped silently.

#include <utility>
#include <variant>

#include "foundation/check.h"
#include "foundation/error.h"

namespace fnd {

template <class T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
  Expected(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}

  bool hasValue() const { return storage_.index() == 0; }
  explicit operator bool() const { return hasValue(); }

  // Reading the value of a failure (or the error of a success) is a
  // programming error.
  T& value() & {
    FND_PARAMETER_ASSERT(hasValue());
    return std::get<0>(storage_);
  }
  const T& value() const& {
    FND_PARAMETER_ASSERT(hasValue());
    return std::get<0>(storage_);
  }
  T&& value() && {
    FND_PARAMETER_ASSERT(hasValue());
    return std::get<0>(std::move(storage_));
  }
  const Error& error() const {
    FND_PARAMETER_ASSERT(!hasValue());
    return std::get<1>(storage_);
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  template <class U>
  T valueOr(U&& fallback) const& {
    return hasValue() ? std::get<0>(storage_) : static_cast<T>(std::forward<U>(fallback));
  }

 private:
  std::variant<T, Error> storage_;
};

template <>
class [[nodiscard]] Expected<void> {
 public:
  Expected() = default;
  Expected(Error error) : error_(std::move(error)) {}

  bool hasValue() const { return !error_.has_value(); }
  explicit operator bool() const { return hasValue(); }
  const Error& error() const {
    FND_PARAMETER_ASSERT(!hasValue());
    return *error_;
  }

 private:
  std::optional<Error> error_;
};

// Success of an operation that has no value.
inline Expected<void> success() { return {}; }

}  // namespace fnd
