#include "foundation/json_serialization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace {

using fnd::Array;
using fnd::Dictionary;
using fnd::JSONSerialization;
using fnd::Number;
using fnd::Value;

fnd::Expected<Value> read(std::string_view text, fnd::JSONReadingOptions options = {}) {
  return JSONSerialization::JSONObjectWithData(text, options);
}

fnd::Expected<Value> readFragment(std::string_view text) { return read(text, {.allowFragments = true}); }

std::string write(const Value& value, fnd::JSONWritingOptions options = {}) {
  auto text = JSONSerialization::dataWithJSONObject(value, options);
  EXPECT_TRUE(text.hasValue()) << (text ? "" : text.error().description());
  return text.valueOr(std::string("<failed>"));
}

void expectJSONError(const fnd::Expected<Value>& result, std::uint64_t offset) {
  ASSERT_FALSE(result.hasValue());
  EXPECT_TRUE(result.error().is(fnd::NSCocoaErrorDomain, 3840)) << result.error().description();
  EXPECT_EQ(result.error().userInfoValue(fnd::NSJSONSerializationErrorIndex), Value(offset))
      << result.error().description();
  EXPECT_TRUE(result.error().userInfoValue(fnd::NSDebugDescriptionErrorKey).as<fnd::String>());
}

void expectWriteError(const Value& value, std::string_view descriptionPart, fnd::JSONWritingOptions options = {}) {
  auto text = JSONSerialization::dataWithJSONObject(value, options);
  ASSERT_FALSE(text.hasValue()) << text.value();
  EXPECT_TRUE(text.error().is(fnd::NSCocoaErrorDomain, 3840));
  auto description = text.error().userInfoValue(fnd::NSDebugDescriptionErrorKey).stringValue().value_or("");
  EXPECT_NE(description.find(descriptionPart), std::string::npos) << description;
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(value) && !options.fragmentsAllowed);
}

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JSONSerializationRead, BuildsValuesOfEveryKind) {
  auto result = read(R"({"b": [1, -2, 2.5, "x", true, false, null], "a": {"k": ""}})");
  ASSERT_TRUE(result.hasValue()) << result.error().description();
  auto root = result->as<Dictionary>();
  ASSERT_TRUE(root);
  // Keys keep document order.
  ASSERT_EQ(root->allKeys(), (std::vector<Value>{"b", "a"}));
  auto list = root->objectForKey("b").as<Array>();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->count(), 7u);
  EXPECT_EQ(list->objectAtIndex(0).as<Number>()->kind(), Number::Kind::integer);
  EXPECT_EQ(list->objectAtIndex(1), Value(-2));
  EXPECT_EQ(list->objectAtIndex(2).as<Number>()->kind(), Number::Kind::real);
  EXPECT_EQ(list->objectAtIndex(2), Value(2.5));
  EXPECT_EQ(list->objectAtIndex(3), Value("x"));
  EXPECT_EQ(list->objectAtIndex(4).as<Number>()->kind(), Number::Kind::boolean);
  EXPECT_EQ(list->objectAtIndex(5), Value(false));
  EXPECT_TRUE(list->objectAtIndex(6).as<fnd::Null>());
  EXPECT_EQ(root->objectForKey("a"), Value(Dictionary::make({{"k", ""}})));
}

TEST(JSONSerializationRead, IntegersAreExactAtTheLimits) {
  auto result = read("[18446744073709551615, -9223372036854775808, 9223372036854775807, 9223372036854775808]");
  ASSERT_TRUE(result.hasValue());
  const auto& elements = result->as<Array>()->elements();
  auto largest = elements[0].as<Number>();
  EXPECT_EQ(largest->kind(), Number::Kind::unsignedInteger);
  EXPECT_EQ(largest->unsignedIntegerValue(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(elements[1].as<Number>()->integerValue(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(elements[2].as<Number>()->kind(), Number::Kind::integer);
  EXPECT_EQ(elements[3].as<Number>()->kind(), Number::Kind::unsignedInteger);
  EXPECT_EQ(elements[3].as<Number>()->unsignedIntegerValue(), 9223372036854775808u);
}

TEST(JSONSerializationRead, NumbersBeyondIntegersBecomeRealsUntilTheyOverflow) {
  auto beyond = read("[18446744073709551616, -9223372036854775809, 1e-400]");
  ASSERT_TRUE(beyond.hasValue());
  const auto& elements = beyond->as<Array>()->elements();
  EXPECT_EQ(elements[0].as<Number>()->kind(), Number::Kind::real);
  EXPECT_EQ(elements[0], Value(18446744073709551616.0));
  EXPECT_EQ(elements[1], Value(-9223372036854775809.0));
  EXPECT_EQ(elements[2], Value(0.0));

  expectJSONError(read("[1e400]"), 1);
  expectJSONError(read("[0, -1e400]"), 4);
}

TEST(JSONSerializationRead, RejectsMalformedTextWithItsOffset) {
  expectJSONError(read(""), 0);
  expectJSONError(read("   "), 3);
  expectJSONError(read("[1,]"), 3);
  expectJSONError(read("{\"a\":1"), 6);
  expectJSONError(read("[1] x"), 4);  // trailing garbage
  expectJSONError(read("{'a': 1}"), 1);
  expectJSONError(read("[01]"), 2);
  expectJSONError(read("[NaN]"), 1);
  expectJSONError(read("{1: 2}"), 1);
  expectJSONError(read("[1] // comment"), 4);
}

TEST(JSONSerializationRead, RejectsBrokenUnicode) {
  expectJSONError(read("[\"a\xff\"]"), 3);
  expectJSONError(read("[\"\xc0\xaf\"]"), 2);           // overlong "/"
  expectJSONError(read("[\"\xed\xa0\x80\"]"), 3);       // encoded surrogate
  expectJSONError(read(R"(["\ud800"])"), 8);            // lone high surrogate
  expectJSONError(read(R"(["\udc00"])"), 7);            // lone low surrogate
  expectJSONError(read("[\"tab\there\"]"), 5);          // raw control character

  auto pair = read(R"(["\ud83d\ude00", "\u00e9\u0000"])");
  ASSERT_TRUE(pair.hasValue());
  EXPECT_EQ(pair->as<Array>()->objectAtIndex(0), Value("\xf0\x9f\x98\x80"));
  EXPECT_EQ(pair->as<Array>()->objectAtIndex(1), Value(std::string("\xc3\xa9\0", 3)));
}

TEST(JSONSerializationRead, SkipsAUTF8ByteOrderMarkOnly) {
  auto marked = read("\xEF\xBB\xBF{\"a\":1}");
  ASSERT_TRUE(marked.hasValue());
  EXPECT_EQ(marked.value(), Value(Dictionary::make({{"a", 1}})));
  // UTF-16 text is not read.
  EXPECT_FALSE(read(std::string("\xFF\xFE[\0]\0", 6)).hasValue());
}

TEST(JSONSerializationRead, RepeatedKeyTakesTheLastValueAtTheFirstPosition) {
  auto result = read(R"({"a": 1, "b": 2, "a": 3})");
  ASSERT_TRUE(result.hasValue());
  auto root = result->as<Dictionary>();
  EXPECT_EQ(root->count(), 2u);
  EXPECT_EQ(root->allKeys(), (std::vector<Value>{"a", "b"}));
  EXPECT_EQ(root->objectForKey("a"), Value(3));
}

TEST(JSONSerializationRead, FragmentsNeedTheOption) {
  for (std::string_view fragment : {"1", "\"text\"", "null", "true"}) {
    expectJSONError(read(fragment), 0);
    EXPECT_TRUE(readFragment(fragment).hasValue()) << fragment;
  }
  EXPECT_EQ(readFragment(" -0.5 ").value(), Value(-0.5));
  EXPECT_TRUE(readFragment("null")->as<fnd::Null>());
}

TEST(JSONSerializationRead, NestingIsBoundedBeforeTheStackIs) {
  EXPECT_TRUE(read(nested(JSONSerialization::kMaximumDepth)).hasValue());
  expectJSONError(read(nested(JSONSerialization::kMaximumDepth + 1)), JSONSerialization::kMaximumDepth);
  // Brackets inside strings do not count toward the offset.
  expectJSONError(read("[\"[[[\"," + nested(JSONSerialization::kMaximumDepth)), 7 + 511);

  std::string deepObjects;
  for (int i = 0; i < 100000; ++i) deepObjects += "{\"a\":";
  expectJSONError(read(deepObjects), 5 * JSONSerialization::kMaximumDepth);
  expectJSONError(read(std::string(100000, '[')), JSONSerialization::kMaximumDepth);
}

TEST(JSONSerializationRead, AcceptsBytes) {
  std::vector<std::uint8_t> bytes = {'[', '7', ']'};
  auto result = JSONSerialization::JSONObjectWithData(std::span<const std::uint8_t>(bytes));
  ASSERT_TRUE(result.hasValue());
  EXPECT_EQ(result.value(), Value(Array::make({7})));
}

TEST(JSONSerializationWrite, CompactTextKeepsInsertionOrder) {
  auto value = Value(Dictionary::make({{"z", Array::make({1, -2, 2.5, true, false, fnd::Null::null()})},
                                       {"a", "x"},
                                       {"e", Dictionary::make()},
                                       {"n", Array::make()}}));
  EXPECT_EQ(write(value), R"({"z":[1,-2,2.5,true,false,null],"a":"x","e":{},"n":[]})");
}

TEST(JSONSerializationWrite, PrettyPrintedSortedText) {
  auto value = Value(Dictionary::make({{"b", Array::make({1, Dictionary::make({{"y", 2}, {"x", 1}})})},
                                       {"a", Array::make()}}));
  EXPECT_EQ(write(value, {.prettyPrinted = true, .sortedKeys = true}),
            "{\n"
            "  \"a\" : [],\n"
            "  \"b\" : [\n"
            "    1,\n"
            "    {\n"
            "      \"x\" : 1,\n"
            "      \"y\" : 2\n"
            "    }\n"
            "  ]\n"
            "}");
}

TEST(JSONSerializationWrite, EscapesTexts) {
  static constexpr char kText[] = "q\" b\\ s/ \n\t\r\b\f \x01\x1f\x7f \0 \xc3\xa9";
  auto value = Value(Array::make({std::string(kText, sizeof kText - 1)}));
  EXPECT_EQ(write(value), R"(["q\" b\\ s\/ \n\t\r\b\f \u0001\u001f)"
                          "\x7f"
                          R"( \u0000 )"
                          "\xc3\xa9\"]");
  EXPECT_EQ(write(Value(Array::make({"a/b"})), {.withoutEscapingSlashes = true}), R"(["a/b"])");
}

TEST(JSONSerializationWrite, NumbersReadBackExactly) {
  const std::vector<Value> numbers = {
      Value(0.1), Value(3.0), Value(-0.0), Value(1e300), Value(5e-324), Value(12345678901234567890.0),
      Value(std::numeric_limits<std::uint64_t>::max()), Value(std::numeric_limits<std::int64_t>::min()),
      Value(std::numeric_limits<double>::max()), Value(9007199254740993.0)};
  for (const auto& number : numbers) {
    auto text = write(Value(Array::make({number})));
    auto back = read(text);
    ASSERT_TRUE(back.hasValue()) << text;
    const Value& element = back->as<Array>()->objectAtIndex(0);
    EXPECT_EQ(element, number) << text;
    if (number.as<Number>()->kind() == Number::Kind::real) {
      EXPECT_EQ(element.as<Number>()->doubleValue(), number.as<Number>()->doubleValue()) << text;
    }
  }
  EXPECT_EQ(write(Value(Array::make({3.0, 0.1, 1e300}))), "[3,0.1,1e+300]");
  // The shortest digits of this real would read back as a different integer.
  EXPECT_EQ(write(Value(Array::make({12345678901234567890.0}))), "[1.2345678901234567e+19]");
}

TEST(JSONSerializationWrite, RejectsWhatJSONCannotCarry) {
  expectWriteError(Value(Array::make({fnd::Data::make("ab")})), "Invalid type in JSON write (NSData)");
  expectWriteError(Value(Array::make({fnd::Date::now()})), "(NSDate)");
  expectWriteError(Value(Dictionary::make({{1, "one"}})), "Invalid key in JSON write (NSNumber)");
  expectWriteError(Value(Array::make({std::nan("")})), "NaN");
  expectWriteError(Value(Array::make({std::numeric_limits<double>::infinity()})), "infinite");
  expectWriteError(Value(Array::make({"\xff"})), "not UTF-8");
  expectWriteError(Value(Dictionary::make({{"\xed\xa0\x80", 1}})), "not UTF-8");
  expectWriteError(Value("top"), "Invalid top-level type");
  expectWriteError(Value(), "Invalid top-level type", {.fragmentsAllowed = true});

  Value deep = Array::make();
  for (std::size_t i = 0; i < JSONSerialization::kMaximumDepth; ++i) deep = Array::make({deep});
  expectWriteError(deep, "Too many nested");
}

TEST(JSONSerializationWrite, FragmentsWithTheOption) {
  EXPECT_EQ(write(Value("a/b"), {.fragmentsAllowed = true}), R"("a\/b")");
  EXPECT_EQ(write(Value(42), {.fragmentsAllowed = true}), "42");
  EXPECT_EQ(write(Value(fnd::Null::null()), {.fragmentsAllowed = true}), "null");
}

}  // namespace
