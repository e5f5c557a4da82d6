#pragma once

// Property lists in the platform's binary ("bplist00") and XML forms, to and
// from values: strings, numbers (booleans, signed and unsigned 64-bit
// integers, reals), data, dates, arrays, string-keyed dictionaries and UIDs.
// Reading is defensive: malformed, truncated, cyclic, too deep or too large
// input is NSCocoaErrorDomain 3840, never a crash.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd {

inline constexpr std::int64_t NSPropertyListReadCorruptError = 3840;
inline constexpr std::int64_t NSPropertyListReadUnknownVersionError = 3841;
inline constexpr std::int64_t NSPropertyListReadStreamError = 3842;
inline constexpr std::int64_t NSPropertyListWriteStreamError = 3851;
inline constexpr std::int64_t NSPropertyListWriteInvalidError = 3852;

// Real archives nest a few levels; anything deeper is hostile.
inline constexpr std::size_t kPropertyListMaximumDepth = 512;
// Objects one document may hold (binary object table entries, XML elements).
inline constexpr std::size_t kPropertyListMaximumObjectCount = std::size_t{1} << 22;

enum class PropertyListFormat { xml, binary };

class PropertyListSerialization {
 public:
  // Fails with NSPropertyListWriteInvalidError for values that are no
  // property list (null, URLs, UUIDs, errors, sets, non-string keys).
  [[nodiscard]] static Expected<std::vector<std::uint8_t>> dataWithPropertyList(const Value& plist,
                                                                               PropertyListFormat format);
  // Detects the form and reports it through `format` when given.
  [[nodiscard]] static Expected<Value> propertyListWithData(std::span<const std::uint8_t> bytes,
                                                            PropertyListFormat* format = nullptr);
  static bool propertyListIsValid(const Value& plist, PropertyListFormat format);
};

}  // namespace fnd
