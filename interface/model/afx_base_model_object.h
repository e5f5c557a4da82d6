#pragma once

// Immutable value-like records: archived from their property table, and a
// copy is the record itself.

#include <memory>

#include "foundation/object.h"
#include "interface/model/afx_model_object.h"
#include "tools/qv_class_reflection.h"

class AFXBaseModelObject : public fnd::Object, public virtual AFXModelObject {
 public:
  static const fnd::Class& staticClass();
  // The root of every record's property table: no properties.
  static std::shared_ptr<QVClassReflection> makeReflection() { return QVClassReflection::makeReflection(); }

  std::shared_ptr<fnd::Object> copy() const override;

  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;

  // This object's class table.
  std::shared_ptr<const QVClassReflection> reflection() const { return QVClassReflection::reflection(objectClass()); }

 protected:
  AFXBaseModelObject() = default;
};

// Records whose copy is a new instance of the same class built property by
// property.
class AFXBaseMutableModelObject : public AFXBaseModelObject, public virtual AFXMutableModelObject {
 public:
  static const fnd::Class& staticClass();

  std::shared_ptr<fnd::Object> copy() const override;
  void setupWithPrototype(const fnd::Object& prototype) override;
  const fnd::Class& classForCopiedInstance() const override { return objectClass(); }

 protected:
  AFXBaseMutableModelObject() = default;
};
