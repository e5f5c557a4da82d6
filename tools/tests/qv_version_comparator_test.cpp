#include "tools/qv_version_comparator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Segments = std::vector<std::string>;

TEST(QVVersionComparatorTest, TypesCharactersAndWholeSegments) {
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("7"), QVVersionSegmentTypeNumber);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("123"), QVVersionSegmentTypeNumber);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("b"), QVVersionSegmentTypeString);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("beta"), QVVersionSegmentTypeString);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter(" "), QVVersionSegmentTypeString);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("+"), QVVersionSegmentTypeString);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter(""), QVVersionSegmentTypeString);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("."), QVVersionSegmentTypeSeparator);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("-"), QVVersionSegmentTypeSeparator);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("_"), QVVersionSegmentTypeSeparator);
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("*"), QVVersionSegmentTypeWildcard);
  // Only a lone star is a wildcard; a run of them holds punctuation.
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("**"), QVVersionSegmentTypeSeparator);
  // A digit wins over punctuation.
  EXPECT_EQ(QVVersionComparator::typeOfCharacter("1-"), QVVersionSegmentTypeNumber);
}

TEST(QVVersionComparatorTest, SplitsIntoRunsAndLoneSeparators) {
  EXPECT_EQ(QVVersionComparator::splitVersionString("10.15.7"), (Segments{"10", ".", "15", ".", "7"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString("1.2b3"), (Segments{"1", ".", "2", "b", "3"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString("1..2"), (Segments{"1", ".", ".", "2"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString("2.*"), (Segments{"2", ".", "*"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString("1.0 beta 2"), (Segments{"1", ".", "0", " beta ", "2"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString(" \t1.0\r\n"), (Segments{"1", ".", "0"}));
  EXPECT_EQ(QVVersionComparator::splitVersionString("1.0\xC3\xA9"), (Segments{"1", ".", "0", "\xC3\xA9"}));
  EXPECT_TRUE(QVVersionComparator::splitVersionString("").empty());
  EXPECT_TRUE(QVVersionComparator::splitVersionString(" \n ").empty());
}

struct OrderCase {
  const char* version;
  const char* otherVersion;
  NSComparisonResult expected;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << '"' << c.version << "\" vs \"" << c.otherVersion << '"'; }

class QVVersionOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(QVVersionOrderTest, OrdersBothWays) {
  const OrderCase& c = GetParam();
  EXPECT_EQ(QVVersionComparator::compareVersion(c.version, c.otherVersion), c.expected);
  EXPECT_EQ(QVVersionComparator::compareVersion(c.otherVersion, c.version), static_cast<NSComparisonResult>(-c.expected));
  EXPECT_EQ(qv_compareVersion(c.version, c.otherVersion), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, QVVersionOrderTest,
    ::testing::Values(OrderCase{"1.2.3", "1.2.3", NSOrderedSame}, OrderCase{"1.2", "1.2.0.0", NSOrderedSame},
                      OrderCase{"1.2.10", "1.2.9", NSOrderedDescending}, OrderCase{"1.10", "1.9", NSOrderedDescending},
                      OrderCase{"1.0", "1", NSOrderedSame}, OrderCase{"1.0.0", "1", NSOrderedSame},
                      OrderCase{"1.0a", "1.0", NSOrderedAscending}, OrderCase{"1.0b2", "1.0", NSOrderedAscending},
                      OrderCase{"2.*", "2.5", NSOrderedDescending}, OrderCase{"*", "999", NSOrderedDescending},
                      OrderCase{"*", "*", NSOrderedSame}, OrderCase{"10.15.7", "null", NSOrderedDescending},
                      OrderCase{"1.0B", "1.0b", NSOrderedSame}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, QVVersionOrderTest,
    ::testing::Values(
        OrderCase{"", "", NSOrderedSame}, OrderCase{"", "1", NSOrderedAscending},
        OrderCase{"", "0", NSOrderedAscending}, OrderCase{" 1.2 ", "1.2", NSOrderedSame},
        OrderCase{"1.2\n", "1.2.0", NSOrderedSame}, OrderCase{"1.0b1", "1.0b2", NSOrderedAscending},
        OrderCase{"1.0beta", "1.0alpha", NSOrderedDescending}, OrderCase{"1.0rc1", "1.0.1", NSOrderedAscending},
        OrderCase{"1.01", "1.1", NSOrderedSame}, OrderCase{"1.2-3", "1.2.3", NSOrderedSame},
        OrderCase{"1.2.3.*", "1.2.3.99999", NSOrderedDescending},
        // Beyond 64 bits: must neither wrap nor saturate into a tie.
        OrderCase{"1.18446744073709551616", "1.18446744073709551615", NSOrderedDescending},
        OrderCase{"1.99999999999999999999999", "1.100000000000000000000000", NSOrderedAscending},
        OrderCase{"000000000000000000000000001", "1", NSOrderedSame}, OrderCase{"null", "nulm", NSOrderedAscending}));

}  // namespace
