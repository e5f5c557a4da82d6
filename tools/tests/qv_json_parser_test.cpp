#include "tools/qv_json_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "foundation/json_serialization.h"

namespace {

using fnd::Dictionary;
using fnd::Value;

std::shared_ptr<Dictionary> json(std::string_view text) {
  auto value = fnd::JSONSerialization::JSONObjectWithData(text);
  EXPECT_TRUE(value.hasValue()) << text;
  return value ? value->as<Dictionary>() : nullptr;
}

std::shared_ptr<QVJSONParser> parserFor(std::string_view text) {
  auto parser = QVJSONParser::initWithJSON(json(text));
  EXPECT_TRUE(parser);
  return parser;
}

void expectLastError(const QVJSONParser& parser, std::int64_t code, std::string_view description) {
  ASSERT_TRUE(parser.lastError().has_value());
  EXPECT_TRUE(parser.lastError()->is(QVJSONParserErrorDomain, code)) << parser.lastError()->description();
  EXPECT_EQ(parser.lastError()->localizedDescription(), description);
}

constexpr std::string_view kManifest = R"({
  "id": 7, "name": "Korvia", "ratio": 3.7, "negative": -3.7, "minusOne": -1, "huge": 1e30, "flag": true,
  "tags": ["a"], "data": {"id": "x1", "inner": {"url": "https://example.test/a?b=1", "when": 1.5}},
  "url": "https://example.test/", "badURL": "not a url", "epoch": 0, "nothing": null, "a.b": "dotted"
})";

TEST(QVJSONParserTest, InitWithoutJSONYieldsNoParser) {
  EXPECT_EQ(QVJSONParser::initWithJSON(nullptr), nullptr);
  auto parser = parserFor("{}");
  EXPECT_EQ(parser->jsonDict()->count(), 0u);
  EXPECT_FALSE(parser->lastError());
}

TEST(QVJSONParserTest, TypedReadsOfPresentValues) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(Value(parser->numberForKey("id")), Value(7));
  EXPECT_EQ(parser->stringForKey("name")->value(), "Korvia");
  EXPECT_EQ(parser->dictionaryForKey("data")->count(), 2u);
  EXPECT_EQ(parser->arrayForKey("tags")->count(), 1u);
  // Booleans are numbers, as JSON readers give them.
  EXPECT_TRUE(parser->numberForKey("flag")->boolValue());
  // The key forms take the key as written, dots included.
  EXPECT_EQ(parser->stringForKey("a.b")->value(), "dotted");
  EXPECT_FALSE(parser->lastError());
}

TEST(QVJSONParserTest, MissingAndMistypedValuesRecordTheirErrors) {
  auto missing = parserFor(kManifest);
  EXPECT_EQ(missing->stringForKey("title"), nullptr);
  expectLastError(*missing, QVJSONParserMissingValueErrorCode, "Missing value for key title");

  auto mistyped = parserFor(kManifest);
  EXPECT_EQ(mistyped->arrayForKey("name"), nullptr);
  expectLastError(*mistyped, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key name");

  // JSON null is a value of another type, not a missing one.
  auto null = parserFor(kManifest);
  EXPECT_EQ(null->stringForKey("nothing"), nullptr);
  expectLastError(*null, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key nothing");
}

TEST(QVJSONParserTest, FirstFailureStopsEveryLaterRead) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(parser->numberForKey("missing"), nullptr);
  EXPECT_EQ(parser->stringForKey("name"), nullptr);
  EXPECT_EQ(parser->dictionaryForKey("tags"), nullptr);
  EXPECT_EQ(parser->stringForKeyPath("data.id"), nullptr);
  EXPECT_EQ(parser->integerForKey("id"), 0);
  expectLastError(*parser, QVJSONParserMissingValueErrorCode, "Missing value for key missing");
}

TEST(QVJSONParserTest, NumbersConvertByTruncationAndClamping) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(parser->integerForKey("ratio"), 3);
  EXPECT_EQ(parser->integerForKey("negative"), -3);
  EXPECT_EQ(parser->unsignedIntegerForKey("ratio"), 3u);
  EXPECT_EQ(parser->unsignedIntegerForKey("minusOne"), 0u);
  EXPECT_EQ(parser->integerForKey("huge"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(parser->integerForKey("flag"), 1);
  EXPECT_DOUBLE_EQ(parser->doubleForKey("id"), 7.0);
  EXPECT_FALSE(parser->lastError());

  EXPECT_DOUBLE_EQ(parser->doubleForKey("name"), 0.0);
  expectLastError(*parser, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key name");
}

TEST(QVJSONParserTest, IntegerForMissingKeyIsZeroWithError) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(parser->integerForKey("count"), 0);
  expectLastError(*parser, QVJSONParserMissingValueErrorCode, "Missing value for key count");

  auto unsignedParser = parserFor(kManifest);
  EXPECT_EQ(unsignedParser->unsignedIntegerForKey("count"), 0u);
  expectLastError(*unsignedParser, QVJSONParserMissingValueErrorCode, "Missing value for key count");
}

TEST(QVJSONParserTest, KeyPathsWalkNestedDictionaries) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(parser->stringForKeyPath("data.id")->value(), "x1");
  EXPECT_EQ(parser->URLForKeyPath("data.inner.url")->host(), "example.test");
  EXPECT_EQ(Value(parser->numberForKeyPath("id")), Value(7));
  EXPECT_FALSE(parser->lastError());

  EXPECT_EQ(parser->numberForKeyPath("data.inner.size"), nullptr);
  expectLastError(*parser, QVJSONParserMissingValueErrorCode, "Missing value for key size");
}

TEST(QVJSONParserTest, BrokenPathRecordsTheFirstComponentThatFailed) {
  auto parser = parserFor(R"({"data": "text", "id": 1})");
  EXPECT_EQ(parser->numberForKeyPath("data.id"), nullptr);
  expectLastError(*parser, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key data");

  auto missing = parserFor(R"({"id": 1})");
  EXPECT_EQ(missing->numberForKeyPath("data.inner.id"), nullptr);
  expectLastError(*missing, QVJSONParserMissingValueErrorCode, "Missing value for key data");
}

TEST(QVJSONParserTest, OptionalReadsRecordNothing) {
  auto parser = parserFor(kManifest);
  EXPECT_TRUE(parser->objectForKeyPath("name", fnd::Number::staticClass(), true).isNil());
  EXPECT_TRUE(parser->objectForKeyPath("data.absent", fnd::String::staticClass(), true).isNil());
  EXPECT_FALSE(parser->lastError());
  EXPECT_EQ(parser->objectForKeyPath("data.id", fnd::String::staticClass(), true), Value("x1"));

  // A walk that stops early yields nothing, not the top level's "id".
  EXPECT_TRUE(parser->objectForKeyPath("absent.id", fnd::Number::staticClass(), true).isNil());
  EXPECT_FALSE(parser->lastError());

  // A required read that fails still records, and optional reads then yield
  // nothing even where a value is present.
  EXPECT_TRUE(parser->objectForKeyPath("name", fnd::Array::staticClass()).isNil());
  EXPECT_TRUE(parser->objectForKeyPath("id", fnd::Number::staticClass(), true).isNil());
  expectLastError(*parser, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key name");
}

TEST(QVJSONParserTest, URLsFromTexts) {
  auto parser = parserFor(kManifest);
  EXPECT_EQ(parser->URLForKey("url")->absoluteString(), "https://example.test/");
  // Text that is no URL yields nothing but is not a failure of the object.
  EXPECT_EQ(parser->URLForKey("badURL"), nullptr);
  EXPECT_FALSE(parser->lastError());
  EXPECT_EQ(parser->URLForKey("id"), nullptr);
  expectLastError(*parser, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key id");

  auto missing = parserFor(kManifest);
  EXPECT_EQ(missing->URLForKeyPath("data.link"), nullptr);
  expectLastError(*missing, QVJSONParserMissingValueErrorCode, "Missing value for key link");
}

TEST(QVJSONParserTest, UnixTimeDates) {
  auto parser = parserFor(kManifest);
  auto epoch = parser->unixtimeBasedDateForKey("epoch");
  ASSERT_TRUE(epoch);
  EXPECT_EQ(epoch->timeIntervalSince1970(), 0.0);
  EXPECT_EQ(epoch->description(), "1970-01-01 00:00:00 +0000");
  EXPECT_EQ(parser->unixtimeBasedDateForKeyPath("data.inner.when")->timeIntervalSince1970(), 1.5);
  EXPECT_FALSE(parser->lastError());

  EXPECT_EQ(parser->unixtimeBasedDateForKey("name"), nullptr);
  expectLastError(*parser, QVJSONParserIncorrectTypeErrorCode, "Incorrect type of value for key name");
}

TEST(QVJSONParserTest, ValidatedObjectFromJSONRecordsNothing) {
  auto dictionary = json(kManifest);
  EXPECT_EQ(QVJSONParser::validatedObjectFromJSON(dictionary, "data.id", fnd::String::staticClass()), Value("x1"));
  EXPECT_TRUE(QVJSONParser::validatedObjectFromJSON(dictionary, "data.id", fnd::Number::staticClass()).isNil());
  // A broken path yields nothing, not a value found elsewhere.
  EXPECT_TRUE(QVJSONParser::validatedObjectFromJSON(dictionary, "absent.id", fnd::Number::staticClass()).isNil());
  EXPECT_TRUE(QVJSONParser::validatedObjectFromJSON(nullptr, "id", fnd::Number::staticClass()).isNil());
}

TEST(QVJSONParserTest, ErrorConstructorsCarryTheKey) {
  auto missing = QVJSONParserMissingValueError("token");
  EXPECT_TRUE(missing.is("com.quorvex.QVJSONParserErrorDomain", -1000));
  EXPECT_EQ(missing.localizedDescription(), "Missing value for key token");
  auto mistyped = QVJSONParserIncorrectTypeError("%@");
  EXPECT_TRUE(mistyped.is("com.quorvex.QVJSONParserErrorDomain", -1001));
  EXPECT_EQ(mistyped.localizedDescription(), "Incorrect type of value for key %@");
}

}  // namespace
