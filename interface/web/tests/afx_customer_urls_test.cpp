#include "interface/web/afx_customer_urls.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"

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

TEST(CustomerPageURLTest, AContextAddsTheSubscriptionAccountAndToken) {
  auto customerID = AFXCustomerID::initWithAccountName("ada+1@example.test", AFXDefaultEnvironmentID::make());
  auto customer = [&](AFXCustomerSubscriptionState state) {
    return AFXCustomer::initWithIdentifier(customerID, std::string("b-1"), std::string("t"), state, nullptr, nullptr,
                                           nullptr, nullptr, false);
  };
  const std::vector<std::pair<AFXCustomerSubscriptionState, std::string>> states = {
      {1, "trial"}, {2, "paid"}, {3, "grace"}, {6, "processing"}, {7, "canceled"},
      {8, "blocked"}, {9, "trial_blocked"}, {10, "free"}};
  for (const auto& [state, text] : states) {
    auto url = customerURLOnViewMyAccount(AFXCustomerURLInfo::initWithCustomer(customer(state), std::string("a&b")));
    ASSERT_TRUE(url);
    const auto query = queryOf(*url);
    EXPECT_EQ(query.at("activationStatus"), text);
    EXPECT_EQ(query.at("email"), "ada+1@example.test");
    EXPECT_EQ(query.at("access_token"), "a&b");
    EXPECT_EQ(url->path(), "/view-account");
  }
  for (AFXCustomerSubscriptionState state : {0, 4, 5, 11}) {
    auto url = customerURLOnRenewSubscription(AFXCustomerURLInfo::initWithCustomer(customer(state), std::string()));
    const auto query = queryOf(*url);
    EXPECT_FALSE(query.contains("activationStatus")) << state;
    EXPECT_FALSE(query.contains("access_token"));
  }
  EXPECT_FALSE(queryOf(*customerURLOnCreateNewAccount()).contains("email"));
  EXPECT_EQ(queryOf(*customerURLOnRestoreCredentialsWithEmail("x@y.test")).at("email"), "x@y.test");
  EXPECT_FALSE(queryOf(*customerURLOnRestoreCredentialsWithEmail("")).contains("email"));
  auto facebook = customerURLOnSignInWithFacebook();
  EXPECT_EQ(queryOf(*facebook).at("authService"), "facebook");
  EXPECT_EQ(queryOf(*facebook).at("product"), "Korvia");
  EXPECT_FALSE(onlineHelpURL()->query());
}

TEST(CustomSchemeURLTest, CommandsAndTheirArguments) {
  EXPECT_EQ(restoreIntegrityURL()->absoluteString(), "korvia://restore-system-integrity");
  EXPECT_EQ(launchUIManagementServiceURL()->absoluteString(), "korvia://launch-menu-bar-for-ui-management");
  EXPECT_EQ(openPreferencesURL()->absoluteString(), "korviadiscovery://open_preferences");
  auto discovery = openAppsDiscoveryURLForCollection(std::nullopt, 42, std::nullopt, std::nullopt);
  ASSERT_TRUE(discovery);
  EXPECT_EQ(discovery->scheme(), "korviadiscovery");
  EXPECT_EQ(queryOf(*discovery), (std::map<std::string, std::string>{{"collection_id", "0"}, {"app_id", "42"}}));
  auto sent = openAppsDiscoveryURLForCollection(7, std::nullopt, std::string("in staller"), std::string("a&b=c"));
  EXPECT_EQ(queryOf(*sent), (std::map<std::string, std::string>{
                                {"collection_id", "7"}, {"sender_domain", "in staller"}, {"sender", "a&b=c"}}));
  EXPECT_EQ(queryOf(*openAppsDiscoveryURLWithDomain(std::string("installer"))),
            (std::map<std::string, std::string>{{"collection_id", "0"}, {"sender_domain", "installer"}}));
}

}  // namespace
