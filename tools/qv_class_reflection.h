#pragma once

// The persistent properties of a model class, which drive its archiving,
// unarchiving and copying. Each class builds its table once by calling its
// base class's maker and adding its own declarations, so a table holds every
// ancestor's properties.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/class.h"
#include "foundation/object.h"
#include "tools/qv_property_reflection.h"

namespace fnd {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace fnd

class QVClassReflection {
 public:
  using MakeReflection = std::function<std::shared_ptr<QVClassReflection>()>;

  QVClassReflection() = default;

  void addPropertyForSelector(std::string key, const fnd::Class& objectClass);
  void addPropertyForSelector(std::string key, const fnd::Class& containerClass, const fnd::Class& objectClass);
  void addPropertyForSelector(std::string key, std::vector<const fnd::Class*> objectClasses, fnd::Value defaultValue,
                              std::shared_ptr<const QVValueTransformer> valueTransformer);
  void addPropertyForSelector(std::string key, const fnd::Class& containerClass,
                              std::vector<const fnd::Class*> objectClasses, fnd::Value defaultValue,
                              std::shared_ptr<const QVValueTransformer> valueTransformer);

  // The properties that coding and copying iterate. A key declared twice keeps
  // its first declaration here while `propertyReflectionForKey` returns the
  // later one.
  std::vector<std::shared_ptr<const QVPropertyReflection>> propertyReflections() const { return properties_; }
  std::shared_ptr<const QVPropertyReflection> propertyReflectionForKey(std::string_view key) const;

  std::shared_ptr<QVClassReflection> copy() const { return std::make_shared<QVClassReflection>(*this); }

  // Archives every property of `object` under its key, transformed forward.
  void encodeObject(const fnd::Object& object, fnd::KeyedArchiver& coder) const;
  // Decodes every property securely, transforms it back, falls back to the
  // default and stores it. False when a scalar property ends up absent or
  // the archive fails.
  bool decodeObject(fnd::Object& object, fnd::KeyedUnarchiver& coder) const;
  // Copies every property from the prototype.
  void setupPropertiesOfObject(fnd::Object& object, const fnd::Object& prototype) const;

  // The root maker: an empty table.
  static std::shared_ptr<QVClassReflection> makeReflection() { return std::make_shared<QVClassReflection>(); }
  // Registers the maker of a class; subclasses without one use their base's.
  static void registerMakeReflection(const fnd::Class& cls, MakeReflection make);
  // The class's table, built once and kept for the process; null when the
  // maker returned none.
  static std::shared_ptr<const QVClassReflection> reflection(const fnd::Class& cls);

 private:
  void add(std::shared_ptr<const QVPropertyReflection> property);

  std::vector<std::shared_ptr<const QVPropertyReflection>> properties_;
  std::unordered_map<std::string, std::shared_ptr<const QVPropertyReflection>> byKey_;
};
