#pragma once

// JSON text to values and back. Objects become dictionaries with string keys
// in document order, arrays become arrays, strings texts, numbers numbers
// (integers stay exact up to the unsigned 64-bit range), true/false boolean
// numbers and null the null object. Failures are "NSCocoaErrorDomain" errors
// of code 3840 whose debug description names the byte offset.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd {

// User-information key holding the byte offset of a read failure.
inline constexpr std::string_view NSJSONSerializationErrorIndex = "NSJSONSerializationErrorIndex";

struct JSONReadingOptions {
  // Accept a top-level value that is neither an object nor an array.
  bool allowFragments = false;
};

struct JSONWritingOptions {
  // Two-space indentation, one member per line, " : " after keys.
  bool prettyPrinted = false;
  // Dictionary members ordered by the UTF-8 bytes of their keys instead of
  // insertion order, so equal dictionaries always write the same text.
  bool sortedKeys = false;
  // Accept a top-level value that is neither a dictionary nor an array.
  bool fragmentsAllowed = false;
  // Write "/" as is instead of "\/".
  bool withoutEscapingSlashes = false;
};

class JSONSerialization {
 public:
  // The platform's code for every JSON read and write failure.
  static constexpr std::int64_t kErrorCode = 3840;
  // Deeper nesting is refused on read and write, so hostile input cannot
  // exhaust the stack of anything that walks the values recursively.
  static constexpr std::size_t kMaximumDepth = 512;

  // Input must be UTF-8 (an initial byte-order mark is skipped). A repeated
  // key keeps its first position and takes the last value. Integers above
  // the unsigned 64-bit range and below the signed one become reals; a number
  // too large for a real (1e400) is an error.
  static Expected<Value> JSONObjectWithData(std::span<const std::uint8_t> data, JSONReadingOptions options = {});
  static Expected<Value> JSONObjectWithData(std::string_view data, JSONReadingOptions options = {});

  // Fails for values JSON cannot carry: types other than dictionary, array,
  // text, number and null, non-text keys, texts that are not UTF-8 and NaN or
  // infinite reals. Reals are written in their shortest exact form.
  static Expected<std::string> dataWithJSONObject(const Value& object, JSONWritingOptions options = {});

  static bool isValidJSONObject(const Value& object);
};

}  // namespace fnd
