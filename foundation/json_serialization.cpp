#include "foundation/json_serialization.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace fnd {

namespace {

using Json = nlohmann::json;

Error jsonError(std::string description, std::optional<std::size_t> offset = std::nullopt) {
  std::vector<Dictionary::Entry> info;
  info.emplace_back(Value(NSDebugDescriptionErrorKey), Value(std::move(description)));
  if (offset) info.emplace_back(Value(NSJSONSerializationErrorIndex), Value(static_cast<std::uint64_t>(*offset)));
  return Error(NSCocoaErrorDomain, JSONSerialization::kErrorCode, Dictionary::make(std::move(info)));
}

// ---------------------------------------------------------------------------
// Reading

// The parser's own sentence without its identifier prefix, position and the
// echo of the offending bytes (which may be binary).
std::string parserReason(const std::string& what) {
  std::string reason = what;
  if (auto bracket = reason.find("] "); !reason.empty() && reason.front() == '[' && bracket != std::string::npos) {
    reason.erase(0, bracket + 2);
  }
  if (reason.starts_with("parse error at line ")) {
    if (auto colon = reason.find(": "); colon != std::string::npos) reason.erase(0, colon + 2);
  }
  if (auto echo = reason.find("; last read: "); echo != std::string::npos) {
    auto expected = reason.rfind("; expected ");
    reason.erase(echo, expected != std::string::npos && expected > echo ? expected - echo : std::string::npos);
  }
  return reason;
}

// Where the nesting first goes past the limit, skipping brackets inside
// strings. Only run after the parse was stopped for depth.
std::size_t offsetOfExcessiveNesting(std::string_view text) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > JSONSerialization::kMaximumDepth) return i;
    } else if (c == ']' || c == '}') {
      if (depth > 0) --depth;
    }
  }
  return text.size();
}

// Builds values as the parser reports them, without recursion, and stops the
// parse once nesting passes the limit.
class ValueBuilder final : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return add(Null::null()); }
  bool boolean(bool value) override { return add(Number::numberWithBool(value)); }
  bool number_integer(number_integer_t value) override { return add(Number::numberWithInteger(value)); }
  bool number_unsigned(number_unsigned_t value) override {
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return add(Number::numberWithInteger(static_cast<std::int64_t>(value)));
    }
    return add(Number::numberWithUnsignedInteger(value));
  }
  bool number_float(number_float_t value, const string_t&) override { return add(Number::numberWithDouble(value)); }
  bool string(string_t& value) override { return add(String::make(std::move(value))); }
  // Only the binary formats report these; JSON text never does.
  bool binary(binary_t&) override { return false; }

  bool start_object(std::size_t) override { return open(true); }
  bool key(string_t& value) override {
    frames_.back().key = String::make(std::move(value));
    return true;
  }
  bool end_object() override {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    return add(Dictionary::make(std::move(frame.entries)));
  }
  bool start_array(std::size_t) override { return open(false); }
  bool end_array() override {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    return add(Array::make(std::move(frame.elements)));
  }

  bool parse_error(std::size_t position, const std::string& lastToken,
                   const nlohmann::detail::exception& ex) override {
    // The parser counts the byte it failed on (or the end) as read; a number
    // out of range is only known once all of it is read, so it is reported
    // where it starts.
    constexpr int kNumberOverflow = 406;
    std::size_t back = ex.id == kNumberOverflow ? lastToken.size() : 1;
    failureOffset_ = position >= back ? position - back : 0;
    failureReason_ = parserReason(ex.what());
    return false;
  }

  bool tooDeep() const { return tooDeep_; }
  std::size_t failureOffset() const { return failureOffset_; }
  const std::string& failureReason() const { return failureReason_; }
  Value takeRoot() { return std::move(root_); }

 private:
  struct Frame {
    bool isObject = false;
    std::vector<Value> elements;
    std::vector<Dictionary::Entry> entries;
    Value key;
  };

  bool open(bool isObject) {
    if (frames_.size() >= JSONSerialization::kMaximumDepth) {
      tooDeep_ = true;
      return false;
    }
    frames_.push_back(Frame{.isObject = isObject, .elements = {}, .entries = {}, .key = {}});
    return true;
  }

  bool add(Value value) {
    if (frames_.empty()) {
      root_ = std::move(value);
    } else if (Frame& top = frames_.back(); top.isObject) {
      top.entries.emplace_back(std::move(top.key), std::move(value));
      top.key = Value();
    } else {
      top.elements.push_back(std::move(value));
    }
    return true;
  }

  std::vector<Frame> frames_;
  Value root_;
  bool tooDeep_ = false;
  std::size_t failureOffset_ = 0;
  std::string failureReason_;
};

Expected<Value> parse(std::string_view text, JSONReadingOptions options) {
  ValueBuilder builder;
  bool parsed = false;
  try {
    parsed = Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::json::input_format_t::json,
                             /*strict=*/true, /*ignore_comments=*/false);
  } catch (const std::exception& e) {
    // The parser reports syntax through the builder; what is left is
    // resource exhaustion.
    return jsonError(StringWithFormat("JSON text could not be read: %s.", e.what()));
  }
  if (builder.tooDeep()) {
    std::size_t offset = offsetOfExcessiveNesting(text);
    return jsonError(StringWithFormat("Too many nested arrays or dictionaries around character %zu.", offset), offset);
  }
  if (!parsed) {
    std::size_t offset = std::min(builder.failureOffset(), text.size());
    return jsonError(StringWithFormat("Invalid JSON around character %zu: %@.", offset, builder.failureReason()),
                     offset);
  }
  Value root = builder.takeRoot();
  if (!options.allowFragments && !root.as<Dictionary>() && !root.as<Array>()) {
    return jsonError("JSON text did not start with array or object and option to allow fragments not set.", 0);
  }
  return root;
}

// ---------------------------------------------------------------------------
// Writing

// Code points from U+0000 to U+10FFFF, shortest form, no surrogates.
bool isValidUTF8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    if (byte < 0x80) {
      ++i;
      continue;
    } else if ((byte & 0xE0) == 0xC0) {
      length = 2;
      codePoint = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
      codePoint = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
      codePoint = byte & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      auto continuation = static_cast<unsigned char>(text[i + k]);
      if ((continuation & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (continuation & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string shortestReal(double value, std::chars_format format) {
  char buffer[64];
  auto result = format == std::chars_format{} ? std::to_chars(buffer, buffer + sizeof buffer, value)
                                              : std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return std::string(buffer, result.ptr);
}

class Writer {
 public:
  explicit Writer(JSONWritingOptions options) : options_(options) {}

  Expected<std::string> write(const Value& object) {
    bool isContainer = object.as<Dictionary>() || object.as<Array>();
    if (!isContainer && !(options_.fragmentsAllowed && !object.isNil())) {
      return jsonError("Invalid top-level type in JSON write.");
    }
    if (!writeValue(object, 0)) return jsonError(std::move(failure_));
    return std::move(out_);
  }

 private:
  bool fail(std::string description) {
    failure_ = std::move(description);
    return false;
  }

  bool writeValue(const Value& value, std::size_t depth) {
    if (auto dictionary = value.as<Dictionary>()) return writeDictionary(*dictionary, depth + 1);
    if (auto array = value.as<Array>()) return writeArray(*array, depth + 1);
    if (auto string = value.as<String>()) return writeString(string->value());
    if (auto number = value.as<Number>()) return writeNumber(*number);
    if (value.as<Null>()) {
      out_ += "null";
      return true;
    }
    return fail(StringWithFormat("Invalid type in JSON write (%@).", value.get()->objectClass().name()));
  }

  bool writeDictionary(const Dictionary& dictionary, std::size_t depth) {
    if (depth > JSONSerialization::kMaximumDepth) return fail("Too many nested arrays or dictionaries in JSON write.");
    std::vector<std::pair<const std::string*, const Value*>> members;
    members.reserve(dictionary.count());
    for (const auto& [key, value] : dictionary.entries()) {
      auto text = key.as<String>();
      if (!text) return fail(StringWithFormat("Invalid key in JSON write (%@): keys must be texts.", key.get()->objectClass().name()));
      members.emplace_back(&text->value(), &value);
    }
    if (options_.sortedKeys) {
      std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
    }
    out_.push_back('{');
    for (std::size_t i = 0; i < members.size(); ++i) {
      separate(i, depth);
      if (!writeString(*members[i].first)) return false;
      out_ += options_.prettyPrinted ? " : " : ":";
      if (!writeValue(*members[i].second, depth)) return false;
    }
    close(members.empty(), depth);
    out_.push_back('}');
    return true;
  }

  bool writeArray(const Array& array, std::size_t depth) {
    if (depth > JSONSerialization::kMaximumDepth) return fail("Too many nested arrays or dictionaries in JSON write.");
    out_.push_back('[');
    for (std::size_t i = 0; i < array.count(); ++i) {
      separate(i, depth);
      if (!writeValue(array.objectAtIndex(i), depth)) return false;
    }
    close(array.count() == 0, depth);
    out_.push_back(']');
    return true;
  }

  // Before member `index` of a container at `depth`.
  void separate(std::size_t index, std::size_t depth) {
    if (index > 0) out_.push_back(',');
    if (options_.prettyPrinted) newline(depth);
  }

  void close(bool empty, std::size_t depth) {
    if (options_.prettyPrinted && !empty) newline(depth - 1);
  }

  void newline(std::size_t depth) {
    out_.push_back('\n');
    out_.append(2 * depth, ' ');
  }

  bool writeString(const std::string& text) {
    if (!isValidUTF8(text)) return fail("Invalid text (not UTF-8) in JSON write.");
    static constexpr char kHex[] = "0123456789abcdef";
    out_.push_back('"');
    for (char c : text) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '/': out_ += options_.withoutEscapingSlashes ? "/" : "\\/"; break;
        case '\b': out_ += "\\b"; break;
        case '\f': out_ += "\\f"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            out_ += "\\u00";
            out_.push_back(kHex[(c >> 4) & 0xF]);
            out_.push_back(kHex[c & 0xF]);
          } else {
            out_.push_back(c);
          }
      }
    }
    out_.push_back('"');
    return true;
  }

  bool writeNumber(const Number& number) {
    switch (number.kind()) {
      case Number::Kind::boolean:
        out_ += number.boolValue() ? "true" : "false";
        return true;
      case Number::Kind::integer:
        out_ += std::to_string(number.integerValue());
        return true;
      case Number::Kind::unsignedInteger:
        out_ += std::to_string(number.unsignedIntegerValue());
        return true;
      case Number::Kind::real:
        return writeReal(number.doubleValue());
    }
    FND_NOT_REACHED();
  }

  bool writeReal(double value) {
    if (std::isnan(value)) return fail("Invalid number value (NaN) in JSON write.");
    if (std::isinf(value)) return fail("Invalid number value (infinite) in JSON write.");
    std::string text = shortestReal(value, std::chars_format{});
    // Whole reals print as integers, which read back as the same number; past
    // 2^53 the digits of the shortest form are no longer the real's exact
    // value, so the exponent form keeps the round trip exact.
    constexpr double kTwoTo53 = 9007199254740992.0;
    if (std::fabs(value) >= kTwoTo53 && text.find_first_of(".e") == std::string::npos) {
      text = shortestReal(value, std::chars_format::scientific);
    }
    out_ += text;
    return true;
  }

  JSONWritingOptions options_;
  std::string out_;
  std::string failure_;
};

}  // namespace

Expected<Value> JSONSerialization::JSONObjectWithData(std::span<const std::uint8_t> data, JSONReadingOptions options) {
  return parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), options);
}

Expected<Value> JSONSerialization::JSONObjectWithData(std::string_view data, JSONReadingOptions options) {
  return parse(data, options);
}

Expected<std::string> JSONSerialization::dataWithJSONObject(const Value& object, JSONWritingOptions options) {
  try {
    return Writer(options).write(object);
  } catch (const std::bad_alloc&) {
    return jsonError("Out of memory in JSON write.");
  }
}

bool JSONSerialization::isValidJSONObject(const Value& object) {
  return dataWithJSONObject(object).hasValue();
}

}  // namespace fnd
