#include "tools/unarchiver/qv_apple_double.h"

#include <algorithm>

namespace {

constexpr std::size_t kHeaderSize = 26;      // magic, version, filler, entry count
constexpr std::size_t kEntrySize = 12;       // id, offset, length
constexpr std::size_t kAttributesHeaderSize = 36;
constexpr std::size_t kAttributeEntrySize = 11;  // offset, length, flags, name length
constexpr std::size_t kPadBeforeAttributes = 2;

// A bounds-checked reader of big-endian fields.
class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool has(std::size_t offset, std::size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::uint32_t u32(std::size_t offset) const {
    return static_cast<std::uint32_t>(bytes_[offset]) << 24 | static_cast<std::uint32_t>(bytes_[offset + 1]) << 16 |
           static_cast<std::uint32_t>(bytes_[offset + 2]) << 8 | bytes_[offset + 3];
  }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes_[offset] << 8 | bytes_[offset + 1]);
  }
  std::span<const std::uint8_t> slice(std::size_t offset, std::size_t length) const {
    return bytes_.subspan(offset, length);
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

struct Region {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// The extended attributes stored after the Finder information. `region` is
// the Finder-information entry; attribute values may lie anywhere in the file.
bool decodeAttributes(const Cursor& cursor, Region region, std::vector<QVAppleDoubleAttribute>& out) {
  const std::size_t header = region.offset + QVAppleDouble::kFinderInfoSize + kPadBeforeAttributes;
  const std::size_t regionEnd = region.offset + region.length;
  if (header + kAttributesHeaderSize > regionEnd) return true;  // Finder information only
  if (cursor.u32(header) != QVAppleDouble::kAttributesMagic) return true;
  const std::uint16_t count = cursor.u16(header + 34);
  std::size_t entry = header + kAttributesHeaderSize;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (entry + kAttributeEntrySize > regionEnd) return false;
    const std::uint32_t valueOffset = cursor.u32(entry);
    const std::uint32_t valueLength = cursor.u32(entry + 4);
    const std::uint8_t nameLength = cursor.slice(entry + 10, 1)[0];
    // The name is NUL-terminated and the terminator is counted.
    if (nameLength < 2 || entry + kAttributeEntrySize + nameLength > regionEnd) return false;
    auto nameBytes = cursor.slice(entry + kAttributeEntrySize, nameLength);
    if (nameBytes.back() != 0) return false;
    std::string name(nameBytes.begin(), nameBytes.end() - 1);
    if (name.find('\0') != std::string::npos || !QVIsValidUTF8(name)) return false;
    if (!cursor.has(valueOffset, valueLength)) return false;
    auto value = cursor.slice(valueOffset, valueLength);
    out.push_back({std::move(name), std::vector<std::uint8_t>(value.begin(), value.end())});
    // Entries are aligned to four bytes.
    entry = (entry + kAttributeEntrySize + nameLength + 3) & ~static_cast<std::size_t>(3);
  }
  return true;
}

}  // namespace

std::optional<std::vector<QVAppleDoubleAttribute>> QVAppleDouble::decode(std::span<const std::uint8_t> bytes) {
  const Cursor cursor(bytes);
  if (!cursor.has(0, kHeaderSize) || cursor.u32(0) != kMagic || cursor.u32(4) != kVersion) return std::nullopt;
  const std::uint16_t entryCount = cursor.u16(24);
  if (!cursor.has(kHeaderSize, static_cast<std::size_t>(entryCount) * kEntrySize)) return std::nullopt;

  std::optional<Region> finderInfo;
  std::optional<Region> resourceFork;
  for (std::size_t i = 0; i < entryCount; ++i) {
    const std::size_t at = kHeaderSize + i * kEntrySize;
    const Region region{cursor.u32(at + 4), cursor.u32(at + 8)};
    if (!cursor.has(region.offset, region.length)) return std::nullopt;
    const std::uint32_t id = cursor.u32(at);
    if (id == kFinderInfoEntryID) finderInfo = region;
    if (id == kResourceForkEntryID) resourceFork = region;
  }

  std::vector<QVAppleDoubleAttribute> attributes;
  if (finderInfo && finderInfo->length >= kFinderInfoSize) {
    auto info = cursor.slice(finderInfo->offset, kFinderInfoSize);
    if (std::any_of(info.begin(), info.end(), [](std::uint8_t b) { return b != 0; })) {
      attributes.push_back({"com.apple.FinderInfo", std::vector<std::uint8_t>(info.begin(), info.end())});
    }
    if (!decodeAttributes(cursor, *finderInfo, attributes)) return std::nullopt;
  }
  if (resourceFork && resourceFork->length > 0) {
    auto fork = cursor.slice(resourceFork->offset, resourceFork->length);
    attributes.push_back({"com.apple.ResourceFork", std::vector<std::uint8_t>(fork.begin(), fork.end())});
  }
  return attributes;
}

bool QVIsValidUTF8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      point = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      point = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      point = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}
