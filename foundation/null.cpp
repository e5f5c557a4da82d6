#include "foundation/null.h"

namespace fnd {

const Class& Null::staticClass() {
  static const Class& cls = Class::define("NSNull", &Object::staticClass(), [] { return null(); });
  return cls;
}

const std::shared_ptr<Null>& Null::null() {
  // Leaked: the one instance outlives every user, including exit-time ones.
  static const auto* instance = new std::shared_ptr<Null>(new Null);
  return *instance;
}

}  // namespace fnd
