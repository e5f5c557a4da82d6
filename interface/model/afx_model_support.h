#pragma once

// What record classes share to declare themselves: key-value accessors bound
// to members, class registration with the property-table maker, and the
// hash mixing of the records' own equality rules. Internal to the model.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/class.h"
#include "foundation/number.h"
#include "foundation/object.h"
#include "foundation/value.h"
#include "tools/qv_class_reflection.h"

namespace afx_model_detail {

// How a member is read into a value and written back from one.
template <class T>
struct MemberCodec;

template <>
struct MemberCodec<std::optional<std::string>> {
  static constexpr bool scalar = false;
  static fnd::Value get(const std::optional<std::string>& member) { return member ? fnd::Value(*member) : fnd::Value(); }
  static void set(std::optional<std::string>& member, const fnd::Value& value) { member = value.stringValue(); }
};

// A number property that may be absent (identifiers).
template <>
struct MemberCodec<std::optional<std::int64_t>> {
  static constexpr bool scalar = false;
  static fnd::Value get(const std::optional<std::int64_t>& member) {
    return member ? fnd::Value(*member) : fnd::Value();
  }
  static void set(std::optional<std::int64_t>& member, const fnd::Value& value) { member = value.integerValue(); }
};

template <>
struct MemberCodec<std::int64_t> {
  static constexpr bool scalar = true;
  static fnd::Value get(std::int64_t member) { return fnd::Value(member); }
  static void set(std::int64_t& member, const fnd::Value& value) { member = value.integerValue().value_or(0); }
};

template <>
struct MemberCodec<std::int32_t> {
  static constexpr bool scalar = true;
  static fnd::Value get(std::int32_t member) { return fnd::Value(member); }
  static void set(std::int32_t& member, const fnd::Value& value) {
    const auto number = value.as<fnd::Number>();
    member = number ? static_cast<std::int32_t>(number->integerValue()) : 0;
  }
};

template <>
struct MemberCodec<std::uint64_t> {
  static constexpr bool scalar = true;
  static fnd::Value get(std::uint64_t member) { return fnd::Value(member); }
  static void set(std::uint64_t& member, const fnd::Value& value) {
    const auto number = value.as<fnd::Number>();
    member = number ? number->unsignedIntegerValue() : 0;
  }
};

template <>
struct MemberCodec<bool> {
  static constexpr bool scalar = true;
  static fnd::Value get(bool member) { return fnd::Value(member); }
  static void set(bool& member, const fnd::Value& value) { member = value.boolValue().value_or(false); }
};

template <>
struct MemberCodec<double> {
  static constexpr bool scalar = true;
  static fnd::Value get(double member) { return fnd::Value(member); }
  static void set(double& member, const fnd::Value& value) { member = value.doubleValue().value_or(0.0); }
};

template <>
struct MemberCodec<float> {
  static constexpr bool scalar = true;
  static fnd::Value get(float member) { return fnd::Value(static_cast<double>(member)); }
  static void set(float& member, const fnd::Value& value) {
    member = static_cast<float>(value.doubleValue().value_or(0.0));
  }
};

// Objects (platform values and records): a value of another class reads as
// null; secure decoding has refused it before it gets here.
template <class T>
  requires std::derived_from<T, fnd::Object>
struct MemberCodec<std::shared_ptr<T>> {
  static constexpr bool scalar = false;
  static fnd::Value get(const std::shared_ptr<T>& member) {
    return fnd::Value(std::const_pointer_cast<std::remove_const_t<T>>(member));
  }
  static void set(std::shared_ptr<T>& member, const fnd::Value& value) { member = value.as<T>(); }
};

// A key-value property read from and written to a member.
template <class Owner, class Member>
fnd::Class::Property memberProperty(std::string key, Member Owner::*member) {
  return {std::move(key),
          [member](const fnd::Object& object) {
            return MemberCodec<Member>::get(dynamic_cast<const Owner&>(object).*member);
          },
          [member](fnd::Object& object, const fnd::Value& value) {
            MemberCodec<Member>::set(dynamic_cast<Owner&>(object).*member, value);
          },
          MemberCodec<Member>::scalar};
}

// A key-value property whose getter computes (a derived value or a
// fallback) while its setter stores.
template <class Owner, class Member, class Getter>
fnd::Class::Property computedProperty(std::string key, Member Owner::*member, Getter getter) {
  return {std::move(key),
          [getter](const fnd::Object& object) { return getter(dynamic_cast<const Owner&>(object)); },
          [member](fnd::Object& object, const fnd::Value& value) {
            MemberCodec<Member>::set(dynamic_cast<Owner&>(object).*member, value);
          },
          MemberCodec<Member>::scalar};
}

// Registers a record class and its property-table maker.
inline const fnd::Class& defineModelClass(std::string name, const fnd::Class& base, fnd::Class::Factory factory,
                                          std::vector<fnd::Class::Property> properties,
                                          QVClassReflection::MakeReflection makeReflection) {
  const fnd::Class& cls = fnd::Class::define(std::move(name), &base, std::move(factory), std::move(properties));
  if (makeReflection) QVClassReflection::registerMakeReflection(cls, std::move(makeReflection));
  return cls;
}

inline std::size_t hashOf(const fnd::Value& value) { return value.isNil() ? 0 : value.hash(); }
inline std::size_t hashOf(const std::optional<std::string>& text) {
  return text ? std::hash<std::string>{}(*text) : 0;
}

inline bool sameObjects(const fnd::Value& a, const fnd::Value& b) { return a.isEqual(b); }

}  // namespace afx_model_detail
