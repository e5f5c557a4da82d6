#pragma once

// Writes an object graph as a keyed archive: a binary property list with
// "$archiver" = "NSKeyedArchiver", "$version" = 100000, "$top" = {"root": UID}
// and "$objects", whose entry 0 is "$null". Each object is written once, by
// identity, and referenced by UID, so shared objects stay shared and cycles
// between model objects survive. Platform classes keep the platform's layout
// and keys, so archives cross to and from the platform unchanged.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/expected.h"
#include "foundation/flat_index_map.h"
#include "foundation/value.h"

namespace fnd {

inline constexpr std::int64_t NSCoderReadCorruptError = 4864;
inline constexpr std::int64_t NSCoderValueNotFoundError = 4865;
inline constexpr std::int64_t NSCoderInvalidValueError = 4866;

class KeyedArchiver {
 public:
  // The archive of `root`, or NSCoderInvalidValueError when the graph holds
  // an object that cannot be archived.
  [[nodiscard]] static Expected<std::vector<std::uint8_t>> archivedDataWithRootObject(const Value& root);

  // Called from an object's encodeWithCoder, for the object being encoded.
  void encodeObject(const Value& object, std::string_view key);
  // References `object` only if something else archives it unconditionally;
  // otherwise the key reads back as nil.
  void encodeConditionalObject(const Value& object, std::string_view key);
  void encodeBool(bool value, std::string_view key);
  void encodeInt64(std::int64_t value, std::string_view key);
  void encodeDouble(double value, std::string_view key);
  void encodeBytes(std::vector<std::uint8_t> bytes, std::string_view key);

  // Makes the whole archive fail; the first failure is the one reported.
  void failWithError(Error error);

 private:
  KeyedArchiver();
  ~KeyedArchiver();

  struct Slot;
  struct Entry;

  std::uint64_t referenceObject(const Value& object);
  std::uint64_t encodeNewObject(const Value& object);
  void encodePlatformObject(const Object& object);
  std::vector<std::uint64_t> referenceAll(const std::vector<Value>& values);
  std::uint64_t classReference(const Class& cls);
  struct ClassDescription {
    Value name;
    Value chain;
  };
  static const ClassDescription& describedClass(const Class& cls);
  // Keys of the caller are escaped as the platform escapes them; the
  // archive's own keys ("$class") are not.
  void put(std::string_view key, Slot slot);
  void putRaw(std::string key, Slot slot);
  Expected<std::vector<std::uint8_t>> finish(std::uint64_t root);
  static const Value& versionNumber();

  std::vector<Entry> objects_;
  FlatIndexMap<const Object*> uids_;
  FlatIndexMap<const Class*> classes_;
  // The entry whose keys encode* calls fill.
  std::optional<std::size_t> current_;
  std::optional<Error> error_;
  // Keeps replacement objects alive so identity keys stay unique.
  std::vector<Value> retained_;
};

}  // namespace fnd
