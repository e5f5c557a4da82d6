#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "foundation/value.h"

namespace fnd {

// An ordered list of non-nil values.
class Array final : public Object {
 public:
  static const Class& staticClass();
  static const Class& mutableClass();

  static std::shared_ptr<Array> make(std::vector<Value> elements = {});
  static std::shared_ptr<Array> makeMutable(std::vector<Value> elements = {});

  const std::vector<Value>& elements() const { return elements_; }
  std::size_t count() const { return elements_.size(); }
  // An index out of range is a programming error.
  const Value& objectAtIndex(std::size_t index) const;
  auto begin() const { return elements_.begin(); }
  auto end() const { return elements_.end(); }

  const Class& objectClass() const override { return *class_; }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 public:
  // Made only by the class itself (see ObjectToken).
  Array(ObjectToken<Array>, std::vector<Value> elements, const Class& cls);

 private:
  std::vector<Value> elements_;
  const Class* class_;
};

}  // namespace fnd
