#include "tools/qv_json_parser.h"

#include <utility>

#include "foundation/format.h"

namespace {

// The one place the description template of each error is chosen, so a
// localization lookup can take over here.
fnd::Error parserError(std::int64_t code, std::string_view descriptionTemplate, std::string_view key) {
  return fnd::Error(QVJSONParserErrorDomain, code,
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey),
                      fnd::Value(fnd::StringWithFormat(descriptionTemplate, key))}});
}


}  // namespace

fnd::Error QVJSONParserMissingValueError(std::string_view key) {
  return parserError(QVJSONParserMissingValueErrorCode, "Missing value for key %@", key);
}

fnd::Error QVJSONParserIncorrectTypeError(std::string_view key) {
  return parserError(QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key %@", key);
}

std::shared_ptr<QVJSONParser> QVJSONParser::initWithJSON(std::shared_ptr<fnd::Dictionary> json) {
  if (!json) return nullptr;
  return std::shared_ptr<QVJSONParser>(new QVJSONParser(std::move(json)));
}

fnd::Value QVJSONParser::validatedObjectFromJSON(const std::shared_ptr<fnd::Dictionary>& json,
                                                 std::string_view keyPath, const fnd::Class& cls) {
  auto parser = initWithJSON(json);
  // A required read on a throw-away parser: a broken path stops at its first
  // failure and the error goes with the parser.
  return parser ? parser->objectForKeyPath(keyPath, cls) : fnd::Value();
}

void QVJSONParser::recordError(fnd::Error error) {
  if (!lastError_) lastError_ = std::move(error);
}

fnd::Value QVJSONParser::validatedObject(const fnd::Value& value, std::string_view key, const fnd::Class& cls,
                                         bool isOptional) {
  if (lastError_) return {};
  if (value.isNil()) {
    if (!isOptional) recordError(QVJSONParserMissingValueError(key));
    return {};
  }
  if (!value.isKindOfClass(cls)) {
    if (!isOptional) recordError(QVJSONParserIncorrectTypeError(key));
    return {};
  }
  return value;
}

fnd::Value QVJSONParser::objectForKeyPath(std::string_view keyPath, const fnd::Class& cls, bool isOptional) {
  std::shared_ptr<fnd::Dictionary> dictionary = jsonDict_;
  std::string_view rest = keyPath;
  for (auto dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.')) {
    std::string_view component = rest.substr(0, dot);
    auto next =
        validatedObject(dictionary->objectForKey(component), component, fnd::Dictionary::staticClass(), isOptional)
            .as<fnd::Dictionary>();
    // A broken path yields nothing: reading its last component from an outer
    // dictionary would hand out an unrelated value.
    if (!next) return {};
    dictionary = std::move(next);
    rest = rest.substr(dot + 1);
  }
  return validatedObject(dictionary->objectForKey(rest), rest, cls, isOptional);
}

std::shared_ptr<fnd::Number> QVJSONParser::numberForKey(std::string_view key) {
  return validatedObject(jsonDict_->objectForKey(key), key, fnd::Number::staticClass(), false).as<fnd::Number>();
}

std::shared_ptr<fnd::String> QVJSONParser::stringForKey(std::string_view key) {
  return validatedObject(jsonDict_->objectForKey(key), key, fnd::String::staticClass(), false).as<fnd::String>();
}

std::shared_ptr<fnd::Dictionary> QVJSONParser::dictionaryForKey(std::string_view key) {
  return validatedObject(jsonDict_->objectForKey(key), key, fnd::Dictionary::staticClass(), false)
      .as<fnd::Dictionary>();
}

std::shared_ptr<fnd::Array> QVJSONParser::arrayForKey(std::string_view key) {
  return validatedObject(jsonDict_->objectForKey(key), key, fnd::Array::staticClass(), false).as<fnd::Array>();
}

double QVJSONParser::doubleForKey(std::string_view key) {
  auto number = numberForKey(key);
  return number ? number->doubleValue() : 0.0;
}

std::int64_t QVJSONParser::integerForKey(std::string_view key) {
  auto number = numberForKey(key);
  return number ? number->integerValue() : 0;
}

std::uint64_t QVJSONParser::unsignedIntegerForKey(std::string_view key) {
  auto number = numberForKey(key);
  return number ? number->unsignedIntegerValue() : 0;
}

std::shared_ptr<fnd::URL> QVJSONParser::URLForKey(std::string_view key) {
  auto text = stringForKey(key);
  return text ? fnd::URL::URLWithString(text->value()) : nullptr;
}

std::shared_ptr<fnd::URL> QVJSONParser::URLForKeyPath(std::string_view keyPath) {
  auto text = stringForKeyPath(keyPath);
  return text ? fnd::URL::URLWithString(text->value()) : nullptr;
}

std::shared_ptr<fnd::Date> QVJSONParser::unixtimeBasedDateForKey(std::string_view key) {
  auto seconds = numberForKey(key);
  return seconds ? fnd::Date::dateWithTimeIntervalSince1970(seconds->doubleValue()) : nullptr;
}

std::shared_ptr<fnd::Date> QVJSONParser::unixtimeBasedDateForKeyPath(std::string_view keyPath) {
  auto seconds = numberForKeyPath(keyPath);
  return seconds ? fnd::Date::dateWithTimeIntervalSince1970(seconds->doubleValue()) : nullptr;
}

std::shared_ptr<fnd::Number> QVJSONParser::numberForKeyPath(std::string_view keyPath) {
  return objectForKeyPath(keyPath, fnd::Number::staticClass()).as<fnd::Number>();
}

std::shared_ptr<fnd::String> QVJSONParser::stringForKeyPath(std::string_view keyPath) {
  return objectForKeyPath(keyPath, fnd::String::staticClass()).as<fnd::String>();
}
