#include <algorithm>
#include <map>

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/hashing.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/queue.h"
#include "foundation/string.h"
#include "tools/qv_class_reflection.h"
#include "tools/qv_enum_value_transformer.h"
#include "tools/qv_property_reflection.h"

// QVEnumValueTransformer

std::shared_ptr<QVEnumValueTransformer> QVEnumValueTransformer::initWithMapping(
    std::map<std::int64_t, std::string> mapping, std::int64_t defaultValue) {
  FND_PARAMETER_ASSERT(!mapping.empty());
  return std::shared_ptr<QVEnumValueTransformer>(new QVEnumValueTransformer(std::move(mapping), defaultValue));
}

QVEnumValueTransformer::QVEnumValueTransformer(std::map<std::int64_t, std::string> mapping, std::int64_t defaultValue)
    : names_(std::move(mapping)), defaultValue_(defaultValue) {
  for (const auto& [number, name] : names_) values_.emplace(name, number);
}

fnd::Value QVEnumValueTransformer::transformedValue(const fnd::Value& value) const {
  const auto number = value.integerValue();
  if (!number) return fnd::Value();
  const auto it = names_.find(*number);
  return it == names_.end() ? fnd::Value() : fnd::Value(it->second);
}

fnd::Value QVEnumValueTransformer::reverseTransformedValue(const fnd::Value& value) const {
  const auto name = value.stringValue();
  const auto it = name ? values_.find(*name) : values_.end();
  return fnd::Value(it == values_.end() ? defaultValue_ : it->second);
}

std::vector<const fnd::Class*> QVEnumValueTransformer::archivedClasses() const { return {&fnd::String::staticClass()}; }

// QVPropertyReflection

QVPropertyReflection::QVPropertyReflection(std::string key, std::vector<const fnd::Class*> objectClasses,
                                           fnd::Value defaultValue,
                                           std::shared_ptr<const QVValueTransformer> valueTransformer)
    : key_(std::move(key)), defaultValue_(std::move(defaultValue)), valueTransformer_(std::move(valueTransformer)) {
  for (const fnd::Class* cls : objectClasses) {
    FND_PARAMETER_ASSERT(cls != nullptr);
    if (std::find(objectClasses_.begin(), objectClasses_.end(), cls) == objectClasses_.end()) {
      objectClasses_.push_back(cls);
    }
  }
}

std::size_t QVPropertyReflection::hash() const { return std::hash<std::string>{}(key_); }

std::vector<const fnd::Class*> QVPropertyReflection::decodingClasses() const {
  std::vector<const fnd::Class*> classes = objectClasses_;
  if (valueTransformer_) {
    for (const fnd::Class* cls : valueTransformer_->archivedClasses()) classes.push_back(cls);
  }
  return classes;
}

// QVClassReflection

void QVClassReflection::add(std::shared_ptr<const QVPropertyReflection> property) {
  const std::string& key = property->key();
  const bool known = byKey_.contains(key);
  byKey_.insert_or_assign(key, property);
  if (!known) properties_.push_back(std::move(property));
}

void QVClassReflection::addPropertyForSelector(std::string key, const fnd::Class& objectClass) {
  addPropertyForSelector(std::move(key), {&objectClass}, fnd::Value(), nullptr);
}

void QVClassReflection::addPropertyForSelector(std::string key, const fnd::Class& containerClass,
                                               const fnd::Class& objectClass) {
  addPropertyForSelector(std::move(key), {&containerClass, &objectClass}, fnd::Value(), nullptr);
}

void QVClassReflection::addPropertyForSelector(std::string key, std::vector<const fnd::Class*> objectClasses,
                                               fnd::Value defaultValue,
                                               std::shared_ptr<const QVValueTransformer> valueTransformer) {
  add(std::make_shared<const QVPropertyReflection>(std::move(key), std::move(objectClasses), std::move(defaultValue),
                                                   std::move(valueTransformer)));
}

void QVClassReflection::addPropertyForSelector(std::string key, const fnd::Class& containerClass,
                                               std::vector<const fnd::Class*> objectClasses, fnd::Value defaultValue,
                                               std::shared_ptr<const QVValueTransformer> valueTransformer) {
  objectClasses.insert(objectClasses.begin(), &containerClass);
  addPropertyForSelector(std::move(key), std::move(objectClasses), std::move(defaultValue),
                         std::move(valueTransformer));
}

std::shared_ptr<const QVPropertyReflection> QVClassReflection::propertyReflectionForKey(std::string_view key) const {
  const auto it = byKey_.find(std::string(key));
  return it == byKey_.end() ? nullptr : it->second;
}

void QVClassReflection::encodeObject(const fnd::Object& object, fnd::KeyedArchiver& coder) const {
  for (const auto& property : properties_) {
    fnd::Value value = object.valueForKey(property->key());
    if (property->valueTransformer()) value = property->valueTransformer()->transformedValue(value);
    coder.encodeObject(value, property->key());
  }
}

bool QVClassReflection::decodeObject(fnd::Object& object, fnd::KeyedUnarchiver& coder) const {
  for (const auto& property : properties_) {
    fnd::Value value = coder.decodeObjectOfClasses(property->decodingClasses(), property->key());
    if (coder.hasFailed()) return false;
    const auto& transformer = property->valueTransformer();
    if (transformer && transformer->allowsReverseTransformation()) value = transformer->reverseTransformedValue(value);
    if (value.isNil()) value = property->defaultValue();
    if (value.isNil() && object.isScalarPropertyForKey(property->key())) {
      // A scalar cannot hold "nothing": the archive does not describe a
      // valid record.
      coder.failWithError(fnd::KeyedUnarchiver::corruptArchiveError(fnd::StringWithFormat(
          "value for key '%@' of class '%@' is missing", property->key(), object.objectClass().name())));
      return false;
    }
    object.setValueForKey(value, property->key());
  }
  return true;
}

void QVClassReflection::setupPropertiesOfObject(fnd::Object& object, const fnd::Object& prototype) const {
  for (const auto& property : properties_) object.setValueForKey(prototype.valueForKey(property->key()), property->key());
}

namespace {

// Every class's maker and built table, confined to one queue so that each
// table is built once however many threads ask at the same time.
class ReflectionsManagement {
 public:
  static ReflectionsManagement& shared() {
    static auto* management = new ReflectionsManagement;
    return *management;
  }

  void registerMaker(const fnd::Class& cls, QVClassReflection::MakeReflection make) {
    // A maker that names a property class defined only now registers that
    // class's maker from the queue itself.
    if (queue_.isCurrent()) {
      makers_.insert_or_assign(&cls, std::move(make));
      return;
    }
    queue_.sync([&] { makers_.insert_or_assign(&cls, std::move(make)); });
  }

  std::shared_ptr<const QVClassReflection> reflection(const fnd::Class& cls) {
    return queue_.sync([&]() -> std::shared_ptr<const QVClassReflection> {
      if (auto it = tables_.find(cls.name()); it != tables_.end()) return it->second;
      std::shared_ptr<const QVClassReflection> table = makerFor(cls)();
      tables_.emplace(cls.name(), table);
      return table;
    });
  }

 private:
  ReflectionsManagement() : queue_(fnd::Queue::serial("com.quorvex.reflections-management.internal-queue",
                                                      fnd::QualityOfService::utility)) {}

  QVClassReflection::MakeReflection makerFor(const fnd::Class& cls) const {
    for (const fnd::Class* c = &cls; c != nullptr; c = c->superclass()) {
      if (auto it = makers_.find(c); it != makers_.end()) return it->second;
    }
    return [] { return QVClassReflection::makeReflection(); };
  }

  fnd::Queue queue_;
  std::map<const fnd::Class*, QVClassReflection::MakeReflection> makers_;
  std::map<std::string, std::shared_ptr<const QVClassReflection>, std::less<>> tables_;
};

}  // namespace

void QVClassReflection::registerMakeReflection(const fnd::Class& cls, MakeReflection make) {
  ReflectionsManagement::shared().registerMaker(cls, std::move(make));
}

std::shared_ptr<const QVClassReflection> QVClassReflection::reflection(const fnd::Class& cls) {
  // Tables never change once built, so each thread may keep what it has
  // looked up and skip the hop to the management queue from then on.
  thread_local std::map<const fnd::Class*, std::shared_ptr<const QVClassReflection>> known;
  if (auto it = known.find(&cls); it != known.end()) return it->second;
  auto table = ReflectionsManagement::shared().reflection(cls);
  known.emplace(&cls, table);
  return table;
}
