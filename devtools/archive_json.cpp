#include "devtools/archive_json.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "foundation/array.h"
#include "foundation/crypto.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/json_serialization.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace korvia::devtools {

namespace {

using fnd::Value;

fnd::Error formatError(std::string text) {
  return fnd::Error(fnd::NSCocoaErrorDomain, fnd::JSONSerialization::kErrorCode,
                    {{Value(fnd::NSDebugDescriptionErrorKey), Value(std::move(text))}});
}

std::string quoted(const std::string& text) {
  fnd::JSONWritingOptions options;
  options.fragmentsAllowed = true;
  options.withoutEscapingSlashes = true;
  return fnd::JSONSerialization::dataWithJSONObject(Value(text), options).valueOr(std::string("\"\""));
}

class Printer {
 public:
  fnd::Expected<std::string> print(const Value& value) {
    std::string out;
    write(value, out);
    if (error_) return *error_;
    return out;
  }

 private:
  void write(const Value& value, std::string& out) {
    if (value.isNil() || value.as<fnd::Null>()) {
      out += "null";
      return;
    }
    const fnd::Object* object = value.get();
    if (visiting_.contains(object)) {
      out += "{\"$cycle\":" + quoted(object->objectClass().name()) + "}";
      return;
    }
    visiting_.insert(object);
    writeObject(value, out);
    visiting_.erase(object);
  }

  void writeObject(const Value& value, std::string& out) {
    if (auto string = value.as<fnd::String>()) {
      out += quoted(string->value());
    } else if (auto number = value.as<fnd::Number>()) {
      writeNumber(*number, out);
    } else if (auto array = value.as<fnd::Array>()) {
      writeList(array->elements(), out);
    } else if (auto dictionary = value.as<fnd::Dictionary>()) {
      writeDictionary(*dictionary, out);
    } else if (auto data = value.as<fnd::Data>()) {
      out += "{\"$data\":" + quoted(fnd::crypto::base64Encode(data->bytes())) + "}";
    } else if (auto date = value.as<fnd::Date>()) {
      out += "{\"$date\":";
      writeReal(date->timeIntervalSinceReferenceDate(), out);
      out += "}";
    } else if (auto uuid = value.as<fnd::UUID>()) {
      out += "{\"$uuid\":" + quoted(uuid->UUIDString()) + "}";
    } else if (auto url = value.as<fnd::URL>()) {
      out += "{\"$url\":" + quoted(url->absoluteString()) + "}";
    } else if (auto set = value.as<fnd::Set>()) {
      writeSet(*set, out);
    } else if (auto error = value.errorValue()) {
      out += "{\"$error\":{\"domain\":" + quoted(error->domain()) + ",\"code\":" + std::to_string(error->code()) +
             ",\"userInfo\":";
      write(error->userInfo() ? Value(error->userInfo()) : Value(fnd::Dictionary::make()), out);
      out += "}}";
    } else {
      writeModelObject(*value.get(), out);
    }
  }

  void writeNumber(const fnd::Number& number, std::string& out) {
    switch (number.kind()) {
      case fnd::Number::Kind::boolean:
        out += number.boolValue() ? "true" : "false";
        return;
      case fnd::Number::Kind::integer:
        out += std::to_string(number.integerValue());
        return;
      case fnd::Number::Kind::unsignedInteger:
        out += std::to_string(number.unsignedIntegerValue());
        return;
      case fnd::Number::Kind::real:
        writeReal(number.doubleValue(), out);
        return;
    }
  }

  // Reals always carry a fraction or an exponent, so they read back as reals.
  void writeReal(double real, std::string& out) {
    if (!std::isfinite(real)) {
      if (!error_) error_ = formatError("A real that is not finite has no JSON form");
      out += "null";
      return;
    }
    fnd::JSONWritingOptions options;
    options.fragmentsAllowed = true;
    std::string text = fnd::JSONSerialization::dataWithJSONObject(Value(real), options).valueOr(std::string("0"));
    if (text.find_first_of(".eE") == std::string::npos) text += ".0";
    out += text;
  }

  void writeList(const std::vector<Value>& elements, std::string& out) {
    out += "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
      if (i) out += ",";
      write(elements[i], out);
    }
    out += "]";
  }

  void writeSet(const fnd::Set& set, std::string& out) {
    std::vector<std::string> texts;
    for (const Value& element : set.elements()) {
      std::string text;
      write(element, text);
      texts.push_back(std::move(text));
    }
    std::sort(texts.begin(), texts.end());
    out += "{\"$set\":[";
    for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + texts[i];
    out += "]}";
  }

  void writeDictionary(const fnd::Dictionary& dictionary, std::string& out) {
    const bool textKeys = std::all_of(dictionary.entries().begin(), dictionary.entries().end(),
                                      [](const auto& entry) { return entry.first.template as<fnd::String>() != nullptr; });
    if (!textKeys) {
      out += "{\"$dict\":[";
      bool first = true;
      for (const auto& [key, value] : dictionary.entries()) {
        out += first ? "[" : ",[";
        first = false;
        write(key, out);
        out += ",";
        write(value, out);
        out += "]";
      }
      out += "]}";
      return;
    }
    std::vector<const fnd::Dictionary::Entry*> entries;
    for (const auto& entry : dictionary.entries()) entries.push_back(&entry);
    std::sort(entries.begin(), entries.end(),
              [](const auto* a, const auto* b) { return *a->first.stringValue() < *b->first.stringValue(); });
    out += "{";
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i) out += ",";
      out += quoted(*entries[i]->first.stringValue()) + ":";
      write(entries[i]->second, out);
    }
    out += "}";
  }

  void writeModelObject(const fnd::Object& object, std::string& out) {
    out += "{\"$object\":" + quoted(object.objectClass().name()) + ",\"properties\":{";
    std::vector<const fnd::Class::Property*> properties;
    for (const fnd::Class* cls = &object.objectClass(); cls; cls = cls->superclass()) {
      for (const auto& property : cls->declaredProperties()) properties.push_back(&property);
    }
    std::sort(properties.begin(), properties.end(), [](const auto* a, const auto* b) { return a->name < b->name; });
    for (std::size_t i = 0; i < properties.size(); ++i) {
      if (i) out += ",";
      out += quoted(properties[i]->name) + ":";
      write(properties[i]->get(object), out);
    }
    out += "}}";
  }

  std::unordered_set<const fnd::Object*> visiting_;
  std::optional<fnd::Error> error_;
};

// Reading: plain JSON values stand for themselves; one-key objects whose key
// starts with "$" stand for the other classes.
class Reader {
 public:
  fnd::Expected<Value> read(const Value& json) {
    Value value = convert(json);
    if (error_) return *error_;
    return value;
  }

 private:
  Value fail(std::string text) {
    if (!error_) error_ = formatError(std::move(text));
    return Value();
  }

  Value convert(const Value& json) {
    if (error_) return Value();
    if (json.as<fnd::String>() || json.as<fnd::Number>() || json.as<fnd::Null>()) return json;
    if (auto array = json.as<fnd::Array>()) return Value(fnd::Array::make(convertAll(array->elements())));
    auto object = json.as<fnd::Dictionary>();
    if (!object) return fail("Unexpected JSON value");
    if (object->count() == 1) {
      const auto& [key, content] = object->entries().front();
      const std::string name = *key.stringValue();
      if (!name.empty() && name.front() == '$') return convertTagged(name, content);
    }
    std::vector<fnd::Dictionary::Entry> entries;
    for (const auto& [key, value] : object->entries()) entries.emplace_back(key, convert(value));
    return Value(fnd::Dictionary::make(std::move(entries)));
  }

  std::vector<Value> convertAll(const std::vector<Value>& elements) {
    std::vector<Value> converted;
    converted.reserve(elements.size());
    for (const Value& element : elements) converted.push_back(convert(element));
    return converted;
  }

  Value convertTagged(const std::string& tag, const Value& content) {
    if (tag == "$data") {
      auto text = content.stringValue();
      if (!text) return fail("\"$data\" needs Base64 text");
      auto bytes = fnd::crypto::base64Decode(*text);
      return bytes ? Value(fnd::Data::make(std::move(*bytes))) : fail("\"$data\" needs Base64 text");
    }
    if (tag == "$date") {
      auto seconds = content.doubleValue();
      return seconds ? Value(fnd::Date::dateWithTimeIntervalSinceReferenceDate(*seconds))
                     : fail("\"$date\" needs a number");
    }
    if (tag == "$uuid") {
      auto uuid = content.stringValue() ? fnd::UUID::makeWithString(*content.stringValue()) : nullptr;
      return uuid ? Value(uuid) : fail("\"$uuid\" needs UUID text");
    }
    if (tag == "$url") {
      auto url = content.stringValue() ? fnd::URL::URLWithString(*content.stringValue()) : nullptr;
      return url ? Value(url) : fail("\"$url\" needs URL text");
    }
    if (tag == "$set") {
      auto array = content.as<fnd::Array>();
      return array ? Value(fnd::Set::make(convertAll(array->elements()))) : fail("\"$set\" needs an array");
    }
    if (tag == "$dict") return convertPairs(content);
    if (tag == "$error") return convertError(content);
    return fail("Unknown tag " + tag);
  }

  Value convertPairs(const Value& content) {
    auto pairs = content.as<fnd::Array>();
    if (!pairs) return fail("\"$dict\" needs an array of pairs");
    std::vector<fnd::Dictionary::Entry> entries;
    for (const Value& pair : pairs->elements()) {
      auto both = pair.as<fnd::Array>();
      if (!both || both->count() != 2) return fail("\"$dict\" needs pairs of key and value");
      Value key = convert(both->objectAtIndex(0));
      if (key.isNil() || key.as<fnd::Null>()) return fail("\"$dict\" keys cannot be null");
      entries.emplace_back(std::move(key), convert(both->objectAtIndex(1)));
    }
    return Value(fnd::Dictionary::make(std::move(entries)));
  }

  Value convertError(const Value& content) {
    auto fields = content.as<fnd::Dictionary>();
    auto domain = fields ? fields->objectForKey("domain").stringValue() : std::nullopt;
    auto code = fields ? fields->objectForKey("code").as<fnd::Number>() : nullptr;
    if (!domain || !code || code->kind() == fnd::Number::Kind::real) {
      return fail("\"$error\" needs a domain text and an integer code");
    }
    std::shared_ptr<fnd::Dictionary> userInfo;
    if (Value info = fields->objectForKey("userInfo"); !info.isNil()) {
      userInfo = convert(info).as<fnd::Dictionary>();
      if (!userInfo) return fail("\"$error\" user information must be an object");
      for (const auto& entry : userInfo->entries()) {
        if (!entry.first.as<fnd::String>()) return fail("\"$error\" user information keys must be texts");
      }
    }
    return Value(fnd::Error(*domain, code->integerValue(), std::move(userInfo)));
  }

  std::optional<fnd::Error> error_;
};

}  // namespace

fnd::Expected<std::string> archiveJSONFromValue(const fnd::Value& value) { return Printer().print(value); }

fnd::Expected<fnd::Value> valueFromArchiveJSON(std::string_view text) {
  fnd::JSONReadingOptions options;
  options.allowFragments = true;
  auto json = fnd::JSONSerialization::JSONObjectWithData(text, options);
  if (!json) return json.error();
  return Reader().read(*json);
}

}  // namespace korvia::devtools
