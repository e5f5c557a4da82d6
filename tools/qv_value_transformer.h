#pragma once

// Converts a property's value to its archived form and back.

#include <vector>

#include "foundation/class.h"
#include "foundation/value.h"

class QVValueTransformer {
 public:
  virtual ~QVValueTransformer() = default;
  virtual fnd::Value transformedValue(const fnd::Value& value) const = 0;
  virtual bool allowsReverseTransformation() const { return false; }
  virtual fnd::Value reverseTransformedValue(const fnd::Value& value) const { return value; }
  // Classes of the transformed form, which decoding must admit too.
  virtual std::vector<const fnd::Class*> archivedClasses() const { return {}; }
};
