#include "foundation/keyed_archive_layout.h"

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/keyed_archiver.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace fnd::keyed_archive {

std::string escapeKey(std::string_view key) {
  std::string escaped;
  if (!key.empty() && key.front() == '$') escaped += '$';
  escaped += key;
  return escaped;
}

bool isPlainEntry(const Object& object) {
  const Class& cls = object.objectClass();
  return &cls == &String::staticClass() || &cls == &Number::staticClass() || &cls == &Data::staticClass();
}

bool isPlatformClass(const Class& cls) {
  static const Class* const classes[] = {
      &String::staticClass(), &String::mutableClass(),     &Data::staticClass(),       &Data::mutableClass(),
      &Date::staticClass(),   &UUID::staticClass(),        &URL::staticClass(),        &Array::staticClass(),
      &Array::mutableClass(), &Dictionary::staticClass(),  &Dictionary::mutableClass(), &Set::staticClass(),
      &Set::mutableClass(),   &Null::staticClass(),        &ErrorObject::staticClass(), &Number::staticClass()};
  for (const Class* known : classes) {
    if (known == &cls) return true;
  }
  return false;
}

Error invalidValueError(std::string debugDescription) {
  return Error(NSCocoaErrorDomain, NSCoderInvalidValueError,
               {{Value(NSLocalizedDescriptionKey),
                 Value("The data couldn\u2019t be written because it isn\u2019t in the correct format.")},
                {Value(NSDebugDescriptionErrorKey), Value(std::move(debugDescription))}});
}

Error readCorruptError(std::string debugDescription) {
  return Error(NSCocoaErrorDomain, NSCoderReadCorruptError,
               {{Value(NSLocalizedDescriptionKey),
                 Value("The data couldn\u2019t be read because it isn\u2019t in the correct format.")},
                {Value(NSDebugDescriptionErrorKey), Value(std::move(debugDescription))}});
}

}  // namespace fnd::keyed_archive
