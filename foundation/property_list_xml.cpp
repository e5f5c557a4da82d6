// The XML property-list form. Writing is ours, so integers keep their sign,
// reals their exact value and UIDs their platform spelling; reading goes
// through libplist after a cheap scan of the markup bounds its nesting and
// size, and works around what its accessors cannot tell.

#include <plist/plist.h>

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>

#include "foundation/array.h"
#include "foundation/crypto.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/property_list_codec.h"
#include "foundation/string.h"
#include "foundation/uid.h"

namespace fnd::plist_codec {

namespace {

constexpr std::string_view kUIDKey = "CF$UID";

// ---------------------------------------------------------------------------
// Writing

void appendEscaped(std::string& out, std::string_view text) {
  // Text that is not UTF-8 would make a document no reader accepts.
  if (!isUTF8(text)) return appendEscaped(out, withValidUTF8(text));
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
}

}  // namespace

double xmlDateSeconds(double secondsSinceReferenceDate) {
  constexpr double kEarliest = -63113904000.0;  // 0001-01-01T00:00:00Z
  constexpr double kLatest = 252423993599.0;    // 9999-12-31T23:59:59Z
  if (std::isnan(secondsSinceReferenceDate)) return 0;
  return std::clamp(std::floor(secondsSinceReferenceDate), kEarliest, kLatest);
}

namespace {

std::string shortestReal(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string isoDate(double secondsSinceReferenceDate) {
  const auto unixSeconds =
      static_cast<std::time_t>(xmlDateSeconds(secondsSinceReferenceDate) + Date::kTimeIntervalBetween1970AndReferenceDate);
  std::tm parts{};
  ::gmtime_r(&unixSeconds, &parts);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return buffer;
}

void writeValue(std::string& out, const Value& value, std::size_t depth) {
  const std::string indent(depth, '\t');
  const Object* object = value.get();
  out += indent;
  if (const auto* string = dynamic_cast<const String*>(object)) {
    out += "<string>";
    appendEscaped(out, string->value());
    out += "</string>\n";
  } else if (const auto* number = dynamic_cast<const Number*>(object)) {
    switch (number->kind()) {
      case Number::Kind::boolean:
        out += number->boolValue() ? "<true/>\n" : "<false/>\n";
        break;
      case Number::Kind::integer:
        out += "<integer>" + std::to_string(number->integerValue()) + "</integer>\n";
        break;
      case Number::Kind::unsignedInteger:
        out += "<integer>" + std::to_string(number->unsignedIntegerValue()) + "</integer>\n";
        break;
      case Number::Kind::real:
        out += "<real>" + shortestReal(number->doubleValue()) + "</real>\n";
        break;
    }
  } else if (const auto* data = dynamic_cast<const Data*>(object)) {
    out += "<data>" + crypto::base64Encode(data->bytes()) + "</data>\n";
  } else if (const auto* date = dynamic_cast<const Date*>(object)) {
    out += "<date>" + isoDate(date->timeIntervalSinceReferenceDate()) + "</date>\n";
  } else if (const auto* uid = dynamic_cast<const UID*>(object)) {
    out += "<dict>\n" + indent + "\t<key>CF$UID</key>\n" + indent + "\t<integer>" + std::to_string(uid->value()) +
           "</integer>\n" + indent + "</dict>\n";
  } else if (const auto* array = dynamic_cast<const Array*>(object)) {
    if (array->count() == 0) {
      out += "<array/>\n";
      return;
    }
    out += "<array>\n";
    for (const Value& element : array->elements()) writeValue(out, element, depth + 1);
    out += indent + "</array>\n";
  } else if (const auto* dictionary = dynamic_cast<const Dictionary*>(object)) {
    if (dictionary->count() == 0) {
      out += "<dict/>\n";
      return;
    }
    out += "<dict>\n";
    for (const auto& [key, element] : dictionary->entries()) {
      out += indent + "\t<key>";
      appendEscaped(out, *key.stringValue());
      out += "</key>\n";
      writeValue(out, element, depth + 1);
    }
    out += indent + "</dict>\n";
  }
}

// ---------------------------------------------------------------------------
// Reading

using Node = plist_t;

struct NodeFree {
  void operator()(void* node) const { plist_free(static_cast<Node>(node)); }
};

// What a cheap pass over the markup finds before the library builds its
// tree: the deepest nesting of arrays and dictionaries and the number of
// elements. The library's parser is iterative but freeing its tree is not,
// so nesting must be bounded first. The pass skips what the library skips
// (comments, CDATA, processing instructions, declarations, quoted attribute
// values), so closing tags hidden there cannot make it count too little.
struct MarkupShape {
  std::size_t depth = 0;
  std::size_t elements = 0;
};

MarkupShape shapeOf(std::string_view text) {
  MarkupShape shape;
  std::size_t depth = 0;
  auto skipPast = [text](std::size_t from, std::string_view terminator) {
    const std::size_t found = text.find(terminator, from);
    return found == std::string_view::npos ? text.size() : found + terminator.size();
  };
  auto isContainer = [](std::string_view name) { return name == "array" || name == "dict"; };
  for (std::size_t i = text.find('<'); i < text.size(); i = text.find('<', i)) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (next == '!') {
      const std::string_view rest = text.substr(i);
      i = rest.starts_with("<!--")        ? skipPast(i + 4, "-->")
          : rest.starts_with("<![CDATA[") ? skipPast(i + 9, "]]>")
                                          : skipPast(i + 2, ">");
      continue;
    }
    if (next == '?') {
      i = skipPast(i + 2, "?>");
      continue;
    }
    const bool closing = next == '/';
    const std::size_t nameStart = i + (closing ? 2 : 1);
    std::size_t j = nameStart;
    while (j < text.size() && text[j] != '>' && text[j] != '/' && text[j] != ' ' && text[j] != '\t' &&
           text[j] != '\r' && text[j] != '\n') {
      ++j;
    }
    const std::string_view name = text.substr(nameStart, j - nameStart);
    for (bool quoted = false; j < text.size() && (quoted || text[j] != '>'); ++j) {
      if (text[j] == '"') quoted = !quoted;
    }
    const bool empty = j < text.size() && text[j - 1] == '/';
    if (closing) {
      if (depth > 0 && isContainer(name)) --depth;
    } else {
      ++shape.elements;
      if (!empty && isContainer(name)) shape.depth = std::max(shape.depth, ++depth);
    }
    i = j + 1;
  }
  return shape;
}

// The library reads reals with strtod, which follows the thread's locale;
// property lists always write them with a '.'.
class ScopedNumericCLocale {
 public:
  ScopedNumericCLocale() : previous_(cLocale() ? ::uselocale(cLocale()) : nullptr) {}
  ~ScopedNumericCLocale() {
    if (previous_) ::uselocale(previous_);
  }
  ScopedNumericCLocale(const ScopedNumericCLocale&) = delete;
  ScopedNumericCLocale& operator=(const ScopedNumericCLocale&) = delete;

 private:
  static locale_t cLocale() {
    static const locale_t locale = ::newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
  }
  locale_t previous_;
};

class NodeConverter {
 public:
  Expected<Value> convert(Node root) {
    Value value = convertNode(root, 0);
    if (error_) return *error_;
    return value;
  }

 private:
  Value fail(std::string text) {
    if (!error_) error_ = corruptError(std::move(text));
    return Value();
  }

  // The node as the library writes it in binary, read back with our reader.
  // The binary form keeps what the node accessors lose: whether an integer
  // above 2^63 was written negative, and dates beyond 68 years of 2001.
  Value exactScalar(Node node) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    const std::unique_ptr<char, decltype(&plist_to_bin_free)> owner(bytes, &plist_to_bin_free);
    if (!bytes) return fail("The property list holds a value the library cannot encode");
    auto value = readBinary(std::span(reinterpret_cast<const std::uint8_t*>(bytes), length));
    if (!value) return fail("The property list holds a value the library cannot encode");
    return *value;
  }

  Value text(const char* bytes, std::size_t length) {
    std::string value(bytes ? bytes : "", bytes ? length : 0);
    if (!isUTF8(value)) return fail("The XML property list holds text that is not UTF-8");
    return Value(std::move(value));
  }

  Value convertNode(Node node, std::size_t depth) {
    if (error_) return Value();
    if (++count_ > kPropertyListMaximumObjectCount) return fail("The property list holds too many objects");
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return Value(flag != 0);
      }
      case PLIST_UINT: {
        std::uint64_t raw = 0;
        plist_get_uint_val(node, &raw);
        if (raw <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          return Value(static_cast<std::int64_t>(raw));
        }
        return exactScalar(node);
      }
      case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        return Value(real);
      }
      case PLIST_STRING:
      case PLIST_KEY: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_string_ptr(node, &length);
        return text(bytes, length);
      }
      case PLIST_DATA: {
        std::uint64_t length = 0;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
        return Value(Data::make(bytes ? std::vector<std::uint8_t>(bytes, bytes + length) : std::vector<std::uint8_t>{}));
      }
      case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // The accessor saturates at the ends of its 32-bit range.
        if (seconds == std::numeric_limits<std::int32_t>::min() || seconds == std::numeric_limits<std::int32_t>::max()) {
          return exactScalar(node);
        }
        return Value(Date::dateWithTimeIntervalSinceReferenceDate(seconds + microseconds / 1e6));
      }
      case PLIST_UID: {
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return Value(UID::make(uid));
      }
      case PLIST_ARRAY:
        if (depth >= kPropertyListMaximumDepth) return fail("The property list nests too deeply");
        return convertArray(node, depth);
      case PLIST_DICT:
        if (depth >= kPropertyListMaximumDepth) return fail("The property list nests too deeply");
        return convertDictionary(node, depth);
      default:
        return fail("The property list holds an element of unknown type");
    }
  }

  Value convertArray(Node node, std::size_t depth) {
    const std::uint32_t size = plist_array_get_size(node);
    std::vector<Value> elements;
    elements.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
      elements.push_back(convertNode(plist_array_get_item(node, i), depth + 1));
      if (error_) return Value();
    }
    return Value(Array::make(std::move(elements)));
  }

  // {"CF$UID": n} is how the XML form spells a UID.
  static Value uidIn(const std::vector<Dictionary::Entry>& entries) {
    if (entries.size() != 1 || entries.front().first.stringValue() != kUIDKey) return Value();
    const auto number = entries.front().second.as<Number>();
    if (!number || number->kind() == Number::Kind::boolean || number->kind() == Number::Kind::real ||
        (number->kind() == Number::Kind::integer && number->integerValue() < 0)) {
      return Value();
    }
    return Value(UID::make(number->unsignedIntegerValue()));
  }

  Value convertDictionary(Node node, std::size_t depth) {
    std::vector<Dictionary::Entry> entries;
    entries.reserve(plist_dict_get_size(node));
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    const std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
    for (;;) {
      char* key = nullptr;
      Node value = nullptr;
      plist_dict_next_item(node, iterator, &key, &value);
      const std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
      if (!key || !value) break;
      Value name = text(key, std::strlen(key));
      Value element = convertNode(value, depth + 1);
      if (error_) return Value();
      entries.emplace_back(std::move(name), std::move(element));
    }
    if (Value uid = uidIn(entries)) return uid;
    return Value(Dictionary::make(std::move(entries)));
  }

  std::size_t count_ = 0;
  std::optional<Error> error_;
};

}  // namespace

std::vector<std::uint8_t> writeXML(const Value& plist) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
  writeValue(out, plist, 0);
  out += "</plist>\n";
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

Expected<Value> readXML(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return corruptError("The data is empty or too large to be a property list");
  }
  if (text.find("<plist") == std::string_view::npos && text.find("<?xml") == std::string_view::npos) {
    return corruptError("The data is not a property list");
  }
  const MarkupShape shape = shapeOf(text);
  if (shape.depth > kPropertyListMaximumDepth) return corruptError("The property list nests too deeply");
  if (shape.elements > kPropertyListMaximumObjectCount) return corruptError("The property list holds too many objects");
  Node root = nullptr;
  {
    const ScopedNumericCLocale numericLocale;
    plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &root);
  }
  if (!root) return corruptError("The XML property list is malformed");
  const std::unique_ptr<void, NodeFree> owner(root);
  return NodeConverter().convert(root);
}

}  // namespace fnd::plist_codec
