#pragma once

// Archives an enumeration as its name: forward from number to name (nil for
// an integer without a name), reverse from name to number (the default for
// an unknown or absent name), so stored records survive renumbering.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "tools/qv_value_transformer.h"

class QVEnumValueTransformer final : public QVValueTransformer {
 public:
  // An empty mapping is a programming error.
  static std::shared_ptr<QVEnumValueTransformer> initWithMapping(std::map<std::int64_t, std::string> mapping,
                                                                 std::int64_t defaultValue);

  fnd::Value transformedValue(const fnd::Value& value) const override;
  bool allowsReverseTransformation() const override { return true; }
  fnd::Value reverseTransformedValue(const fnd::Value& value) const override;
  std::vector<const fnd::Class*> archivedClasses() const override;

  std::int64_t defaultValue() const { return defaultValue_; }

 private:
  QVEnumValueTransformer(std::map<std::int64_t, std::string> mapping, std::int64_t defaultValue);

  std::map<std::int64_t, std::string> names_;
  std::unordered_map<std::string, std::int64_t> values_;
  std::int64_t defaultValue_;
};
