#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

#include "foundation/value.h"

namespace fnd {

// Distinct non-nil values, in first-insertion order.
class Set final : public Object {
 public:
  static const Class& staticClass();
  static const Class& mutableClass();

  static std::shared_ptr<Set> make(std::vector<Value> elements = {});
  static std::shared_ptr<Set> makeMutable(std::vector<Value> elements = {});

  const std::vector<Value>& elements() const { return elements_; }
  std::size_t count() const { return elements_.size(); }
  bool containsObject(const Value& value) const { return members_.contains(value); }

  const Class& objectClass() const override { return *class_; }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  Set(std::vector<Value> elements, const Class& cls);

  std::vector<Value> elements_;
  std::unordered_set<Value, ValueHash> members_;
  const Class* class_;
};

}  // namespace fnd
