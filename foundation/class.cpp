#include "foundation/class.h"

#include <map>
#include <mutex>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace fnd {

// Leaked on purpose: classes are referenced from worker threads that may still
// run while the process exits.
class ClassRegistry {
 public:
  static ClassRegistry& shared() {
    static ClassRegistry* registry = new ClassRegistry;
    return *registry;
  }

  const Class& add(std::string name, const Class* superclass, Class::Factory factory,
                   std::vector<Class::Property> properties) {
    std::lock_guard lock(mutex_);
    FND_PARAMETER_ASSERT(!classes_.contains(name));
    auto* cls = new Class(name, superclass, std::move(factory), std::move(properties));
    classes_.emplace(std::move(name), cls);
    return *cls;
  }

  const Class* find(std::string_view name) {
    std::lock_guard lock(mutex_);
    auto it = classes_.find(name);
    return it == classes_.end() ? nullptr : it->second;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, const Class*, std::less<>> classes_;
};

namespace {

// Platform classes are defined on first use; looking one up by name must find
// it even before any instance was made.
void definePlatformClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    (void)Object::staticClass();
    (void)String::mutableClass();
    (void)Number::staticClass();
    (void)Data::mutableClass();
    (void)Date::staticClass();
    (void)UUID::staticClass();
    (void)URL::staticClass();
    (void)Array::mutableClass();
    (void)Dictionary::mutableClass();
    (void)Set::mutableClass();
    (void)Null::staticClass();
    (void)ErrorObject::staticClass();
  });
}

}  // namespace

Class::Class(std::string name, const Class* superclass, Factory factory, std::vector<Property> properties)
    : name_(std::move(name)),
      superclass_(superclass),
      factory_(std::move(factory)),
      properties_(std::move(properties)) {}

const Class& Class::define(std::string name, const Class* superclass, Factory factory,
                           std::vector<Property> properties) {
  return ClassRegistry::shared().add(std::move(name), superclass, std::move(factory), std::move(properties));
}

const Class* Class::named(std::string_view name) {
  definePlatformClasses();
  return ClassRegistry::shared().find(name);
}

bool Class::isSubclassOfClass(const Class& other) const {
  for (const Class* c = this; c != nullptr; c = c->superclass_) {
    if (c == &other) return true;
  }
  return false;
}

std::vector<std::string> Class::classChain() const {
  std::vector<std::string> names;
  for (const Class* c = this; c != nullptr; c = c->superclass_) names.push_back(c->name_);
  return names;
}

std::shared_ptr<Object> Class::makeInstance() const { return factory_ ? factory_() : nullptr; }

const Class::Property* Class::propertyNamed(std::string_view name) const {
  for (const Class* c = this; c != nullptr; c = c->superclass_) {
    for (const auto& property : c->properties_) {
      if (property.name == name) return &property;
    }
  }
  return nullptr;
}

}  // namespace fnd
