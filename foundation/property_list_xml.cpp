// The XML property-list form. Writing is ours, so integers keep their sign
// and UIDs their platform spelling; reading goes through libplist after a
// cheap scan that refuses nesting too deep for its recursive parser.

#include <plist/plist.h>

#include <charconv>
#include <cmath>
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

std::string shortestReal(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string isoDate(double secondsSinceReferenceDate) {
  // The XML form keeps whole seconds, as the platform writes it.
  const double unixSeconds = std::floor(secondsSinceReferenceDate + Date::kTimeIntervalBetween1970AndReferenceDate);
  const auto clamped = static_cast<std::time_t>(std::clamp(unixSeconds, -6.2e10, 2.5e11));
  std::tm parts{};
  ::gmtime_r(&clamped, &parts);
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

// The deepest nesting of arrays and dictionaries in the text, counted from
// their tags alone.
std::size_t nestingDepth(std::string_view text) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
    const std::string_view tag = text.substr(i + 1, 7);
    const bool opens = tag.starts_with("dict") || tag.starts_with("array");
    const bool closes = tag.starts_with("/dict") || tag.starts_with("/array");
    if (opens) {
      const std::size_t end = text.find('>', i);
      if (end != std::string_view::npos && text[end - 1] == '/') continue;
      deepest = std::max(deepest, ++depth);
    } else if (closes && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

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

  // libplist keeps integers as 64 unsigned bits; whether a large one was
  // written negative shows only in how it prints.
  static Value integerOf(Node node) {
    std::uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    if (raw <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return Value(static_cast<std::int64_t>(raw));
    }
    std::unique_ptr<void, NodeFree> copy(plist_copy(node));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<Node>(copy.get()), &xml, &length);
    const bool negative = xml && std::string_view(xml, length).find("<integer>-") != std::string_view::npos;
    plist_to_xml_free(xml);
    return negative ? Value(static_cast<std::int64_t>(raw)) : Value(Number::numberWithUnsignedInteger(raw));
  }

  Value convertNode(Node node, std::size_t depth) {
    if (error_) return Value();
    if (++count_ > kPropertyListMaximumObjectCount) return fail("The property list holds too many objects");
    if (depth > kPropertyListMaximumDepth) return fail("The property list nests too deeply");
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return Value(flag != 0);
      }
      case PLIST_UINT:
        return integerOf(node);
      case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        return Value(real);
      }
      case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return Value(std::string(text ? text : "", text ? length : 0));
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
        return Value(Date::dateWithTimeIntervalSinceReferenceDate(seconds + microseconds / 1e6));
      }
      case PLIST_UID: {
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return Value(UID::make(uid));
      }
      case PLIST_ARRAY:
        return convertArray(node, depth);
      case PLIST_DICT:
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

  Value convertDictionary(Node node, std::size_t depth) {
    std::vector<Dictionary::Entry> entries;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
    for (;;) {
      char* key = nullptr;
      Node value = nullptr;
      plist_dict_next_item(node, iterator, &key, &value);
      if (!key || !value) {
        std::free(key);
        break;
      }
      std::string name(key);
      std::free(key);
      entries.emplace_back(Value(std::move(name)), convertNode(value, depth + 1));
      if (error_) return Value();
    }
    // {"CF$UID": n} is how the XML form spells a UID.
    if (entries.size() == 1 && entries.front().first.stringValue() == kUIDKey) {
      if (auto number = entries.front().second.as<Number>(); number && number->kind() != Number::Kind::real) {
        return Value(UID::make(number->unsignedIntegerValue()));
      }
    }
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
  if (nestingDepth(text) > kPropertyListMaximumDepth) return corruptError("The property list nests too deeply");
  Node root = nullptr;
  plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &root);
  if (!root) return corruptError("The XML property list is malformed");
  std::unique_ptr<void, NodeFree> owner(root);
  return NodeConverter().convert(root);
}

}  // namespace fnd::plist_codec
