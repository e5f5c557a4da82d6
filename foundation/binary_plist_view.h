#pragma once

// A binary property list read in place (internal to fnd). Opening checks the
// header, trailer and offset table; each object is checked when it is first
// asked for, so its reader never runs past the objects, and nothing is built
// for objects nobody asks for. The bytes must outlive the view.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd::plist_codec {

class BinaryPlistView {
 public:
  enum class Kind : std::uint8_t { boolean, integer, real, date, data, text, uid, array, dictionary };

  // One object's place: for data and text, `count` is its length in units;
  // for containers, its number of entries.
  struct Item {
    Kind kind;
    std::uint8_t marker;
    std::uint64_t position;
    std::uint64_t count;
  };

  [[nodiscard]] static Expected<BinaryPlistView> open(std::span<const std::uint8_t> bytes);

  std::uint64_t objectCount() const { return count_; }
  std::uint64_t topIndex() const { return top_; }

  [[nodiscard]] Expected<Item> object(std::uint64_t index) const;
  // The object at `index` when it is whole ASCII text, as dictionary keys
  // nearly always are; nothing for any other object, malformed or not,
  // which `object` then reads and judges.
  std::optional<std::string_view> asciiTextAt(std::uint64_t index) const;

  // Booleans, integers and reals.
  static bool isNumber(const Item& item) {
    return item.kind == Kind::boolean || item.kind == Kind::integer || item.kind == Kind::real;
  }
  // Numbers and dates as the values they are.
  Value scalar(const Item& item) const;
  std::uint64_t uid(const Item& item) const;
  std::span<const std::uint8_t> data(const Item& item) const;
  // Text as UTF-8; bytes of a damaged text become U+FFFD.
  std::string text(const Item& item) const;

  // A container's `i`th reference: for dictionaries, keys come first, then
  // as many values.
  std::uint64_t reference(const Item& container, std::uint64_t i) const;
  std::uint64_t dictionaryValue(const Item& dictionary, std::uint64_t i) const {
    return reference(dictionary, dictionary.count + i);
  }

 private:
  explicit BinaryPlistView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool available(std::uint64_t position, std::uint64_t size) const {
    return position <= tableOffset_ && size <= tableOffset_ - position;
  }
  // Where the object at `index` (< objectCount) starts, when that lies among
  // the objects.
  std::optional<std::uint64_t> offsetOf(std::uint64_t index) const;
  // The bytes as text when they are all ASCII, which needs no conversion.
  static std::optional<std::string_view> asciiText(const std::uint8_t* start, std::uint64_t length);
  bool readCount(std::uint64_t& position, std::uint8_t low, std::uint64_t& count) const;
  [[nodiscard]] Expected<Item> parse(std::uint64_t position) const;
  [[nodiscard]] Expected<Item> checkInteger(Item item) const;

  std::span<const std::uint8_t> bytes_;
  std::uint64_t offsetSize_ = 0;
  std::uint64_t refSize_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t top_ = 0;
  std::uint64_t tableOffset_ = 0;
};

}  // namespace fnd::plist_codec
