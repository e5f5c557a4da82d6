#include "tools/qv_object_holder.h"

#include <functional>

const fnd::Class& QVObjectHolder::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVObjectHolder", &fnd::Object::staticClass());
  return cls;
}

const fnd::Class& QVStrongObjectHolder::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVStrongObjectHolder", &QVObjectHolder::staticClass());
  return cls;
}

const fnd::Class& QVWeakObjectHolder::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVWeakObjectHolder", &QVObjectHolder::staticClass());
  return cls;
}

const fnd::Class& QVUnownedObjectHolder::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVUnownedObjectHolder", &QVObjectHolder::staticClass());
  return cls;
}

bool QVObjectHolder::isEqual(const fnd::Object& other) const {
  return other.isMemberOfClass(objectClass()) && static_cast<const QVObjectHolder&>(other).address_ == address_;
}

std::size_t QVObjectHolder::hash() const { return std::hash<const void*>{}(address_); }
