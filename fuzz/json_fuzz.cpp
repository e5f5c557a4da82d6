// Reads arbitrary bytes as JSON text. Whatever reads must read its fields
// without failing hard, write back and read again to an equal value; writing
// that value again must give the same text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/json_serialization.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "tools/qv_json_parser.h"

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "json_fuzz: %s\n", what);
    std::abort();
  }
}

void requireReadError(const fnd::Error& error, std::size_t size) {
  require(error.is(fnd::NSCocoaErrorDomain, fnd::JSONSerialization::kErrorCode), "read error domain or code");
  auto index = error.userInfoValue(fnd::NSJSONSerializationErrorIndex).as<fnd::Number>();
  require(index == nullptr || index->unsignedIntegerValue() <= size, "read error index past the input");
}

void readFields(const std::shared_ptr<fnd::Dictionary>& dictionary) {
  auto parser = QVJSONParser::initWithJSON(dictionary);
  require(parser != nullptr, "no parser for a dictionary");
  (void)parser->objectForKeyPath("id", fnd::Number::staticClass(), true);
  (void)parser->objectForKeyPath("data.id", fnd::String::staticClass(), true);
  (void)parser->objectForKeyPath("a.b.c.d", fnd::Array::staticClass(), true);
  (void)parser->objectForKeyPath("..", fnd::Dictionary::staticClass(), true);
  require(!parser->lastError().has_value(), "optional read recorded an error");

  (void)parser->URLForKey("url");
  (void)parser->unixtimeBasedDateForKeyPath("data.when");
  (void)parser->integerForKey("count");
  (void)parser->unsignedIntegerForKey("size");
  (void)parser->doubleForKey("ratio");
  (void)parser->stringForKeyPath("a.b");
  (void)parser->arrayForKey("items");
  (void)parser->URLForKeyPath("data.inner.url");
  if (const auto& error = parser->lastError()) {
    require(error->domain() == QVJSONParserErrorDomain, "parser error domain");
    require(error->code() == QVJSONParserMissingValueErrorCode || error->code() == QVJSONParserIncorrectTypeErrorCode,
            "parser error code");
  }
  (void)QVJSONParser::validatedObjectFromJSON(dictionary, "data.id", fnd::String::staticClass());
}

std::string writeOrDie(const fnd::Value& value, fnd::JSONWritingOptions options) {
  auto text = fnd::JSONSerialization::dataWithJSONObject(value, options);
  require(text.hasValue(), "a value read from JSON does not write");
  return std::move(text).value();
}

fnd::Value readOrDie(const std::string& text) {
  auto value = fnd::JSONSerialization::JSONObjectWithData(text, {.allowFragments = true});
  require(value.hasValue(), "written JSON does not read back");
  return std::move(value).value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  auto strict = fnd::JSONSerialization::JSONObjectWithData(bytes);
  auto read = fnd::JSONSerialization::JSONObjectWithData(bytes, {.allowFragments = true});
  if (!read) {
    requireReadError(read.error(), size);
    require(!strict.hasValue(), "strict read accepted what the lenient one refused");
    return 0;
  }
  const fnd::Value& value = read.value();
  bool isContainer = value.as<fnd::Dictionary>() || value.as<fnd::Array>();
  require(strict.hasValue() == isContainer, "fragments accepted without the option, or containers refused");
  if (!strict) requireReadError(strict.error(), size);

  if (auto dictionary = value.as<fnd::Dictionary>()) readFields(dictionary);

  // The writing options vary with the input so all of them are exercised.
  fnd::JSONWritingOptions options{.prettyPrinted = (size & 1) != 0,
                                  .sortedKeys = (size & 2) != 0,
                                  .fragmentsAllowed = true,
                                  .withoutEscapingSlashes = (size & 4) != 0};
  std::string first = writeOrDie(value, options);
  fnd::Value again = readOrDie(first);
  require(again == value, "value changed in a write and read");
  // Numbers may change kind once (a whole real reads back as an integer);
  // after that the text is stable.
  std::string second = writeOrDie(again, options);
  require(writeOrDie(readOrDie(second), options) == second, "text not stable after one round");
  return 0;
}
