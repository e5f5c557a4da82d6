#include "foundation/array.h"

#include "foundation/check.h"
#include "foundation/describe.h"
#include "foundation/hashing.h"

namespace fnd {

const Class& Array::staticClass() {
  static const Class& cls = Class::define("NSArray", &Object::staticClass(), [] { return make(); });
  return cls;
}

const Class& Array::mutableClass() {
  static const Class& cls = Class::define("NSMutableArray", &staticClass(), [] { return makeMutable(); });
  return cls;
}

Array::Array(ObjectToken<Array>, std::vector<Value> elements, const Class& cls)
    : elements_(std::move(elements)), class_(&cls) {
  for (const auto& element : elements_) FND_PARAMETER_ASSERT(!element.isNil());
}

std::shared_ptr<Array> Array::make(std::vector<Value> elements) {
  return std::make_shared<Array>(ObjectToken<Array>{}, std::move(elements), staticClass());
}

std::shared_ptr<Array> Array::makeMutable(std::vector<Value> elements) {
  return std::make_shared<Array>(ObjectToken<Array>{}, std::move(elements), mutableClass());
}

const Value& Array::objectAtIndex(std::size_t index) const {
  FND_PARAMETER_ASSERT(index < elements_.size());
  return elements_[index];
}

bool Array::isEqual(const Object& other) const {
  const auto* a = dynamic_cast<const Array*>(&other);
  return a != nullptr && a->elements_ == elements_;
}

std::size_t Array::hash() const {
  std::size_t h = elements_.size();
  for (const auto& element : elements_) h = detail::hashCombine(h, element.hash());
  return h;
}

std::string Array::description() const {
  if (elements_.empty()) return "(\n)";
  std::string out = "(";
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    out += "\n    " + detail::indentNested(elements_[i].description());
    if (i + 1 < elements_.size()) out.push_back(',');
  }
  return out + "\n)";
}

}  // namespace fnd
