#include "tools/unarchiver/qv_apple_double.h"

#include <gtest/gtest.h>

#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using unarchiver_test::bytes;
using unarchiver_test::encodeAppleDouble;

TEST(QVAppleDouble, DecodesFinderInformationAndAttributesInFileOrder) {
  std::vector<std::uint8_t> finderInfo(32, 0);
  finderInfo[0] = 'T';
  const std::vector<QVAppleDoubleAttribute> stored = {{"com.apple.quarantine", bytes("0083;5f1e;Safari;")},
                                                      {"a", bytes("")},
                                                      {"com.korvia.tag", bytes("blue")}};
  auto decoded = QVAppleDouble::decode(encodeAppleDouble(stored, finderInfo));
  ASSERT_TRUE(decoded);
  std::vector<QVAppleDoubleAttribute> expected = {{"com.apple.FinderInfo", finderInfo}};
  expected.insert(expected.end(), stored.begin(), stored.end());
  EXPECT_EQ(*decoded, expected);
}

TEST(QVAppleDouble, EmptyFinderInformationAndForkAreNoAttributes) {
  auto decoded = QVAppleDouble::decode(encodeAppleDouble({}));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->empty());
}

TEST(QVAppleDouble, EveryTruncationIsRefusedOrReadWithinBounds) {
  const auto whole = encodeAppleDouble({{"com.korvia.one", bytes("1111")}, {"com.korvia.two", bytes("22")}});
  for (std::size_t length = 0; length < whole.size(); ++length) {
    std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(QVAppleDouble::decode(part)) << "length " << length;
  }
}

TEST(QVAppleDouble, ForgedFieldsAreRefused) {
  const auto whole = encodeAppleDouble({{"com.korvia.one", bytes("1111")}});
  auto forge = [&](std::size_t at, std::uint8_t value) {
    auto copy = whole;
    copy[at] = value;
    return QVAppleDouble::decode(copy);
  };
  EXPECT_FALSE(forge(0, 0x01));      // magic
  EXPECT_FALSE(forge(25, 0xFF));     // entry count past the header
  EXPECT_FALSE(forge(120, 0x7F));    // value offset far past the end
  EXPECT_FALSE(forge(127, 0x10));    // value length past the end
  EXPECT_FALSE(forge(130, 1));       // name length without room for the terminator
  EXPECT_FALSE(forge(130, 0xFF));    // name running past the entry
  EXPECT_FALSE(forge(131 + 14, 'x'));  // name without its terminator
  EXPECT_FALSE(forge(131 + 3, 0xFF));  // name not UTF-8
  EXPECT_TRUE(forge(131 + 3, 'X'));
}

TEST(QVIsValidUTF8, FollowsTheStandard) {
  EXPECT_TRUE(QVIsValidUTF8(""));
  EXPECT_TRUE(QVIsValidUTF8("Korvia.app"));
  EXPECT_TRUE(QVIsValidUTF8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
  EXPECT_FALSE(QVIsValidUTF8("\xc0\xaf"));          // overlong "/"
  EXPECT_FALSE(QVIsValidUTF8("\xe0\x80\xaf"));      // overlong, three bytes
  EXPECT_FALSE(QVIsValidUTF8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(QVIsValidUTF8("\xf4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(QVIsValidUTF8("\xe2\x82"));          // cut short
  EXPECT_FALSE(QVIsValidUTF8("\x80"));              // continuation first
  EXPECT_FALSE(QVIsValidUTF8("\xff"));
}

}  // namespace
