#pragma once

// AppleDouble files ("._name", kept by zip archives under "__MACOSX/") carry
// the metadata of the item they sit beside: its Finder information, its
// resource fork and its extended attributes. They come from the archive, so
// every offset and length is checked against the bytes before it is used; a
// file that does not hold together yields nothing rather than a part.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct QVAppleDoubleAttribute {
  std::string name;
  std::vector<std::uint8_t> value;

  friend bool operator==(const QVAppleDoubleAttribute&, const QVAppleDoubleAttribute&) = default;
};

class QVAppleDouble {
 public:
  QVAppleDouble() = delete;

  static constexpr std::uint32_t kMagic = 0x00051607;
  static constexpr std::uint32_t kVersion = 0x00020000;
  static constexpr std::uint32_t kResourceForkEntryID = 2;
  static constexpr std::uint32_t kFinderInfoEntryID = 9;
  static constexpr std::size_t kFinderInfoSize = 32;
  static constexpr std::uint32_t kAttributesMagic = 0x41545452;  // "ATTR"

  // The item's attributes under the platform's names: "com.apple.FinderInfo"
  // when the Finder information is not all zeros, "com.apple.ResourceFork"
  // when the fork is not empty, then the stored attributes in file order.
  // Nothing when the bytes are not a well-formed AppleDouble file.
  static std::optional<std::vector<QVAppleDoubleAttribute>> decode(std::span<const std::uint8_t> bytes);

};

// Whether the bytes are UTF-8 as the standard defines it: no overlong forms,
// no surrogates, nothing above U+10FFFF.
bool QVIsValidUTF8(std::string_view text);
