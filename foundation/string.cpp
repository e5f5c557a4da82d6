#include "foundation/string.h"

#include <functional>

namespace fnd {

const Class& String::staticClass() {
  static const Class& cls = Class::define("NSString", &Object::staticClass(), [] { return make(""); });
  return cls;
}

const Class& String::mutableClass() {
  static const Class& cls = Class::define("NSMutableString", &staticClass(), [] { return makeMutable(""); });
  return cls;
}

std::shared_ptr<String> String::make(std::string value) {
  return std::make_shared<String>(ObjectToken<String>{}, std::move(value), staticClass());
}

std::shared_ptr<String> String::makeMutable(std::string value) {
  return std::make_shared<String>(ObjectToken<String>{}, std::move(value), mutableClass());
}

bool String::isEqual(const Object& other) const {
  const auto* s = objectCast<String>(&other);
  return s != nullptr && s->value_ == value_;
}

std::size_t String::hash() const { return std::hash<std::string>{}(value_); }

}  // namespace fnd
