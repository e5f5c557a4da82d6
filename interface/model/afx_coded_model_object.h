#pragma once

// Storable records have two twins: the coded one, a plain archivable record,
// and the managed one, which lives in an object store. Either becomes the
// other by copying the reflected properties.

#include <memory>
#include <string>
#include <vector>

#include "foundation/object.h"
#include "interface/model/afx_model_object.h"
#include "tools/qv_class_reflection.h"

class AFXManagedObjectContext;

class AFXCodedModelObject : public fnd::Object, public virtual AFXManagableModelObject {
 public:
  static const fnd::Class& staticClass();
  // The root of every record's property table: no properties.
  static std::shared_ptr<QVClassReflection> makeReflection() { return QVClassReflection::makeReflection(); }

  std::shared_ptr<fnd::Object> copy() const override;
  void setupWithPrototype(const fnd::Object& prototype) override;
  const fnd::Class& classForCopiedInstance() const override { return classForCodedInstance(); }
  // Each storable record names its pair.
  const fnd::Class& classForCodedInstance() const override;
  const fnd::Class& classForManagedInstance() const override;

  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;

  std::shared_ptr<const QVClassReflection> reflection() const { return QVClassReflection::reflection(objectClass()); }

 protected:
  AFXCodedModelObject() = default;
};

// The twin in a store. It is never archived itself: archiving writes its coded
// twin, and a copy is a new coded record detached from the store.
class AFXManagedModelObject : public fnd::Object, public virtual AFXManagableModelObject, public AFXEntityNameProvider {
 public:
  static const fnd::Class& staticClass();
  // The root of every record's property table: no properties.
  static std::shared_ptr<QVClassReflection> makeReflection() { return QVClassReflection::makeReflection(); }

  // A new, empty object of `managedClass`'s entity, inserted into the context.
  static std::shared_ptr<AFXManagedModelObject> makeInContext(const fnd::Class& managedClass,
                                                              AFXManagedObjectContext& context);
  // A new object of the record's managed class, filled from the record.
  static std::shared_ptr<AFXManagedModelObject> makeManagedInstanceOfObject(const fnd::Object& record,
                                                                            AFXManagedObjectContext& context);

  std::shared_ptr<fnd::Object> copy() const override;
  void setupWithPrototype(const fnd::Object& prototype) override;
  const fnd::Class& classForCopiedInstance() const override { return classForCodedInstance(); }
  const fnd::Class& classForCodedInstance() const override;
  const fnd::Class& classForManagedInstance() const override;
  // Each managed record names its entity; the base has none.
  std::string entityName() const override;

  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;
  fnd::Value replacementObjectForKeyedArchiver() const override;

  std::shared_ptr<AFXManagedObjectContext> managedObjectContext() const { return context_.lock(); }
  std::shared_ptr<const QVClassReflection> reflection() const { return QVClassReflection::reflection(objectClass()); }

 protected:
  AFXManagedModelObject() = default;

 private:
  friend class AFXManagedObjectContext;
  std::weak_ptr<AFXManagedObjectContext> context_;
};

// The in-memory store the managed twins live in; the desktop client owns the
// persistent one.
class AFXManagedObjectContext : public std::enable_shared_from_this<AFXManagedObjectContext> {
 public:
  static std::shared_ptr<AFXManagedObjectContext> create();

  // A new object of `managedClass`, registered under its entity name.
  std::shared_ptr<AFXManagedModelObject> insertNewObject(const fnd::Class& managedClass);
  std::vector<std::shared_ptr<AFXManagedModelObject>> objectsOfEntity(std::string_view entityName) const;

 private:
  AFXManagedObjectContext() = default;
  std::vector<std::shared_ptr<AFXManagedModelObject>> objects_;
};

// A new coded twin of `object`, filled from it.
std::shared_ptr<fnd::Object> makeCodedInstance(const fnd::Object& object);
// A new managed twin of `object` inserted into the context, filled from it.
std::shared_ptr<AFXManagedModelObject> makeManagedInstance(const fnd::Object& object,
                                                           AFXManagedObjectContext& context);
