#include "foundation/object.h"

#include <cstdio>
#include <functional>

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/value.h"

namespace fnd {

Object::~Object() = default;

const Class& Object::staticClass() {
  static const Class& cls = Class::define("NSObject", nullptr);
  return cls;
}

bool Object::isEqual(const Object& other) const { return this == &other; }

std::size_t Object::hash() const { return std::hash<const void*>{}(this); }

std::string Object::description() const {
  return StringWithFormat("<%@: %p>", objectClass().name(), reinterpret_cast<std::uintptr_t>(this));
}

Value Object::valueForKey(std::string_view key) const {
  const Class::Property* property = objectClass().propertyNamed(key);
  FND_PARAMETER_ASSERT(property != nullptr);
  return property->get(*this);
}

void Object::setValueForKey(const Value& value, std::string_view key) {
  const Class::Property* property = objectClass().propertyNamed(key);
  FND_PARAMETER_ASSERT(property != nullptr && property->set);
  property->set(*this, value);
}

bool Object::isScalarPropertyForKey(std::string_view key) const {
  const Class::Property* property = objectClass().propertyNamed(key);
  return property != nullptr && property->scalar;
}

void Object::encodeWithCoder(KeyedArchiver& coder) const {
  coder.failWithError(Error(NSCocoaErrorDomain, NSCoderInvalidValueError,
                            {{Value(NSDebugDescriptionErrorKey),
                              Value(StringWithFormat("%@ cannot be archived", objectClass().name()))}}));
}

bool Object::initWithCoder(KeyedUnarchiver&) { return false; }

Value Object::replacementObjectForKeyedArchiver() const { return Value(); }

bool Object::hasPropertyForKey(std::string_view key) const { return objectClass().propertyNamed(key) != nullptr; }

}  // namespace fnd
