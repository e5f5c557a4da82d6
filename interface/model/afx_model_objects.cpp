#include <algorithm>

#include "foundation/check.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_coded_model_object.h"

namespace {

// The twin class of a storable record, as a mutable model object.
std::shared_ptr<fnd::Object> makeInstanceFilledFrom(const fnd::Class& cls, const fnd::Object& prototype) {
  std::shared_ptr<fnd::Object> instance = cls.makeInstance();
  auto* mutableInstance = dynamic_cast<AFXMutableModelObject*>(instance.get());
  FND_PARAMETER_ASSERT(mutableInstance != nullptr);
  mutableInstance->setupWithPrototype(prototype);
  return instance;
}

const AFXManagableModelObject& managable(const fnd::Object& object) {
  const auto* record = dynamic_cast<const AFXManagableModelObject*>(&object);
  FND_PARAMETER_ASSERT(record != nullptr);
  return *record;
}

}  // namespace

// AFXBaseModelObject

const fnd::Class& AFXBaseModelObject::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXBaseModelObject", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<fnd::Object> AFXBaseModelObject::copy() const {
  return std::const_pointer_cast<fnd::Object>(shared_from_this());
}

void AFXBaseModelObject::encodeWithCoder(fnd::KeyedArchiver& coder) const { reflection()->encodeObject(*this, coder); }

bool AFXBaseModelObject::initWithCoder(fnd::KeyedUnarchiver& coder) { return reflection()->decodeObject(*this, coder); }

// AFXBaseMutableModelObject

const fnd::Class& AFXBaseMutableModelObject::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXBaseMutableModelObject", &AFXBaseModelObject::staticClass());
  return cls;
}

std::shared_ptr<fnd::Object> AFXBaseMutableModelObject::copy() const {
  return makeInstanceFilledFrom(classForCopiedInstance(), *this);
}

void AFXBaseMutableModelObject::setupWithPrototype(const fnd::Object& prototype) {
  reflection()->setupPropertiesOfObject(*this, prototype);
}

// AFXCodedModelObject

const fnd::Class& AFXCodedModelObject::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXCodedModelObject", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<fnd::Object> AFXCodedModelObject::copy() const {
  return makeInstanceFilledFrom(classForCopiedInstance(), *this);
}

void AFXCodedModelObject::setupWithPrototype(const fnd::Object& prototype) {
  reflection()->setupPropertiesOfObject(*this, prototype);
}

const fnd::Class& AFXCodedModelObject::classForCodedInstance() const { return staticClass(); }

const fnd::Class& AFXCodedModelObject::classForManagedInstance() const { return AFXManagedModelObject::staticClass(); }

void AFXCodedModelObject::encodeWithCoder(fnd::KeyedArchiver& coder) const { reflection()->encodeObject(*this, coder); }

bool AFXCodedModelObject::initWithCoder(fnd::KeyedUnarchiver& coder) { return reflection()->decodeObject(*this, coder); }

// AFXManagedModelObject

const fnd::Class& AFXManagedModelObject::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXManagedModelObject", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<AFXManagedModelObject> AFXManagedModelObject::makeInContext(const fnd::Class& managedClass,
                                                                            AFXManagedObjectContext& context) {
  return context.insertNewObject(managedClass);
}

std::shared_ptr<AFXManagedModelObject> AFXManagedModelObject::makeManagedInstanceOfObject(
    const fnd::Object& record, AFXManagedObjectContext& context) {
  auto managed = context.insertNewObject(managable(record).classForManagedInstance());
  managed->setupWithPrototype(record);
  return managed;
}

std::shared_ptr<fnd::Object> AFXManagedModelObject::copy() const { return makeCodedInstance(*this); }

void AFXManagedModelObject::setupWithPrototype(const fnd::Object& prototype) {
  reflection()->setupPropertiesOfObject(*this, prototype);
}

const fnd::Class& AFXManagedModelObject::classForCodedInstance() const { return AFXCodedModelObject::staticClass(); }

const fnd::Class& AFXManagedModelObject::classForManagedInstance() const { return staticClass(); }

std::string AFXManagedModelObject::entityName() const { FND_NOT_REACHED(); }

void AFXManagedModelObject::encodeWithCoder(fnd::KeyedArchiver&) const {
  // Archiving goes through the coded twin (see the replacement below).
  FND_NOT_REACHED();
}

bool AFXManagedModelObject::initWithCoder(fnd::KeyedUnarchiver&) { FND_NOT_REACHED(); }

fnd::Value AFXManagedModelObject::replacementObjectForKeyedArchiver() const {
  return fnd::Value(makeCodedInstance(*this));
}

// AFXManagedObjectContext

std::shared_ptr<AFXManagedObjectContext> AFXManagedObjectContext::create() {
  return std::shared_ptr<AFXManagedObjectContext>(new AFXManagedObjectContext);
}

std::shared_ptr<AFXManagedModelObject> AFXManagedObjectContext::insertNewObject(const fnd::Class& managedClass) {
  FND_PARAMETER_ASSERT(managedClass.isSubclassOfClass(AFXManagedModelObject::staticClass()));
  auto object = std::dynamic_pointer_cast<AFXManagedModelObject>(managedClass.makeInstance());
  FND_PARAMETER_ASSERT(object != nullptr);
  object->context_ = weak_from_this();
  objects_.push_back(object);
  return object;
}

std::vector<std::shared_ptr<AFXManagedModelObject>> AFXManagedObjectContext::objectsOfEntity(
    std::string_view entityName) const {
  std::vector<std::shared_ptr<AFXManagedModelObject>> matching;
  std::copy_if(objects_.begin(), objects_.end(), std::back_inserter(matching),
               [&](const auto& object) { return object->entityName() == entityName; });
  return matching;
}

// Twins

std::shared_ptr<fnd::Object> makeCodedInstance(const fnd::Object& object) {
  return makeInstanceFilledFrom(managable(object).classForCodedInstance(), object);
}

std::shared_ptr<AFXManagedModelObject> makeManagedInstance(const fnd::Object& object,
                                                           AFXManagedObjectContext& context) {
  return AFXManagedModelObject::makeManagedInstanceOfObject(object, context);
}
