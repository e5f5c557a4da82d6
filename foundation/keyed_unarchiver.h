#pragma once

// Reads keyed archives securely: every object decoded, nested ones included,
// must be of a class the caller allows (or a subclass of one), and every
// structural fault of hostile input (references out of range, wrong types,
// reference loops, excessive nesting) fails the whole decode with
// NSCoderReadCorruptError instead of handing out a partly built object.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/binary_plist_view.h"
#include "foundation/expected.h"
#include "foundation/flat_index_map.h"
#include "foundation/keyed_archiver.h"
#include "foundation/value.h"

namespace fnd {

class KeyedUnarchiver {
 public:
  using ClassList = std::vector<const Class*>;

  // The root object of the archive, which must be of one of `classes`.
  // Bytes that are no property list fail with NSCocoaErrorDomain 3840, any
  // other fault with 4864.
  [[nodiscard]] static Expected<Value> unarchivedObjectOfClasses(const ClassList& classes,
                                                                 std::span<const std::uint8_t> data);
  [[nodiscard]] static Expected<Value> unarchivedObjectOfClass(const Class& cls, std::span<const std::uint8_t> data);

  // The platform classes an archive may hold: strings, numbers, data, dates,
  // UUIDs, URLs, arrays, dictionaries, sets, null and errors.
  static const ClassList& platformClasses();

  // Called from an object's initWithCoder, for the object being decoded.
  // nil when the key is absent or the decode failed; a failure is recorded
  // and fails the whole archive.
  Value decodeObjectOfClasses(const ClassList& classes, std::string_view key);
  Value decodeObjectOfClass(const Class& cls, std::string_view key);
  // With the classes the whole decode allows.
  Value decodeObject(std::string_view key);
  bool containsValueForKey(std::string_view key);
  // 0, false and 0.0 when absent; a value of another kind fails the archive.
  bool decodeBool(std::string_view key);
  std::int64_t decodeInt64(std::string_view key);
  double decodeDouble(std::string_view key);
  std::optional<std::vector<std::uint8_t>> decodeBytes(std::string_view key);

  // The error of an archive that does not hold what it should, for objects
  // whose own checks fail.
  static Error corruptArchiveError(std::string debugDescription);

  // Makes the whole decode fail; the first failure is the one reported.
  void failWithError(Error error);
  bool hasFailed() const { return error_.has_value(); }

 private:
  using PlistView = plist_codec::BinaryPlistView;
  using Item = PlistView::Item;

  explicit KeyedUnarchiver(const PlistView& plist) : plist_(plist) {}
  ~KeyedUnarchiver();

  // Checks the archive's frame and finds its objects; the root's reference,
  // or nothing when the frame is wrong.
  std::optional<Item> openArchive();

  enum class State : std::uint8_t { pending, decoding, decoded };

  // The archive is read in place: objects are found through the property
  // list's references, and only what is decoded is converted.
  std::optional<Item> plistObject(std::uint64_t index);
  std::optional<Item> entryAt(std::uint64_t uid);
  // The value for `key` in a dictionary of the property list; the last one
  // when the key repeats.
  std::optional<Item> lookUp(const Item& dictionary, std::string_view key);

  Value decodeReference(const std::optional<Item>& reference, const ClassList& allowed, std::string_view key);
  Value decodeEntry(std::uint64_t uid, const ClassList& allowed, std::string_view key);
  Value decodeKeyedEntry(std::uint64_t uid, const Item& entry, const ClassList& allowed, std::string_view key);
  Value decodePlatformObject(const Class& cls, const Item& entry, const ClassList& allowed);
  Value decodePlatformContainer(const Class& cls, const Item& entry, const ClassList& allowed);
  Value decodeError(const Item& entry);
  std::vector<Value> decodeReferenceList(const std::optional<Item>& list, const ClassList& allowed,
                                         std::string_view key);
  const Class* classOfEntry(const Item& entry, std::string_view key);
  bool isAllowed(const Value& object, const ClassList& allowed, std::string_view key);
  std::optional<Item> currentValue(std::string_view key);
  Value fail(std::string debugDescription);

  const PlistView& plist_;
  Item objects_{};
  ClassList topClasses_;
  std::vector<Value> decoded_;
  std::vector<State> states_;
  // The classes that class descriptions named, by the description's UID:
  // an archive holds a few descriptions, however many objects.
  FlatIndexMap<std::uint64_t> classIndices_;
  std::vector<const Class*> classes_;
  // The keyed entries whose keys decode* calls read, innermost last.
  std::vector<Item> entries_;
  std::size_t depth_ = 0;
  std::optional<Error> error_;
};

}  // namespace fnd
