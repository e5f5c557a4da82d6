#include "interface/web/afx_customer_urls.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>

namespace {

using afx_customer_urls_detail::QueryItems;

std::map<std::string, std::string> queryOf(const fnd::URL& url) {
  std::map<std::string, std::string> items;
  const std::string text = url.query().value_or("");
  std::string_view query = text;
  while (!query.empty()) {
    const auto amp = query.find('&');
    const auto item = query.substr(0, amp);
    const auto equals = item.find('=');
    items[std::string(item.substr(0, equals))] =
        equals == std::string_view::npos ? "" : fnd::URL::percentDecode(item.substr(equals + 1)).value_or("?");
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
  }
  return items;
}

TEST(CustomerQueryEncodingTest, DelimitersCannotSplitAQuery) {
  EXPECT_EQ(afx_stringByAddingCustomerQueryPercentEncoding("a&b=c+d e@f/g?h#i'j(k)*!$,;:[]"),
            "a%26b%3Dc%2Bd%20e%40f%2Fg%3Fh%23i%27j%28k%29%2A%21%24%2C%3B%3A%5B%5D");
  EXPECT_EQ(afx_stringByAddingCustomerQueryPercentEncoding("Az09-._~"), "Az09-._~");
  EXPECT_EQ(afx_stringByAddingCustomerQueryPercentEncoding("é"), "%C3%A9");
}

TEST(CustomerPageParametersTest, ClientAndBundlelessProgramsSendTheClientVersion) {
  for (std::string_view identifier : {"", "com.korvia.DesktopClient", "com.korvia.DesktopClient.helper"}) {
    const QueryItems items =
        afx_customer_urls_detail::contextFreeParameters(identifier, "Korvia", "12.4", {"en-US", "de-DE", "fr"});
    EXPECT_EQ(items,
              (QueryItems{{"product", "Korvia"}, {"os", "12.4"}, {"lang", "en-US,de-DE,fr"}, {"version", "1.9.8"}}))
        << identifier;
  }
}

TEST(CustomerPageParametersTest, VendorAppsSendTheirName) {
  const QueryItems items =
      afx_customer_urls_detail::contextFreeParameters("com.vendor.cleaner", "Cleaner Pro", "12.4", {});
  EXPECT_EQ(items.back(), (std::pair<std::string, std::string>{"vendorAppName", "Cleaner Pro"}));
  EXPECT_EQ(items[2], (std::pair<std::string, std::string>{"lang", ""}));
}

TEST(CustomerPageParametersTest, ItemsJoinAnExistingQueryAndKeepTheFragment) {
  const QueryItems items = {{"a", "1&2"}, {"b", "x"}};
  EXPECT_EQ(afx_customer_urls_detail::appendingQueryItems("https://h.test/p", items), "https://h.test/p?a=1%262&b=x");
  EXPECT_EQ(afx_customer_urls_detail::appendingQueryItems("https://h.test/authorization?authService=google", items),
            "https://h.test/authorization?authService=google&a=1%262&b=x");
  EXPECT_EQ(afx_customer_urls_detail::appendingQueryItems("https://h.test/p?", items), "https://h.test/p?a=1%262&b=x");
  EXPECT_EQ(afx_customer_urls_detail::appendingQueryItems("https://h.test/p#top", items),
            "https://h.test/p?a=1%262&b=x#top");
}

TEST(CustomerPageURLTest, DownloadPageLivesOnTheConfiguredRedirectHost) {
  ::setenv(std::string(AFXCustomerRedirectURLVariable).c_str(), "http://127.0.0.1:8123/", 1);
  const auto url = customerURLOnDownloadKorvia();
  ::unsetenv(std::string(AFXCustomerRedirectURLVariable).c_str());
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->host(), "127.0.0.1");
  EXPECT_EQ(url->port(), 8123);
  EXPECT_EQ(url->path(), "/download-desktop-client");
  const auto query = queryOf(*url);
  EXPECT_EQ(query.at("product"), "Korvia");
  EXPECT_TRUE(query.contains("os"));
  EXPECT_TRUE(query.contains("lang"));
  // The test program has no bundle identifier.
  EXPECT_EQ(query.at("version"), "1.9.8");
}

TEST(CustomerPageURLTest, DefaultRedirectHost) {
  ::unsetenv(std::string(AFXCustomerRedirectURLVariable).c_str());
  EXPECT_EQ(AFXCustomerRedirectBaseURLString(), "https://redirect.korvia.com");
}

TEST(CustomerPageURLDeathTest, PageAddressIsRequired) {
  EXPECT_DEATH((void)requestURLForURLString(""), "Invalid parameter not satisfying");
}

}  // namespace
