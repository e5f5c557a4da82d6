#pragma once

// The class registry: every object class the system exchanges has a name, a
// superclass and, for model objects, the properties that key-value access,
// coding and copying work from. Classes are created once and live for the
// whole process, so `const Class&` may be kept anywhere.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fnd {

class Object;
class Value;

class Class {
 public:
  using Factory = std::function<std::shared_ptr<Object>()>;

  // A property readable and writable by name. `set` is empty for read-only
  // properties.
  struct Property {
    std::string name;
    std::function<Value(const Object&)> get;
    std::function<void(Object&, const Value&)> set;
    // A plain number (integer, boolean, real) that cannot hold nil.
    bool scalar = false;
  };

  // Registers a class. A second class of the same name is a programming
  // error: archives identify classes by name alone.
  static const Class& define(std::string name, const Class* superclass, Factory factory = {},
                             std::vector<Property> properties = {});

  // The registered class of that name, or null.
  static const Class* named(std::string_view name);

  Class(const Class&) = delete;
  Class& operator=(const Class&) = delete;

  const std::string& name() const { return name_; }
  const Class* superclass() const { return superclass_; }

  // True for this class and every class that inherits from it.
  bool isSubclassOfClass(const Class& other) const;

  // Names from this class up to the root, as archives list them.
  std::vector<std::string> classChain() const;

  // A new default instance, or null for classes without a factory.
  std::shared_ptr<Object> makeInstance() const;

  // Properties declared by this class alone, in declaration order.
  const std::vector<Property>& declaredProperties() const { return properties_; }

  // The property of that name declared here or by a superclass, or null.
  const Property* propertyNamed(std::string_view name) const;

 private:
  friend class ClassRegistry;
  Class(std::string name, const Class* superclass, Factory factory, std::vector<Property> properties);

  std::string name_;
  const Class* superclass_;
  Factory factory_;
  std::vector<Property> properties_;
};

}  // namespace fnd
