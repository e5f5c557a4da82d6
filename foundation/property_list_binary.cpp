// The binary property-list form, "bplist00": a header, the objects, a table
// of their offsets and a 32-byte trailer giving the sizes of offsets and
// object references, the object count, the top object and the table's place.

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/property_list_codec.h"
#include "foundation/string.h"
#include "foundation/uid.h"

namespace fnd::plist_codec {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::size_t kTrailerSize = 32;

enum Marker : std::uint8_t {
  kFalse = 0x08,
  kTrue = 0x09,
  kInteger = 0x10,
  kReal = 0x20,
  kDate = 0x33,
  kData = 0x40,
  kASCIIString = 0x50,
  kUTF16String = 0x60,
  kUID = 0x80,
  kArray = 0xA0,
  kDictionary = 0xD0,
};

// ---------------------------------------------------------------------------
// Writing

std::size_t bytesFor(std::uint64_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFF) return 4;
  return 8;
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t size) {
  for (std::size_t i = size; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The code point of the UTF-8 sequence at `text[i]`, advancing `i` past it;
// a byte that starts no valid sequence gives U+FFFD and `valid` false.
std::uint32_t decodeUTF8(std::string_view text, std::size_t& i, bool& valid) {
  const auto lead = static_cast<std::uint8_t>(text[i]);
  valid = true;
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  bool wellFormed = length > 0 && lead < 0xF5 && i + length <= text.size();
  std::uint32_t value = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
  for (std::size_t k = 1; wellFormed && k < length; ++k) {
    const auto next = static_cast<std::uint8_t>(text[i + k]);
    wellFormed = (next & 0xC0) == 0x80;
    value = (value << 6) | (next & 0x3F);
  }
  const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (wellFormed && value >= minimum && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
    i += length;
    return value;
  }
  valid = false;
  ++i;
  return 0xFFFD;
}

// Text as UTF-16 code units; bytes that are not UTF-8 become U+FFFD so a
// damaged string cannot make an unreadable archive.
std::vector<std::uint16_t> utf16Units(std::string_view text) {
  std::vector<std::uint16_t> units;
  units.reserve(text.size());
  std::size_t i = 0;
  bool valid = true;
  while (i < text.size()) {
    std::uint32_t code = decodeUTF8(text, i, valid);
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<std::uint16_t>(code));
    }
  }
  return units;
}

// ---------------------------------------------------------------------------
// Reading

std::uint64_t readBigEndian(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = (value << 8) | bytes[i];
  return value;
}

void appendUTF8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class BinaryReader {
 public:
  explicit BinaryReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  Expected<Value> read() {
    if (bytes_.size() < kMagic.size() + kTrailerSize) return corruptError("The binary property list is truncated");
    const std::uint8_t* trailer = bytes_.data() + bytes_.size() - kTrailerSize;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = readBigEndian(trailer + 8, 8);
    const std::uint64_t top = readBigEndian(trailer + 16, 8);
    tableOffset_ = readBigEndian(trailer + 24, 8);
    const std::uint64_t objectsEnd = bytes_.size() - kTrailerSize;
    if (!validSize(offsetSize_) || !validSize(refSize_) || count_ == 0 || count_ > kPropertyListMaximumObjectCount ||
        top >= count_ || tableOffset_ < kMagic.size() || tableOffset_ > objectsEnd ||
        count_ > (objectsEnd - tableOffset_) / offsetSize_) {
      return corruptError("The binary property list has an invalid trailer");
    }
    values_.resize(count_);
    states_.assign(count_, State::unread);
    heights_.assign(count_, 0);
    Value root = object(top, 0);
    if (error_) return *error_;
    return root;
  }

 private:
  enum class State : std::uint8_t { unread, reading, read };

  static bool validSize(std::uint64_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

  Value fail(std::string text) {
    if (!error_) error_ = corruptError(std::move(text));
    return Value();
  }

  // Each object is converted once, so shared references cost nothing more
  // and a reference back into an object being read is caught as a cycle.
  // `depth` counts the containers around the reference; a shared container
  // met again deeper down must still fit under the depth limit, since code
  // walking the result follows every path.
  Value object(std::uint64_t index, std::size_t depth) {
    if (error_) return Value();
    if (index >= count_) return fail("An object reference is out of range");
    switch (states_[index]) {
      case State::read:
        if (depth + heights_[index] > kPropertyListMaximumDepth) return tooDeep();
        return values_[index];
      case State::reading:
        return fail("The binary property list refers to itself");
      case State::unread:
        break;
    }
    states_[index] = State::reading;
    const std::uint64_t offset = readBigEndian(bytes_.data() + tableOffset_ + index * offsetSize_, offsetSize_);
    if (offset < kMagic.size() || offset >= tableOffset_) return fail("An object offset is out of range");
    Value value = parse(offset, depth, heights_[index]);
    values_[index] = value;
    states_[index] = State::read;
    return value;
  }

  // True when `size` bytes from `position` lie before the offset table.
  bool available(std::uint64_t position, std::uint64_t size) const {
    return position <= tableOffset_ && size <= tableOffset_ - position;
  }

  // The count of a container or the length of data or text, which may
  // follow the marker as an integer object.
  std::optional<std::uint64_t> count(std::uint64_t& position, std::uint8_t low) {
    if (low != 0x0F) return low;
    if (!available(position, 1)) return std::nullopt;
    const std::uint8_t marker = bytes_[position++];
    if ((marker & 0xF0) != kInteger || (marker & 0x0F) > 3) return std::nullopt;
    const std::size_t size = std::size_t{1} << (marker & 0x0F);
    if (!available(position, size)) return std::nullopt;
    const std::uint64_t value = readBigEndian(bytes_.data() + position, size);
    position += size;
    return value;
  }

  Value tooDeep() { return fail("The binary property list nests too deeply"); }

  // `height` receives the number of nested containers the object holds,
  // itself included.
  Value parse(std::uint64_t position, std::size_t depth, std::uint16_t& height) {
    const std::uint8_t marker = bytes_[position++];
    const std::uint8_t high = marker & 0xF0;
    const std::uint8_t low = marker & 0x0F;
    switch (high) {
      case 0x00:
        if (marker == kFalse || marker == kTrue) return Value(marker == kTrue);
        return fail("The binary property list holds an object that is not a property-list value");
      case kInteger:
        return parseInteger(position, low);
      case kReal:
        return parseReal(position, low);
      case 0x30:
        if (marker != kDate || !available(position, 8)) return fail("A date is malformed");
        return Value(Date::dateWithTimeIntervalSinceReferenceDate(
            std::bit_cast<double>(readBigEndian(bytes_.data() + position, 8))));
      case kData:
      case kASCIIString:
      case kUTF16String:
        return parseBytes(position, high, low);
      case kUID:
        if (!available(position, low + 1u) || low > 7) return fail("A UID is malformed");
        return Value(UID::make(readBigEndian(bytes_.data() + position, low + 1u)));
      case kArray:
      case kDictionary:
        return parseContainer(position, high, low, depth, height);
      default:
        return fail(StringWithFormat("Unknown object marker 0x%02x", marker));
    }
  }

  Value parseInteger(std::uint64_t position, std::uint8_t low) {
    if (low > 4) return fail("An integer is malformed");
    const std::size_t size = std::size_t{1} << low;
    if (!available(position, size)) return fail("An integer is truncated");
    if (size < 8) return Value(static_cast<std::int64_t>(readBigEndian(bytes_.data() + position, size)));
    if (size == 8) return Value(static_cast<std::int64_t>(readBigEndian(bytes_.data() + position, 8)));
    const std::uint64_t upper = readBigEndian(bytes_.data() + position, 8);
    const std::uint64_t lower = readBigEndian(bytes_.data() + position + 8, 8);
    if (upper == 0) return Value(Number::numberWithUnsignedInteger(lower));
    if (upper == ~std::uint64_t{0} && static_cast<std::int64_t>(lower) < 0) {
      return Value(static_cast<std::int64_t>(lower));
    }
    return fail("An integer does not fit in 64 bits");
  }

  Value parseReal(std::uint64_t position, std::uint8_t low) {
    if (low == 2 && available(position, 4)) {
      return Value(static_cast<double>(
          std::bit_cast<float>(static_cast<std::uint32_t>(readBigEndian(bytes_.data() + position, 4)))));
    }
    if (low == 3 && available(position, 8)) {
      return Value(std::bit_cast<double>(readBigEndian(bytes_.data() + position, 8)));
    }
    return fail("A real is malformed");
  }

  Value parseBytes(std::uint64_t position, std::uint8_t high, std::uint8_t low) {
    const auto length = count(position, low);
    const std::uint64_t unit = high == kUTF16String ? 2 : 1;
    if (!length || *length > std::numeric_limits<std::uint64_t>::max() / unit || !available(position, *length * unit)) {
      return fail("Data or text runs past the end of the objects");
    }
    const std::uint8_t* start = bytes_.data() + position;
    if (high == kData) return Value(Data::make(std::vector<std::uint8_t>(start, start + *length)));
    std::string text;
    if (high == kASCIIString) {
      const std::uint8_t* end = start + *length;
      if (std::all_of(start, end, [](std::uint8_t byte) { return byte < 0x80; })) {
        return Value(std::string(reinterpret_cast<const char*>(start), *length));
      }
      text.reserve(*length);
      // Bytes above 0x7F are taken as Latin-1 so the result stays UTF-8.
      for (std::uint64_t i = 0; i < *length; ++i) appendUTF8(text, start[i]);
      return Value(std::move(text));
    }
    text.reserve(*length * 2);
    for (std::uint64_t i = 0; i < *length; ++i) {
      std::uint32_t code = static_cast<std::uint32_t>(readBigEndian(start + 2 * i, 2));
      if (code >= 0xD800 && code <= 0xDBFF && i + 1 < *length) {
        const auto next = static_cast<std::uint32_t>(readBigEndian(start + 2 * (i + 1), 2));
        if (next >= 0xDC00 && next <= 0xDFFF) {
          code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
          ++i;
        }
      }
      if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
      appendUTF8(text, code);
    }
    return Value(std::move(text));
  }

  // An element of a container; raises the container's height to fit it.
  Value element(std::uint64_t index, std::size_t depth, std::uint16_t& height) {
    Value value = object(index, depth + 1);
    if (!error_) height = std::max<std::uint16_t>(height, heights_[index] + 1);
    return value;
  }

  Value parseContainer(std::uint64_t position, std::uint8_t high, std::uint8_t low, std::size_t depth,
                       std::uint16_t& height) {
    if (depth >= kPropertyListMaximumDepth) return tooDeep();
    height = 1;
    const auto entries = count(position, low);
    // One object may be referenced many times, so only the bytes bound the
    // number of references.
    const std::uint64_t referenceBytes = (high == kDictionary ? 2 : 1) * refSize_;
    if (!entries || *entries > tableOffset_ / referenceBytes || !available(position, *entries * referenceBytes)) {
      return fail("A container runs past the end of the objects");
    }
    auto reference = [&](std::uint64_t i) {
      return readBigEndian(bytes_.data() + position + i * refSize_, refSize_);
    };
    if (high == kArray) {
      std::vector<Value> elements;
      elements.reserve(*entries);
      for (std::uint64_t i = 0; i < *entries; ++i) {
        elements.push_back(element(reference(i), depth, height));
        if (error_) return Value();
      }
      return Value(Array::make(std::move(elements)));
    }
    std::vector<Dictionary::Entry> members;
    members.reserve(*entries);
    for (std::uint64_t i = 0; i < *entries; ++i) {
      Value key = element(reference(i), depth, height);
      Value value = element(reference(*entries + i), depth, height);
      if (error_) return Value();
      if (!key.as<String>()) return fail("A dictionary key is not a string");
      members.emplace_back(std::move(key), std::move(value));
    }
    return Value(Dictionary::make(std::move(members)));
  }

  std::span<const std::uint8_t> bytes_;
  std::uint64_t offsetSize_ = 0;
  std::uint64_t refSize_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t tableOffset_ = 0;
  std::vector<Value> values_;
  std::vector<State> states_;
  std::vector<std::uint16_t> heights_;
  std::optional<Error> error_;
};

}  // namespace

BinaryPlistBuilder::Ref BinaryPlistBuilder::push(Node node) {
  nodes_.push_back(node);
  return nodes_.size() - 1;
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::string(std::string_view text) {
  auto [ref, inserted] = strings_.tryEmplace(text, nodes_.size());
  if (inserted) push(Node{Node::Kind::text, nullptr, text, 0, 0, 0});
  return ref;
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::uid(std::uint64_t value) {
  auto [ref, inserted] = uids_.tryEmplace(value, nodes_.size());
  if (inserted) push(Node{Node::Kind::uid, nullptr, {}, value, 0, 0});
  return ref;
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::scalar(const Object& object) {
  if (const auto* text = objectCast<String>(&object)) return string(text->value());
  if (const auto* id = objectCast<UID>(&object)) return uid(id->value());
  return push(Node{Node::Kind::object, &object, {}, 0, 0, 0});
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::value(const Value& value) {
  const Object* object = value.get();
  if (auto known = objects_.find(object)) return *known;
  Ref ref = 0;
  if (const auto* array = objectCast<Array>(object)) {
    std::vector<Ref> elements;
    elements.reserve(array->count());
    for (const Value& element : array->elements()) elements.push_back(this->value(element));
    ref = this->array(elements);
  } else if (const auto* dictionary = objectCast<Dictionary>(object)) {
    std::vector<Ref> keys;
    std::vector<Ref> values;
    keys.reserve(dictionary->count());
    values.reserve(dictionary->count());
    for (const auto& entry : dictionary->entries()) keys.push_back(this->value(entry.first));
    for (const auto& entry : dictionary->entries()) values.push_back(this->value(entry.second));
    ref = this->dictionary(keys, values);
  } else {
    ref = scalar(*object);
  }
  (void)objects_.tryEmplace(object, ref);
  return ref;
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::container(Node::Kind kind, std::span<const Ref> first,
                                                      std::span<const Ref> second) {
  const std::size_t start = refs_.size();
  refs_.insert(refs_.end(), first.begin(), first.end());
  refs_.insert(refs_.end(), second.begin(), second.end());
  return push(Node{kind, nullptr, {}, 0, start, first.size()});
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::array(std::span<const Ref> elements) {
  return container(Node::Kind::array, elements, {});
}

BinaryPlistBuilder::Ref BinaryPlistBuilder::dictionary(std::span<const Ref> keys, std::span<const Ref> values) {
  FND_PARAMETER_ASSERT(keys.size() == values.size());
  return container(Node::Kind::dictionary, keys, values);
}

std::vector<std::uint8_t> BinaryPlistBuilder::finish(Ref top) {
  FND_PARAMETER_ASSERT(top < nodes_.size());
  refSize_ = bytesFor(nodes_.size() - 1);
  out_.assign(kMagic.begin(), kMagic.end());
  std::vector<std::uint64_t> offsets;
  offsets.reserve(nodes_.size());
  for (const Node& node : nodes_) {
    offsets.push_back(out_.size());
    encode(node);
  }
  const std::uint64_t tableOffset = out_.size();
  const std::size_t offsetSize = bytesFor(tableOffset);
  for (const std::uint64_t offset : offsets) appendBigEndian(out_, offset, offsetSize);
  out_.insert(out_.end(), 6, 0);
  out_.push_back(static_cast<std::uint8_t>(offsetSize));
  out_.push_back(static_cast<std::uint8_t>(refSize_));
  appendBigEndian(out_, nodes_.size(), 8);
  appendBigEndian(out_, top, 8);
  appendBigEndian(out_, tableOffset, 8);
  return std::move(out_);
}

void BinaryPlistBuilder::marker(std::uint8_t kind, std::uint64_t count) {
  if (count < 15) {
    out_.push_back(static_cast<std::uint8_t>(kind | count));
    return;
  }
  out_.push_back(static_cast<std::uint8_t>(kind | 0x0F));
  integer(static_cast<std::int64_t>(count));
}

void BinaryPlistBuilder::integer(std::int64_t value) {
  if (value < 0) {
    out_.push_back(kInteger | 3);
    appendBigEndian(out_, static_cast<std::uint64_t>(value), 8);
    return;
  }
  const std::size_t size = bytesFor(static_cast<std::uint64_t>(value));
  out_.push_back(static_cast<std::uint8_t>(kInteger | std::countr_zero(size)));
  appendBigEndian(out_, static_cast<std::uint64_t>(value), size);
}

void BinaryPlistBuilder::real(std::uint8_t kind, double value) {
  out_.push_back(kind);
  appendBigEndian(out_, std::bit_cast<std::uint64_t>(value), 8);
}

void BinaryPlistBuilder::encode(const Node& node) {
  switch (node.kind) {
    case Node::Kind::text:
      return encodeString(node.text);
    case Node::Kind::uid: {
      const std::size_t size = bytesFor(node.value);
      out_.push_back(static_cast<std::uint8_t>(kUID | (size - 1)));
      appendBigEndian(out_, node.value, size);
      return;
    }
    case Node::Kind::array:
    case Node::Kind::dictionary: {
      marker(node.kind == Node::Kind::array ? kArray : kDictionary, node.count);
      const std::size_t total = node.kind == Node::Kind::array ? node.count : 2 * node.count;
      for (std::size_t i = 0; i < total; ++i) appendBigEndian(out_, refs_[node.first + i], refSize_);
      return;
    }
    case Node::Kind::object:
      return encodeScalar(*node.object);
  }
}

void BinaryPlistBuilder::encodeScalar(const Object& object) {
  if (const auto* number = objectCast<Number>(&object)) {
    switch (number->kind()) {
      case Number::Kind::boolean:
        out_.push_back(number->boolValue() ? kTrue : kFalse);
        return;
      case Number::Kind::integer:
        return integer(number->integerValue());
      case Number::Kind::unsignedInteger:
        if (number->unsignedIntegerValue() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          return integer(static_cast<std::int64_t>(number->unsignedIntegerValue()));
        }
        // Beyond the signed range the platform writes a 16-byte integer.
        out_.push_back(kInteger | 4);
        appendBigEndian(out_, 0, 8);
        appendBigEndian(out_, number->unsignedIntegerValue(), 8);
        return;
      case Number::Kind::real:
        return real(kReal | 3, number->doubleValue());
    }
  }
  if (const auto* data = objectCast<Data>(&object)) {
    marker(kData, data->length());
    out_.insert(out_.end(), data->bytes().begin(), data->bytes().end());
    return;
  }
  if (const auto* date = objectCast<Date>(&object)) return real(kDate, date->timeIntervalSinceReferenceDate());
  FND_PARAMETER_ASSERT_TEXT(false, "a property-list scalar");
}

void BinaryPlistBuilder::encodeString(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    marker(kASCIIString, text.size());
    out_.insert(out_.end(), text.begin(), text.end());
    return;
  }
  const std::vector<std::uint16_t> units = utf16Units(text);
  marker(kUTF16String, units.size());
  for (const std::uint16_t unit : units) appendBigEndian(out_, unit, 2);
}

bool isUTF8(std::string_view text) {
  bool valid = true;
  for (std::size_t i = 0; i < text.size() && valid;) decodeUTF8(text, i, valid);
  return valid;
}

std::string withValidUTF8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  bool valid = true;
  while (i < text.size()) {
    const std::size_t start = i;
    const std::uint32_t code = decodeUTF8(text, i, valid);
    if (valid) {
      out.append(text.substr(start, i - start));
    } else {
      appendUTF8(out, code);
    }
  }
  return out;
}

bool isBinary(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kMagic.size() && std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) == 0;
}

std::vector<std::uint8_t> writeBinary(const Value& plist) {
  BinaryPlistBuilder builder;
  const BinaryPlistBuilder::Ref top = builder.value(plist);
  return builder.finish(top);
}

Expected<Value> readBinary(std::span<const std::uint8_t> bytes) { return BinaryReader(bytes).read(); }

}  // namespace fnd::plist_codec
