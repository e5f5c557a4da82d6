#pragma once

// The two property-list codecs behind PropertyListSerialization (internal to
// fnd). Writers take values already checked to be property lists.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd::plist_codec {

std::vector<std::uint8_t> writeBinary(const Value& plist);
Expected<Value> readBinary(std::span<const std::uint8_t> bytes);
bool isBinary(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> writeXML(const Value& plist);
// The seconds an XML date keeps of a moment: whole seconds, as the platform
// writes them, within the years 1 to 9999 that the ISO 8601 form holds.
double xmlDateSeconds(double secondsSinceReferenceDate);
Expected<Value> readXML(std::span<const std::uint8_t> bytes);

Error corruptError(std::string debugDescription);

// Whether `text` is well-formed UTF-8 (no overlong forms or surrogates).
bool isUTF8(std::string_view text);
// `text` with every byte that starts no valid sequence replaced by U+FFFD.
std::string withValidUTF8(std::string_view text);

}  // namespace fnd::plist_codec
