// Keyed unarchiver: any bytes either fail with the property-list or the
// corrupt-archive error, or decode to a value that archives and decodes again
// to an equal value.

#include <cstdint>
#include <cstdlib>

#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& classes = fnd::KeyedUnarchiver::platformClasses();
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, std::span(data, size));
  if (!decoded) {
    const auto code = decoded.error().code();
    if (code != fnd::NSPropertyListReadCorruptError && code != fnd::NSCoderReadCorruptError) std::abort();
    return 0;
  }
  auto archived = fnd::KeyedArchiver::archivedDataWithRootObject(*decoded);
  if (!archived) std::abort();
  auto again = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, *archived);
  if (!again || !(*again == *decoded)) std::abort();
  return 0;
}
