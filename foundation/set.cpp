#include "foundation/set.h"

#include "foundation/check.h"
#include "foundation/describe.h"

namespace fnd {

const Class& Set::staticClass() {
  static const Class& cls = Class::define("NSSet", &Object::staticClass(), [] { return make(); });
  return cls;
}

const Class& Set::mutableClass() {
  static const Class& cls = Class::define("NSMutableSet", &staticClass(), [] { return makeMutable(); });
  return cls;
}

Set::Set(std::vector<Value> elements, const Class& cls) : class_(&cls) {
  elements_.reserve(elements.size());
  for (auto& element : elements) {
    FND_PARAMETER_ASSERT(!element.isNil());
    if (members_.insert(element).second) elements_.push_back(std::move(element));
  }
}

std::shared_ptr<Set> Set::make(std::vector<Value> elements) {
  return std::shared_ptr<Set>(new Set(std::move(elements), staticClass()));
}

std::shared_ptr<Set> Set::makeMutable(std::vector<Value> elements) {
  return std::shared_ptr<Set>(new Set(std::move(elements), mutableClass()));
}

bool Set::isEqual(const Object& other) const {
  const auto* s = dynamic_cast<const Set*>(&other);
  if (s == nullptr || s->elements_.size() != elements_.size()) return false;
  for (const auto& element : elements_) {
    if (!s->containsObject(element)) return false;
  }
  return true;
}

std::size_t Set::hash() const {
  std::size_t h = elements_.size();
  for (const auto& element : elements_) h += element.hash();
  return h;
}

std::string Set::description() const {
  std::string out = "{(";
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    out += "\n    " + detail::indentNested(elements_[i].description());
    if (i + 1 < elements_.size()) out.push_back(',');
  }
  return out + "\n)}";
}

}  // namespace fnd
