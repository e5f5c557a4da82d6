#pragma once

// The two property-list codecs behind PropertyListSerialization (internal to
// fnd). Writers take values already checked to be property lists.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd::plist_codec {

std::vector<std::uint8_t> writeBinary(const Value& plist);
Expected<Value> readBinary(std::span<const std::uint8_t> bytes);
bool isBinary(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> writeXML(const Value& plist);
Expected<Value> readXML(std::span<const std::uint8_t> bytes);

Error corruptError(std::string debugDescription);

}  // namespace fnd::plist_codec
