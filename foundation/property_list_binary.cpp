// The binary property-list form, "bplist00": a header, the objects, a table
// of their offsets and a 32-byte trailer giving the sizes of offsets and
// object references, the object count, the top object and the table's place.

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "foundation/array.h"
#include "foundation/binary_plist_view.h"
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

// Reads a whole binary property list into a value tree. Each object is
// converted once, so shared references cost nothing more and a reference
// back into an object being read is caught as a cycle.
class BinaryReader {
 public:
  explicit BinaryReader(const BinaryPlistView& view)
      : view_(view), values_(view.objectCount()), states_(view.objectCount(), State::unread),
        heights_(view.objectCount(), 0) {}

  Expected<Value> read() {
    Value root = object(view_.topIndex(), 0);
    if (error_) return *error_;
    return root;
  }

 private:
  enum class State : std::uint8_t { unread, reading, read };

  Value fail(std::string text) {
    if (!error_) error_ = corruptError(std::move(text));
    return Value();
  }

  Value tooDeep() { return fail("The binary property list nests too deeply"); }

  // `depth` counts the containers around the reference; a shared container
  // met again deeper down must still fit under the depth limit, since code
  // walking the result follows every path.
  Value object(std::uint64_t index, std::size_t depth) {
    if (error_) return Value();
    if (index >= values_.size()) return fail("An object reference is out of range");
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
    auto item = view_.object(index);
    if (!item) {
      if (!error_) error_ = item.error();
      return Value();
    }
    Value value = convert(*item, depth, heights_[index]);
    values_[index] = value;
    states_[index] = State::read;
    return value;
  }

  // `height` receives the number of nested containers the object holds,
  // itself included.
  Value convert(const BinaryPlistView::Item& item, std::size_t depth, std::uint16_t& height) {
    using Kind = BinaryPlistView::Kind;
    switch (item.kind) {
      case Kind::data: {
        const std::span<const std::uint8_t> bytes = view_.data(item);
        return Value(Data::make(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
      }
      case Kind::text:
        return Value(view_.text(item));
      case Kind::uid:
        return Value(UID::make(view_.uid(item)));
      case Kind::array:
      case Kind::dictionary:
        return convertContainer(item, depth, height);
      default:
        return view_.scalar(item);
    }
  }

  // An element of a container; raises the container's height to fit it.
  Value element(std::uint64_t index, std::size_t depth, std::uint16_t& height) {
    Value value = object(index, depth + 1);
    if (!error_) height = std::max<std::uint16_t>(height, heights_[index] + 1);
    return value;
  }

  Value convertContainer(const BinaryPlistView::Item& item, std::size_t depth, std::uint16_t& height) {
    if (depth >= kPropertyListMaximumDepth) return tooDeep();
    height = 1;
    if (item.kind == BinaryPlistView::Kind::array) {
      std::vector<Value> elements;
      elements.reserve(item.count);
      for (std::uint64_t i = 0; i < item.count; ++i) {
        elements.push_back(element(view_.reference(item, i), depth, height));
        if (error_) return Value();
      }
      return Value(Array::make(std::move(elements)));
    }
    std::vector<Dictionary::Entry> members;
    members.reserve(item.count);
    for (std::uint64_t i = 0; i < item.count; ++i) {
      Value key = element(view_.reference(item, i), depth, height);
      Value value = element(view_.dictionaryValue(item, i), depth, height);
      if (error_) return Value();
      if (!key.as<String>()) return fail("A dictionary key is not a string");
      members.emplace_back(std::move(key), std::move(value));
    }
    return Value(Dictionary::make(std::move(members)));
  }

  const BinaryPlistView& view_;
  std::vector<Value> values_;
  std::vector<State> states_;
  std::vector<std::uint16_t> heights_;
  std::optional<Error> error_;
};

}  // namespace

// ---------------------------------------------------------------------------
// The view

Expected<BinaryPlistView> BinaryPlistView::open(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagic.size() + kTrailerSize) return corruptError("The binary property list is truncated");
  BinaryPlistView view(bytes);
  const std::uint8_t* trailer = bytes.data() + bytes.size() - kTrailerSize;
  view.offsetSize_ = trailer[6];
  view.refSize_ = trailer[7];
  view.count_ = readBigEndian(trailer + 8, 8);
  view.top_ = readBigEndian(trailer + 16, 8);
  view.tableOffset_ = readBigEndian(trailer + 24, 8);
  const std::uint64_t objectsEnd = bytes.size() - kTrailerSize;
  auto validSize = [](std::uint64_t size) { return size == 1 || size == 2 || size == 4 || size == 8; };
  if (!validSize(view.offsetSize_) || !validSize(view.refSize_) || view.count_ == 0 ||
      view.count_ > kPropertyListMaximumObjectCount || view.top_ >= view.count_ || view.tableOffset_ < kMagic.size() ||
      view.tableOffset_ > objectsEnd || view.count_ > (objectsEnd - view.tableOffset_) / view.offsetSize_) {
    return corruptError("The binary property list has an invalid trailer");
  }
  return view;
}

std::optional<std::uint64_t> BinaryPlistView::offsetOf(std::uint64_t index) const {
  FND_PARAMETER_ASSERT(index < count_);
  const std::uint64_t offset = readBigEndian(bytes_.data() + tableOffset_ + index * offsetSize_, offsetSize_);
  if (offset < kMagic.size() || offset >= tableOffset_) return std::nullopt;
  return offset;
}

std::optional<std::string_view> BinaryPlistView::asciiText(const std::uint8_t* start, std::uint64_t length) {
  if (!std::all_of(start, start + length, [](std::uint8_t byte) { return byte < 0x80; })) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(start), length);
}

Expected<BinaryPlistView::Item> BinaryPlistView::object(std::uint64_t index) const {
  if (index >= count_) return corruptError("An object reference is out of range");
  const std::optional<std::uint64_t> offset = offsetOf(index);
  if (!offset) return corruptError("An object offset is out of range");
  return parse(*offset);
}

std::optional<std::string_view> BinaryPlistView::asciiTextAt(std::uint64_t index) const {
  const std::optional<std::uint64_t> offset = index < count_ ? offsetOf(index) : std::nullopt;
  if (!offset) return std::nullopt;
  const std::uint8_t marker = bytes_[*offset];
  std::uint64_t position = *offset + 1;
  std::uint64_t length = 0;
  if ((marker & 0xF0) != kASCIIString || !readCount(position, marker & 0x0F, length) || !available(position, length)) {
    return std::nullopt;
  }
  return asciiText(bytes_.data() + position, length);
}

// The count of a container or the length of data or text, which may follow
// the marker as an integer object.
bool BinaryPlistView::readCount(std::uint64_t& position, std::uint8_t low, std::uint64_t& count) const {
  if (low != 0x0F) {
    count = low;
    return true;
  }
  if (!available(position, 1)) return false;
  const std::uint8_t marker = bytes_[position++];
  if ((marker & 0xF0) != kInteger || (marker & 0x0F) > 3) return false;
  const std::size_t size = std::size_t{1} << (marker & 0x0F);
  if (!available(position, size)) return false;
  count = readBigEndian(bytes_.data() + position, size);
  position += size;
  return true;
}

Expected<BinaryPlistView::Item> BinaryPlistView::parse(std::uint64_t position) const {
  const std::uint8_t marker = bytes_[position++];
  const std::uint8_t high = marker & 0xF0;
  const std::uint8_t low = marker & 0x0F;
  switch (high) {
    case 0x00:
      if (marker == kFalse || marker == kTrue) return Item{Kind::boolean, marker, position, 0};
      return corruptError("The binary property list holds an object that is not a property-list value");
    case kInteger:
      return checkInteger(Item{Kind::integer, marker, position, 0});
    case kReal:
      if ((low == 2 && available(position, 4)) || (low == 3 && available(position, 8))) {
        return Item{Kind::real, marker, position, 0};
      }
      return corruptError("A real is malformed");
    case 0x30:
      if (marker != kDate || !available(position, 8)) return corruptError("A date is malformed");
      return Item{Kind::date, marker, position, 0};
    case kData:
    case kASCIIString:
    case kUTF16String: {
      std::uint64_t length = 0;
      const std::uint64_t unit = high == kUTF16String ? 2 : 1;
      if (!readCount(position, low, length) || length > std::numeric_limits<std::uint64_t>::max() / unit ||
          !available(position, length * unit)) {
        return corruptError("Data or text runs past the end of the objects");
      }
      return Item{high == kData ? Kind::data : Kind::text, marker, position, length};
    }
    case kUID:
      if (!available(position, low + 1u) || low > 7) return corruptError("A UID is malformed");
      return Item{Kind::uid, marker, position, 0};
    case kArray:
    case kDictionary: {
      std::uint64_t entries = 0;
      // One object may be referenced many times, so only the bytes bound the
      // number of references.
      const std::uint64_t referenceBytes = (high == kDictionary ? 2 : 1) * refSize_;
      if (!readCount(position, low, entries) || entries > tableOffset_ / referenceBytes ||
          !available(position, entries * referenceBytes)) {
        return corruptError("A container runs past the end of the objects");
      }
      return Item{high == kArray ? Kind::array : Kind::dictionary, marker, position, entries};
    }
    default:
      return corruptError(StringWithFormat("Unknown object marker 0x%02x", marker));
  }
}

Expected<BinaryPlistView::Item> BinaryPlistView::checkInteger(Item item) const {
  const std::uint8_t low = item.marker & 0x0F;
  if (low > 4) return corruptError("An integer is malformed");
  const std::size_t size = std::size_t{1} << low;
  if (!available(item.position, size)) return corruptError("An integer is truncated");
  if (size == 16) {
    const std::uint64_t upper = readBigEndian(bytes_.data() + item.position, 8);
    const std::uint64_t lower = readBigEndian(bytes_.data() + item.position + 8, 8);
    const bool fits = upper == 0 || (upper == ~std::uint64_t{0} && static_cast<std::int64_t>(lower) < 0);
    if (!fits) return corruptError("An integer does not fit in 64 bits");
  }
  return item;
}

Value BinaryPlistView::scalar(const Item& item) const {
  const std::uint8_t* start = bytes_.data() + item.position;
  switch (item.kind) {
    case Kind::boolean:
      return Value(item.marker == kTrue);
    case Kind::integer: {
      const std::size_t size = std::size_t{1} << (item.marker & 0x0F);
      if (size <= 8) return Value(static_cast<std::int64_t>(readBigEndian(start, size)));
      const std::uint64_t lower = readBigEndian(start + 8, 8);
      if (readBigEndian(start, 8) == 0) return Value(Number::numberWithUnsignedInteger(lower));
      return Value(static_cast<std::int64_t>(lower));
    }
    case Kind::real:
      if ((item.marker & 0x0F) == 2) {
        return Value(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(readBigEndian(start, 4)))));
      }
      return Value(std::bit_cast<double>(readBigEndian(start, 8)));
    case Kind::date:
      return Value(Date::dateWithTimeIntervalSinceReferenceDate(std::bit_cast<double>(readBigEndian(start, 8))));
    default:
      FND_PARAMETER_ASSERT_TEXT(false, "item.kind is a scalar");
      return Value();
  }
}

std::uint64_t BinaryPlistView::uid(const Item& item) const {
  FND_PARAMETER_ASSERT(item.kind == Kind::uid);
  return readBigEndian(bytes_.data() + item.position, (item.marker & 0x0F) + 1u);
}

std::span<const std::uint8_t> BinaryPlistView::data(const Item& item) const {
  FND_PARAMETER_ASSERT(item.kind == Kind::data);
  return bytes_.subspan(item.position, item.count);
}

std::string BinaryPlistView::text(const Item& item) const {
  FND_PARAMETER_ASSERT(item.kind == Kind::text);
  const std::uint8_t* start = bytes_.data() + item.position;
  std::string text;
  if ((item.marker & 0xF0) == kASCIIString) {
    if (const std::optional<std::string_view> ascii = asciiText(start, item.count)) return std::string(*ascii);
    text.reserve(item.count);
    // Bytes above 0x7F are taken as Latin-1 so the result stays UTF-8.
    for (std::uint64_t i = 0; i < item.count; ++i) appendUTF8(text, start[i]);
    return text;
  }
  text.reserve(item.count * 2);
  for (std::uint64_t i = 0; i < item.count; ++i) {
    std::uint32_t code = static_cast<std::uint32_t>(readBigEndian(start + 2 * i, 2));
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < item.count) {
      const auto next = static_cast<std::uint32_t>(readBigEndian(start + 2 * (i + 1), 2));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    appendUTF8(text, code);
  }
  return text;
}

std::uint64_t BinaryPlistView::reference(const Item& container, std::uint64_t i) const {
  FND_PARAMETER_ASSERT(container.kind == Kind::array || container.kind == Kind::dictionary);
  return readBigEndian(bytes_.data() + container.position + i * refSize_, refSize_);
}

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

Expected<Value> readBinary(std::span<const std::uint8_t> bytes) {
  auto view = BinaryPlistView::open(bytes);
  if (!view) return view.error();
  return BinaryReader(*view).read();
}

}  // namespace fnd::plist_codec
