#pragma once

// The two property-list codecs behind PropertyListSerialization (internal to
// fnd). Writers take values already checked to be property lists.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/flat_index_map.h"
#include "foundation/value.h"

namespace fnd::plist_codec {

std::vector<std::uint8_t> writeBinary(const Value& plist);

// Writes a binary property list from its parts, for writers that know their
// shape and need no value tree first. Each call adds one object and returns
// its reference; equal strings and equal UIDs are one object. The builder
// keeps views of the texts and the scalar objects it is given: they must
// live until finish.
class BinaryPlistBuilder {
 public:
  using Ref = std::uint64_t;

  Ref string(std::string_view text);
  Ref uid(std::uint64_t value);
  // A string, number, data, date or UID.
  Ref scalar(const Object& object);
  Ref array(std::span<const Ref> elements);
  Ref dictionary(std::span<const Ref> keys, std::span<const Ref> values);
  // A whole value tree (checked to be a property list); values are
  // immutable, so one object met twice is written once.
  Ref value(const Value& value);
  std::vector<std::uint8_t> finish(Ref top);

 private:
  struct Node {
    enum class Kind : std::uint8_t { object, text, uid, array, dictionary };
    Kind kind;
    const Object* object;
    std::string_view text;
    std::uint64_t value;
    // Containers: their references in refs_ (dictionaries: keys, then as
    // many values).
    std::size_t first;
    std::size_t count;
  };

  Ref push(Node node);
  Ref container(Node::Kind kind, std::span<const Ref> first, std::span<const Ref> second);
  void encode(const Node& node);
  void encodeScalar(const Object& object);
  void encodeString(std::string_view text);
  void marker(std::uint8_t kind, std::uint64_t count);
  void integer(std::int64_t value);
  void real(std::uint8_t kind, double value);

  std::vector<Node> nodes_;
  std::vector<Ref> refs_;
  FlatIndexMap<std::string_view> strings_;
  FlatIndexMap<std::uint64_t> uids_;
  FlatIndexMap<const Object*> objects_;
  std::vector<std::uint8_t> out_;
  std::size_t refSize_ = 1;
};
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
