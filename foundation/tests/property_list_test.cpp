#include "foundation/property_list.h"

#include <gtest/gtest.h>

#include <limits>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "foundation/uid.h"
#include "foundation/url.h"

namespace fnd {
namespace {

Value richTree(bool wholeSecondDates) {
  const double fraction = wholeSecondDates ? 0.0 : 0.25;
  return Value(Dictionary::make({
      {Value("text"), Value("plain")},
      {Value("unicode"), Value("gr\u00fc\u00df \U0001F600 & <tags>")},
      {Value("max unsigned"), Value(std::numeric_limits<std::uint64_t>::max())},
      {Value("min signed"), Value(std::numeric_limits<std::int64_t>::min())},
      {Value("minus one"), Value(std::int64_t{-1})},
      {Value("byte"), Value(std::int64_t{200})},
      {Value("real"), Value(-0.1)},
      {Value("yes"), Value(true)},
      {Value("zero"), Value(std::int64_t{0})},
      {Value("before 1970"), Value(Date::dateWithTimeIntervalSince1970(-86400.0 * 365 * 20 + fraction))},
      {Value("data"), Value(Data::make(std::string_view("\x00\xFF\x10", 3)))},
      {Value("empty"), Value(Array::make())},
      {Value("nested"), Value(Array::make({Value(Dictionary::make({{Value("k"), Value("v")}})), Value("v")}))},
  }));
}

TEST(PropertyList, RichTreesRoundTripInBothForms) {
  for (const PropertyListFormat format : {PropertyListFormat::binary, PropertyListFormat::xml}) {
    const Value tree = richTree(format == PropertyListFormat::xml);
    auto bytes = PropertyListSerialization::dataWithPropertyList(tree, format);
    ASSERT_TRUE(bytes) << bytes.error().description();
    PropertyListFormat detected{};
    auto read = PropertyListSerialization::propertyListWithData(*bytes, &detected);
    ASSERT_TRUE(read) << read.error().description();
    EXPECT_EQ(detected, format);
    EXPECT_EQ(*read, tree);
    auto dictionary = read->as<Dictionary>();
    // Booleans stay booleans and integers integers, though they compare equal.
    EXPECT_EQ(dictionary->objectForKey("yes").as<Number>()->kind(), Number::Kind::boolean);
    EXPECT_EQ(dictionary->objectForKey("zero").as<Number>()->kind(), Number::Kind::integer);
    EXPECT_EQ(dictionary->objectForKey("max unsigned").as<Number>()->unsignedIntegerValue(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(dictionary->objectForKey("minus one").integerValue(), -1);
    EXPECT_EQ(dictionary->entries().front().first.stringValue(), "text");  // document order kept
  }
}

TEST(PropertyList, UIDsRoundTripInBothForms) {
  const Value tree(Array::make({Value(UID::make(0)), Value(UID::make(300)), Value(UID::make(1ull << 40))}));
  for (const PropertyListFormat format : {PropertyListFormat::binary, PropertyListFormat::xml}) {
    auto bytes = PropertyListSerialization::dataWithPropertyList(tree, format);
    ASSERT_TRUE(bytes);
    auto read = PropertyListSerialization::propertyListWithData(*bytes);
    ASSERT_TRUE(read) << read.error().description();
    EXPECT_EQ(*read, tree);
    EXPECT_TRUE(read->as<Array>()->objectAtIndex(1).as<UID>());
  }
}

TEST(PropertyList, ValuesThatAreNoPropertyListAreRefused) {
  for (const Value& invalid : {Value(Null::null()), Value(URL::URLWithString("https://example.invalid/")),
                               Value(Dictionary::make({{Value(1), Value("number key")}})),
                               Value(Array::make({Value("ok"), Value(Null::null())}))}) {
    auto bytes = PropertyListSerialization::dataWithPropertyList(invalid, PropertyListFormat::binary);
    ASSERT_FALSE(bytes) << invalid.description();
    EXPECT_TRUE(bytes.error().is(NSCocoaErrorDomain, NSPropertyListWriteInvalidError));
  }
}

void expectCorrupt(std::span<const std::uint8_t> bytes, const std::string& what) {
  auto read = PropertyListSerialization::propertyListWithData(bytes);
  ASSERT_FALSE(read) << what;
  EXPECT_TRUE(read.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError)) << what;
}

TEST(PropertyList, TruncatedAndCorruptedBinaryGivesTheCorruptError) {
  const auto bytes = *PropertyListSerialization::dataWithPropertyList(richTree(false), PropertyListFormat::binary);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    auto read = PropertyListSerialization::propertyListWithData(std::span(bytes.data(), length));
    EXPECT_FALSE(read) << "truncated at " << length;
  }
  // Every single-byte change either still reads or fails cleanly.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      auto changed = bytes;
      changed[i] ^= flip;
      auto read = PropertyListSerialization::propertyListWithData(changed);
      if (!read) {
        EXPECT_EQ(read.error().code(), NSPropertyListReadCorruptError);
      }
    }
  }
  // An array that contains itself: one object at offset 8 whose only
  // reference is object 0.
  std::vector<std::uint8_t> cycle = {'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xA1, 0x00, 0x08};
  const std::uint8_t trailer[32] = {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1,
                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10};
  cycle.insert(cycle.end(), std::begin(trailer), std::end(trailer));
  expectCorrupt(cycle, "self-reference");
}

TEST(PropertyList, MalformedXMLAndHostileNestingAreRefused) {
  auto bytesOf = [](std::string_view text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
  expectCorrupt(bytesOf(""), "empty");
  expectCorrupt(bytesOf("not a plist at all"), "text");
  expectCorrupt(bytesOf("<?xml version=\"1.0\"?><plist><dict><key>a</key>"), "unclosed");
  std::string deep = "<plist version=\"1.0\">";
  for (int i = 0; i < 100000; ++i) deep += "<array>";
  expectCorrupt(bytesOf(deep), "deep nesting");
}

TEST(PropertyList, SharedObjectsInBinaryDoNotMultiplyTheWork) {
  // Twenty levels of two references to the same object would be a million
  // leaves if each reference were expanded separately.
  Value shared("leaf");
  for (int i = 0; i < 20; ++i) shared = Value(Array::make({shared, shared}));
  auto bytes = PropertyListSerialization::dataWithPropertyList(shared, PropertyListFormat::binary);
  ASSERT_TRUE(bytes);
  auto read = PropertyListSerialization::propertyListWithData(*bytes);
  ASSERT_TRUE(read);
}

}  // namespace
}  // namespace fnd
