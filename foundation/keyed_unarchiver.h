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

#include "foundation/expected.h"
#include "foundation/keyed_archiver.h"
#include "foundation/value.h"

namespace fnd {

class Array;
class Dictionary;

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
  bool containsValueForKey(std::string_view key) const;
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
  explicit KeyedUnarchiver(std::shared_ptr<Array> objects);
  ~KeyedUnarchiver();

  enum class State : std::uint8_t { pending, decoding, decoded };

  Value decodeReference(const Value& reference, const ClassList& allowed, std::string_view key);
  Value decodeEntry(std::uint64_t uid, const ClassList& allowed, std::string_view key);
  Value decodeKeyedEntry(std::uint64_t uid, const Dictionary& entry, const ClassList& allowed, std::string_view key);
  Value decodePlatformObject(const Class& cls, const Dictionary& entry, const ClassList& allowed);
  Value decodePlatformContainer(const Class& cls, const Dictionary& entry, const ClassList& allowed);
  Value decodeError(const Dictionary& entry);
  std::vector<Value> decodeReferenceList(const Value& list, const ClassList& allowed, std::string_view key);
  const Class* classOfEntry(const Dictionary& entry, std::string_view key);
  bool isAllowed(const Value& object, const ClassList& allowed, std::string_view key);
  Value currentValue(std::string_view key) const;
  Value fail(std::string debugDescription);

  ClassList topClasses_;
  std::shared_ptr<Array> objects_;
  std::vector<Value> decoded_;
  std::vector<State> states_;
  // The keyed entries whose keys decode* calls read, innermost last.
  std::vector<const Dictionary*> entries_;
  std::size_t depth_ = 0;
  std::optional<Error> error_;
};

}  // namespace fnd
