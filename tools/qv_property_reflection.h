#pragma once

// One persistent property of a model class: its key (getter name, archive
// key and key-value key at once), the classes secure decoding allows for it,
// and an optional default and transformer. Immutable once built.

#include <memory>
#include <string>
#include <vector>

#include "foundation/class.h"
#include "foundation/value.h"
#include "tools/qv_value_transformer.h"

class QVPropertyReflection {
 public:
  QVPropertyReflection(std::string key, std::vector<const fnd::Class*> objectClasses, fnd::Value defaultValue,
                       std::shared_ptr<const QVValueTransformer> valueTransformer);

  const std::string& key() const { return key_; }
  // Without duplicates, in declaration order.
  const std::vector<const fnd::Class*>& objectClasses() const { return objectClasses_; }
  const fnd::Value& defaultValue() const { return defaultValue_; }
  const std::shared_ptr<const QVValueTransformer>& valueTransformer() const { return valueTransformer_; }

  // What secure decoding admits: the declared classes and those of the
  // transformed form.
  std::vector<const fnd::Class*> decodingClasses() const;

  // Equal by key alone.
  friend bool operator==(const QVPropertyReflection& a, const QVPropertyReflection& b) { return a.key_ == b.key_; }
  std::size_t hash() const;

 private:
  std::string key_;
  std::vector<const fnd::Class*> objectClasses_;
  fnd::Value defaultValue_;
  std::shared_ptr<const QVValueTransformer> valueTransformer_;
};
