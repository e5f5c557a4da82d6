#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/uuid.h"
#include "foundation/value.h"

namespace fnd {
namespace {

void expectEqualWithHash(const Value& a, const Value& b) {
  EXPECT_EQ(a, b) << a.description() << " vs " << b.description();
  EXPECT_EQ(a.hash(), b.hash()) << a.description() << " vs " << b.description();
}

TEST(NumberEquality, KindsCompareByNumericValueAsThePlatformDoes) {
  expectEqualWithHash(Value(1), Value(1.0));
  expectEqualWithHash(Value(true), Value(1));
  expectEqualWithHash(Value(true), Value(1.0));
  expectEqualWithHash(Value(false), Value(0U));
  expectEqualWithHash(Value(-0.0), Value(0));
  EXPECT_NE(Value(1), Value(1.5));
  EXPECT_NE(Value(true), Value(2));
  EXPECT_NE(Value(1), Value("1"));
}

TEST(NumberEquality, ExtremesCompareExactlyWithoutRounding) {
  const std::uint64_t uMax = std::numeric_limits<std::uint64_t>::max();
  const std::int64_t iMax = std::numeric_limits<std::int64_t>::max();
  EXPECT_NE(Value(uMax), Value(std::int64_t{-1}));
  EXPECT_NE(Value(iMax), Value(std::uint64_t(iMax) + 1));
  // 2^63 is exact as a double, 2^63 - 1 is not.
  expectEqualWithHash(Value(9223372036854775808.0), Value(std::uint64_t{1} << 63));
  EXPECT_NE(Value(9223372036854775808.0), Value(iMax));
  EXPECT_EQ(Number::numberWithUnsignedInteger(uMax)->compare(*Number::numberWithInteger(-1)),
            std::strong_ordering::greater);
  EXPECT_EQ(Number::numberWithDouble(-0.5)->compare(*Number::numberWithInteger(0)), std::strong_ordering::less);
  EXPECT_EQ(Number::numberWithInteger(0)->compare(*Number::numberWithDouble(-0.5)), std::strong_ordering::greater);
}

TEST(NumberEquality, NaNEqualsItselfSoCollectionsStayUsable) {
  Value nan = std::nan("");
  expectEqualWithHash(nan, Value(std::nan("")));
  EXPECT_NE(nan, Value(0));
  auto set = Set::make({nan, Value(std::nan("")), Value(1)});
  EXPECT_EQ(set->count(), 2u);
}

TEST(NumberConversions, ClampAndTruncate) {
  EXPECT_EQ(Number::numberWithDouble(2.9)->integerValue(), 2);
  EXPECT_EQ(Number::numberWithDouble(-2.9)->integerValue(), -2);
  EXPECT_EQ(Number::numberWithDouble(1e300)->integerValue(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Number::numberWithDouble(-1.0)->unsignedIntegerValue(), 0u);
  EXPECT_EQ(Number::numberWithInteger(-4)->unsignedIntegerValue(), 0u);
  EXPECT_EQ(Number::numberWithUnsignedInteger(std::numeric_limits<std::uint64_t>::max())->integerValue(),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_FALSE(Number::numberWithDouble(0.0)->boolValue());
  EXPECT_TRUE(Number::numberWithDouble(0.1)->boolValue());
  EXPECT_EQ(Value(true).description(), "1");
  EXPECT_EQ(Value(0.1).description(), "0.1");
  EXPECT_EQ(Value(2.0).description(), "2");
  EXPECT_EQ(Value(std::uint64_t{18446744073709551615ULL}).description(), "18446744073709551615");
}

TEST(StringValue, MutableAndImmutableStringsAreEqualButKeepTheirClass) {
  Value plain = String::make("text");
  Value changing = String::makeMutable("text");
  expectEqualWithHash(plain, changing);
  EXPECT_TRUE(changing.get()->isMemberOfClass(String::mutableClass()));
  EXPECT_EQ(plain.stringValue(), "text");
  EXPECT_EQ(Value(1).stringValue(), std::nullopt);
  EXPECT_EQ(Value().description(), "(null)");
  EXPECT_EQ(Value(), Value(nullptr));
  EXPECT_NE(Value(), Value(""));
}

TEST(CollectionValues, DictionaryKeysFollowValueEquality) {
  auto dictionary = Dictionary::make({{Value(1), Value("one")}, {Value("k"), Value("v")}});
  EXPECT_EQ(dictionary->objectForKey(Value(1.0)), Value("one"));
  EXPECT_EQ(dictionary->objectForKey(Value(true)), Value("one"));
  EXPECT_EQ(dictionary->objectForKey("k"), Value("v"));
  EXPECT_TRUE(dictionary->objectForKey("missing").isNil());

  auto repeated = Dictionary::make({{Value("a"), Value(1)}, {Value("b"), Value(2)}, {Value("a"), Value(3)}});
  ASSERT_EQ(repeated->count(), 2u);
  EXPECT_EQ(repeated->entries()[0].first, Value("a"));
  EXPECT_EQ(repeated->objectForKey("a"), Value(3));
}

// Small dictionaries compare keys one by one and large ones hash them; both
// must find the same keys, by value equality, and keep the last of repeats.
TEST(CollectionValues, SmallAndLargeDictionariesFindTheSameKeys) {
  for (const int size : {1, 8, 9, 40}) {
    std::vector<Dictionary::Entry> entries;
    for (int i = 0; i < size; ++i) {
      entries.emplace_back(Value("key" + std::to_string(i)), Value(i));
      entries.emplace_back(Value(1000 + i), Value("number"));
    }
    const std::string last = "key" + std::to_string(size - 1);
    entries.emplace_back(Value(last), Value(-1));
    auto dictionary = Dictionary::make(std::move(entries));
    SCOPED_TRACE(size);
    ASSERT_EQ(dictionary->count(), static_cast<std::size_t>(2 * size));
    EXPECT_EQ(dictionary->objectForKey(last), Value(-1));
    EXPECT_EQ(dictionary->objectForKey(Value(last)), Value(-1));
    if (size > 1) {
      EXPECT_EQ(dictionary->objectForKey("key0"), Value(0));
    }
    EXPECT_EQ(dictionary->objectForKey(Value(1000.0 + size - 1)), Value("number"));
    EXPECT_TRUE(dictionary->objectForKey("1000").isNil());
    EXPECT_TRUE(dictionary->objectForKey(Value(1000 + size)).isNil());
    EXPECT_TRUE(dictionary->objectForKey("key").isNil());
  }
}

TEST(CollectionValues, EqualityIgnoresDictionaryAndSetOrderButNotArrayOrder) {
  Value d1 = Dictionary::make({{Value("a"), Value(1)}, {Value("b"), Value(2)}});
  Value d2 = Dictionary::makeMutable({{Value("b"), Value(2.0)}, {Value("a"), Value(true)}});
  expectEqualWithHash(d1, d2);
  EXPECT_NE(d1, Value(Dictionary::make({{Value("a"), Value(1)}})));
  EXPECT_NE(d1, Value(Dictionary::make({{Value("a"), Value(1)}, {Value("b"), Value(3)}})));

  expectEqualWithHash(Value(Set::make({Value("x"), Value("y")})), Value(Set::make({Value("y"), Value("x")})));
  expectEqualWithHash(Value(Array::make({Value(1), Value("b")})), Value(Array::makeMutable({Value(1.0), Value("b")})));
  EXPECT_NE(Value(Array::make({Value(1), Value(2)})), Value(Array::make({Value(2), Value(1)})));
  EXPECT_NE(Value(Array::make({Value(1)})), Value(Set::make({Value(1)})));

  auto nested = Dictionary::make({{Value("list"), Value(Array::make({Value(1)}))}});
  EXPECT_EQ(nested->description(), "{\n    list = (\n        1\n    );\n}");
}

TEST(CollectionValues, SettingAnEntryCopiesAndKeepsTheOriginal) {
  auto original = Dictionary::make({{Value("a"), Value(1)}});
  auto changed = original->dictionaryBySettingObject(Value(2), Value("b"));
  auto removed = changed->dictionaryBySettingObject(Value(), Value("a"));
  EXPECT_EQ(original->count(), 1u);
  EXPECT_EQ(changed->objectForKey("b"), Value(2));
  EXPECT_EQ(removed->count(), 1u);
  EXPECT_TRUE(removed->objectForKey("a").isNil());
}

TEST(CollectionValuesDeathTest, NilElementsAreProgrammingErrors) {
  EXPECT_DEATH((void)Array::make({Value()}), "Invalid parameter not satisfying: !element.isNil\\(\\)");
  EXPECT_DEATH((void)Dictionary::make({{Value("k"), Value()}}), "Invalid parameter not satisfying");
  EXPECT_DEATH((void)Array::make()->objectAtIndex(0), "Invalid parameter not satisfying: index < elements_.size\\(\\)");
}

TEST(DataValue, ComparesBytesAndDescribesThemInHex) {
  auto data = Data::make(std::string_view("abc"));
  expectEqualWithHash(Value(data), Value(Data::makeMutable({0x61, 0x62, 0x63})));
  EXPECT_EQ(data->description(), "{length = 3, bytes = 0x616263}");
  std::vector<std::uint8_t> long_(100, 0xab);
  std::string text = Data::make(long_)->description();
  EXPECT_EQ(text.rfind("{length = 100, bytes = 0xabab", 0), 0u);
  EXPECT_NE(text.find(" ... "), std::string::npos);
  EXPECT_EQ(Data::make(std::vector<std::uint8_t>{})->description(), "{length = 0, bytes = 0x}");
}

TEST(DateValue, CountsFromTheReferenceDate) {
  auto reference = Date::dateWithTimeIntervalSinceReferenceDate(0);
  EXPECT_EQ(reference->description(), "2001-01-01 00:00:00 +0000");
  EXPECT_DOUBLE_EQ(reference->timeIntervalSince1970(), 978307200.0);
  auto before1970 = Date::dateWithTimeIntervalSince1970(-86400.5);
  EXPECT_EQ(before1970->description(), "1969-12-30 23:59:59 +0000");
  expectEqualWithHash(Value(Date::dateWithTimeIntervalSince1970(978307200.0)), Value(reference));
  auto point = Date::dateWithTimeIntervalSince1970(1.25)->timePoint();
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(point.time_since_epoch()).count(), 1250);
}

TEST(UUIDValue, ParsesFormatsAndGeneratesVersion4) {
  auto parsed = UUID::makeWithString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(parsed->UUIDString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  expectEqualWithHash(Value(parsed), Value(UUID::makeWithString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                          "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F"}) {
    EXPECT_EQ(UUID::makeWithString(bad), nullptr) << bad;
  }
  auto a = UUID::make();
  auto b = UUID::make();
  EXPECT_NE(Value(a), Value(b));
  EXPECT_EQ(a->UUIDString()[14], '4');
  EXPECT_NE(std::string("89AB").find(a->UUIDString()[19]), std::string::npos);
}

TEST(NullValue, IsOneObjectDistinctFromNil) {
  EXPECT_EQ(Null::null(), Null::null());
  EXPECT_EQ(Value(Null::null()), Value(Null::null()));
  EXPECT_FALSE(Value(Null::null()).isNil());
  EXPECT_NE(Value(Null::null()), Value());
  EXPECT_EQ(Null::null()->description(), "<null>");
}

}  // namespace
}  // namespace fnd
