#pragma once

// The capabilities of model objects: records of the domain model and
// interprocess messages, archived and copied from their class's property
// table.

#include <memory>
#include <string>

#include "foundation/class.h"
#include "foundation/object.h"

// Archivable and copyable. Copies of immutable records may be the record.
class AFXModelObject {
 public:
  virtual ~AFXModelObject() = default;
  virtual std::shared_ptr<fnd::Object> copy() const = 0;
};

// Records whose copies are separate instances filled property by property.
class AFXMutableModelObject : public virtual AFXModelObject {
 public:
  // Copies every reflected property from another object.
  virtual void setupWithPrototype(const fnd::Object& prototype) = 0;
  virtual const fnd::Class& classForCopiedInstance() const = 0;
};

// Storable records: a plain archivable twin and a twin that lives in a store.
class AFXManagableModelObject : public virtual AFXMutableModelObject {
 public:
  virtual const fnd::Class& classForManagedInstance() const = 0;
  virtual const fnd::Class& classForCodedInstance() const = 0;
};

class AFXEntityNameProvider {
 public:
  virtual ~AFXEntityNameProvider() = default;
  virtual std::string entityName() const = 0;
};
