#include "tools/qv_coder_extensions.h"

#include "foundation/array.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/string.h"

std::string qv_keyFromSelector(std::string_view selector) { return std::string(selector); }

void qv_encodeObject(fnd::KeyedArchiver& coder, const fnd::Value& object, std::string_view selector) {
  coder.encodeObject(object, qv_keyFromSelector(selector));
}

void qv_encodeConditionalObject(fnd::KeyedArchiver& coder, const fnd::Value& object, std::string_view selector) {
  coder.encodeConditionalObject(object, qv_keyFromSelector(selector));
}

namespace {

// Reads a key that may hold anything, keeping it only when it is of `cls`;
// the archive itself is not failed for a mismatch.
fnd::Value decodeLenient(fnd::KeyedUnarchiver& coder, const fnd::Class& cls, std::string_view selector) {
  const fnd::Value value =
      coder.decodeObjectOfClasses(fnd::KeyedUnarchiver::platformClasses(), qv_keyFromSelector(selector));
  return value.isKindOfClass(cls) ? value : fnd::Value();
}

}  // namespace

fnd::Value qv_decodeStringForSelector(fnd::KeyedUnarchiver& coder, std::string_view selector) {
  return decodeLenient(coder, fnd::String::staticClass(), selector);
}

fnd::Value qv_decodeNumberForSelector(fnd::KeyedUnarchiver& coder, std::string_view selector) {
  return decodeLenient(coder, fnd::Number::staticClass(), selector);
}

fnd::Value qv_decodeObjectOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& cls, std::string_view selector) {
  return coder.decodeObjectOfClass(cls, qv_keyFromSelector(selector));
}

fnd::Value qv_decodeObjectOfClasses(fnd::KeyedUnarchiver& coder, const std::vector<const fnd::Class*>& classes,
                                    std::string_view selector) {
  return coder.decodeObjectOfClasses(classes, qv_keyFromSelector(selector));
}

fnd::Value qv_decodeContainerOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& containerClass,
                                     const fnd::Class& objectClass, std::string_view selector) {
  return qv_decodeObjectOfClasses(coder, {&containerClass, &objectClass}, selector);
}

fnd::Value qv_decodeContainerOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& containerClass,
                                     const std::vector<const fnd::Class*>& objectClasses, std::string_view selector) {
  std::vector<const fnd::Class*> classes{&containerClass};
  classes.insert(classes.end(), objectClasses.begin(), objectClasses.end());
  return qv_decodeObjectOfClasses(coder, classes, selector);
}

fnd::Value qv_decodeArrayWithObjectClass(fnd::KeyedUnarchiver& coder, const fnd::Class& objectClass,
                                         std::string_view selector) {
  return qv_decodeContainerOfClass(coder, fnd::Array::staticClass(), objectClass, selector);
}

fnd::Value qv_decodeArrayWithObjectClasses(fnd::KeyedUnarchiver& coder,
                                           const std::vector<const fnd::Class*>& objectClasses,
                                           std::string_view selector) {
  return qv_decodeContainerOfClass(coder, fnd::Array::staticClass(), objectClasses, selector);
}
