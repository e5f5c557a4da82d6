// Property-list reader: any bytes either fail cleanly or read into a value
// that writes back in both forms and reads again to an equal value.

#include <cstdint>
#include <cstdlib>

#include "foundation/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto read = fnd::PropertyListSerialization::propertyListWithData(std::span(data, size));
  if (!read) {
    if (read.error().code() != fnd::NSPropertyListReadCorruptError) std::abort();
    return 0;
  }
  auto binary = fnd::PropertyListSerialization::dataWithPropertyList(*read, fnd::PropertyListFormat::binary);
  if (!binary) std::abort();
  auto again = fnd::PropertyListSerialization::propertyListWithData(*binary);
  if (!again || !(*again == *read)) std::abort();
  // XML keeps whole-second dates and cannot hold every real, so it must only
  // write and read back without failing.
  auto xml = fnd::PropertyListSerialization::dataWithPropertyList(*read, fnd::PropertyListFormat::xml);
  if (!xml) std::abort();
  return 0;
}
