#pragma once

// printf-style formatting in which every conversion consumes the next argument
// and renders it by the argument's own type. "%@" renders an object's
// description, so the system's texts ("Error creating logsDirectory: %@") can
// be used exactly as they stand.

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace fnd {

class Value;
class Error;
class Object;

class FormatArgument {
 public:
  template <class B>
    requires std::same_as<B, bool>
  FormatArgument(B b) : value_(std::int64_t{b ? 1 : 0}) {}
  template <std::signed_integral I>
    requires(!std::same_as<I, bool> && !std::same_as<I, char>)
  FormatArgument(I i) : value_(static_cast<std::int64_t>(i)) {}
  template <std::unsigned_integral U>
    requires(!std::same_as<U, bool>)
  FormatArgument(U u) : value_(static_cast<std::uint64_t>(u)) {}
  FormatArgument(char c) : value_(std::string(1, c)) {}
  FormatArgument(double d) : value_(d) {}
  FormatArgument(float f) : value_(static_cast<double>(f)) {}
  FormatArgument(const char* s) : value_(std::string(s ? s : "(null)")) {}
  FormatArgument(std::string_view s) : value_(std::string(s)) {}
  FormatArgument(const std::string& s) : value_(s) {}
  FormatArgument(const Value& v);
  FormatArgument(const Error& e);
  FormatArgument(const Object& o);
  template <class T>
    requires std::derived_from<T, Object>
  FormatArgument(const std::shared_ptr<T>& o)
      : FormatArgument(o ? describe(*o) : std::string("(null)")) {}

  using Storage = std::variant<std::int64_t, std::uint64_t, double, std::string>;
  const Storage& storage() const { return value_; }

 private:
  static std::string describe(const Object& o);
  Storage value_;
};

std::string formatList(std::string_view format, std::initializer_list<FormatArgument> arguments);

template <class... Args>
std::string StringWithFormat(std::string_view format, const Args&... arguments) {
  return formatList(format, {FormatArgument(arguments)...});
}

}  // namespace fnd
