#include "foundation/format.h"

#include <gtest/gtest.h>

#include "foundation/array.h"
#include "foundation/error.h"
#include "foundation/number.h"

namespace fnd {
namespace {

TEST(StringWithFormat, ObjectPlaceholderTakesDescriptions) {
  EXPECT_EQ(StringWithFormat("Error creating logsDirectory: %@", std::string("/tmp/x")),
            "Error creating logsDirectory: /tmp/x");
  EXPECT_EQ(StringWithFormat("%@ and %@", Value(42), Value()), "42 and (null)");
  EXPECT_EQ(StringWithFormat("<%@> ", Number::numberWithDouble(1.5)), "<1.5> ");
  EXPECT_EQ(StringWithFormat("%@", Error(NSCocoaErrorDomain, 4)), "Error Domain=NSCocoaErrorDomain Code=4");
}

TEST(StringWithFormat, NumericConversionsKeepPrintfSemantics) {
  EXPECT_EQ(StringWithFormat("%d|%ld|%lu|%lld", -5, 7L, 8UL, -9LL), "-5|7|8|-9");
  EXPECT_EQ(StringWithFormat("%05d|%-4d|%x|%X|%o", 42, 3, 255, 255, 8), "00042|3   |ff|FF|10");
  EXPECT_EQ(StringWithFormat("%.2f|%5.1f|%e", 3.14159, 2.25, 1000.0), "3.14|  2.2|1.000000e+03");
  EXPECT_EQ(StringWithFormat("%s=%5s|%-5s|%.2s", "k", "ab", "cd", "xyz"), "k=   ab|cd   |xy");
  EXPECT_EQ(StringWithFormat("%d", std::uint64_t{18446744073709551615ULL}), "18446744073709551615");
  EXPECT_EQ(StringWithFormat("%c%c", 'o', 'k'), "ok");
}

TEST(StringWithFormat, ArgumentsRenderByTheirOwnType) {
  // A mismatched conversion renders the argument rather than reading garbage.
  EXPECT_EQ(StringWithFormat("%d", "text"), "text");
  EXPECT_EQ(StringWithFormat("%@", 12), "12");
  EXPECT_EQ(StringWithFormat("%s", 0.25), "0.25");
  EXPECT_EQ(StringWithFormat("%d", 2.9), "2");
}

TEST(StringWithFormat, PositionalPercentAndMissingArguments) {
  EXPECT_EQ(StringWithFormat("%2$@ before %1$@", "one", "two"), "two before one");
  EXPECT_EQ(StringWithFormat("100%% of %@", "it"), "100% of it");
  EXPECT_EQ(StringWithFormat("%@ %@", "only"), "only (null)");
  EXPECT_EQ(StringWithFormat("no arguments"), "no arguments");
  EXPECT_EQ(StringWithFormat("broken %", 1), "broken %");
  EXPECT_EQ(StringWithFormat("%0$@", 1), "%0$@");
}

}  // namespace
}  // namespace fnd
