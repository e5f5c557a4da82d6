// Request heads and ranges come from the network: the server must read them
// strictly and never map a request outside its folder.

#include "devtools/distribution_server/http_head.h"

#include <gtest/gtest.h>

namespace korvia::distribution {
namespace {

TEST(HTTPHeadTest, ParsesHeadsAndRefusesMalformedOnes) {
  const auto head = parseRequestHead("GET /a%20b.zip?x=1 HTTP/1.1\r\nHost: x\r\nRange:  bytes=5-  \r\n");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->method, "GET");
  EXPECT_EQ(head->field("range"), "bytes=5-");
  EXPECT_TRUE(head->keepsAlive());
  EXPECT_EQ(decodedPath(head->target), "/a b.zip");
  EXPECT_FALSE(parseRequestHead("HTTP/1.0 200 OK").has_value());
  EXPECT_FALSE(parseRequestHead("GET / HTTP/2.0").has_value());
  EXPECT_FALSE(parseRequestHead("GET / HTTP/1.1\r\nBad Header: x").has_value());
  EXPECT_FALSE(parseRequestHead(std::string("GET /\0 HTTP/1.1", 15)).has_value());
  EXPECT_FALSE(parseRequestHead("GET / HTTP/1.0")->keepsAlive());
}

TEST(HTTPHeadTest, PathsNeverLeaveTheFolder) {
  for (const char* target : {"/../etc/passwd", "/a/%2e%2e/b", "/a/./b", "/%00", "/a\\b", "relative", "/%zz"}) {
    EXPECT_FALSE(decodedPath(target).has_value()) << target;
  }
  EXPECT_EQ(decodedPath("/a..b/c"), "/a..b/c");
}

TEST(HTTPHeadTest, EvaluatesSingleRanges) {
  using V = RangeVerdict;
  auto range = [](std::string_view header) { return evaluateRange(header, 100); };
  EXPECT_EQ(range("bytes=10-19").first, V::partial);
  EXPECT_EQ(range("bytes=10-19").second.last, 19u);
  EXPECT_EQ(range("bytes=90-").second.first, 90u);
  EXPECT_EQ(range("bytes=90-500").second.last, 99u);
  EXPECT_EQ(range("bytes=-30").second.first, 70u);
  EXPECT_EQ(range("bytes=-300").second.first, 0u);
  EXPECT_EQ(range("bytes=100-").first, V::unsatisfiable);
  EXPECT_EQ(range("bytes=-0").first, V::unsatisfiable);
  for (const char* whole : {"bytes=1-2,5-6", "bytes=9-3", "items=1-2", "bytes=x-", "bytes=18446744073709551616-"}) {
    EXPECT_EQ(range(whole).first, V::whole) << whole;
  }
  EXPECT_EQ(evaluateRange("bytes=0-", 0).first, V::unsatisfiable);
}

TEST(HTTPHeadTest, FormatsDatesAsHTTPDoes) { EXPECT_EQ(httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT"); }

}  // namespace
}  // namespace korvia::distribution
