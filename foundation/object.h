#pragma once

// The root of every reference object: platform values (strings, numbers,
// collections, errors, ...) and the model objects built on them. Objects live
// in std::shared_ptr; identity is the pointer, equality and hash are the
// class's own.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "foundation/class.h"

namespace fnd {

class Value;
class KeyedArchiver;
class KeyedUnarchiver;

class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object();

  // The root class "NSObject".
  static const Class& staticClass();

  virtual const Class& objectClass() const = 0;

  bool isKindOfClass(const Class& cls) const { return objectClass().isSubclassOfClass(cls); }
  bool isMemberOfClass(const Class& cls) const { return &objectClass() == &cls; }

  // Identity unless the class says otherwise. Equal objects have equal hashes.
  virtual bool isEqual(const Object& other) const;
  virtual std::size_t hash() const;

  // "<ClassName: 0x...>" unless the class says otherwise.
  virtual std::string description() const;

  // Key-value access through the class's declared properties. Keys come from
  // code (property declarations), so an unknown key is a programming error.
  Value valueForKey(std::string_view key) const;
  void setValueForKey(const Value& value, std::string_view key);
  bool hasPropertyForKey(std::string_view key) const;
  // Whether the property holds a plain number that cannot be absent.
  bool isScalarPropertyForKey(std::string_view key) const;

  // Keyed coding. Platform values are laid out by the archiver itself; other
  // classes that archive override these.
  virtual bool supportsSecureCoding() const { return false; }
  // The default fails the archive: the object cannot be archived.
  virtual void encodeWithCoder(KeyedArchiver& coder) const;
  // Fills a fresh instance from the archive; false when the archive does not
  // describe a valid instance (the coder may carry the reason).
  virtual bool initWithCoder(KeyedUnarchiver& coder);
  // What the archive holds in place of this object; itself by default.
  virtual Value replacementObjectForKeyedArchiver() const;

 protected:
  Object() = default;
  Object(const Object&) = default;
  Object& operator=(const Object&) = default;
};

// Lets only T make a token, so a constructor taking one is public for
// make_shared (one allocation for the object and its count) yet callable
// only from T.
template <class T>
class ObjectToken {
  friend T;
  ObjectToken() = default;
};

// `object` as a T, or null. For a final T one comparison of the dynamic
// type answers what dynamic_cast answers by walking the hierarchy and
// comparing type names, which decoding and encoding do for every object.
template <class T>
  requires std::is_base_of_v<Object, T>
const T* objectCast(const Object* object) {
  if constexpr (std::is_final_v<T>) {
    return object != nullptr && typeid(*object) == typeid(T) ? static_cast<const T*>(object) : nullptr;
  } else {
    return dynamic_cast<const T*>(object);
  }
}

template <class T>
  requires std::is_base_of_v<Object, T>
std::shared_ptr<T> objectCast(const std::shared_ptr<Object>& object) {
  const T* cast = objectCast<T>(object.get());
  return cast != nullptr ? std::shared_ptr<T>(object, const_cast<T*>(cast)) : nullptr;
}

}  // namespace fnd
