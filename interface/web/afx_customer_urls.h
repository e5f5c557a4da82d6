#pragma once

// The service's web pages for the customer, as far as the error catalogue
// opens them. Pages live on the service's redirect host: $KORVIA_REDIRECT_URL
// when set and not empty, else https://redirect.korvia.com. Every page URL
// carries the parameters that tell the site who is asking: the product, the
// running system's version, up to three preferred languages and either the
// client's version or the vendor app's name.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/url.h"
#include "interface/model/afx_customer.h"

inline constexpr std::string_view AFXCustomerRedirectURLVariable = "KORVIA_REDIRECT_URL";

// The redirect host's base URL text, without a trailing "/".
std::string AFXCustomerRedirectBaseURLString();

// Percent-encodes a query value with the customer query character set: the
// URL-query characters without "@!*'();:&=+$,/?#[]", so a value can never
// split or end a query.
std::string afx_stringByAddingCustomerQueryPercentEncoding(std::string_view text);

// The page at `URLString` with the customer parameters appended to its
// query. An empty text is a programming error; null when the text is no URL.
std::shared_ptr<fnd::URL> requestURLForURLString(std::string_view URLString);

// The page for downloading the desktop client.
std::shared_ptr<fnd::URL> customerURLOnDownloadKorvia();

// A customer's context for the pages about their account.
class AFXCustomerURLInfo {
 public:
  AFXCustomerURLInfo(std::shared_ptr<AFXCustomer> customer, std::optional<std::string> accessToken)
      : customer_(std::move(customer)), accessToken_(std::move(accessToken)) {}
  static std::shared_ptr<AFXCustomerURLInfo> initWithCustomer(std::shared_ptr<AFXCustomer> customer,
                                                              std::optional<std::string> accessToken) {
    return std::make_shared<AFXCustomerURLInfo>(std::move(customer), std::move(accessToken));
  }
  const std::shared_ptr<AFXCustomer>& customer() const { return customer_; }
  const std::optional<std::string>& accessToken() const { return accessToken_; }

 private:
  std::shared_ptr<AFXCustomer> customer_;
  std::optional<std::string> accessToken_;
};

// The page with the customer parameters and, with a context, the customer's
// subscription state, account name and access token.
std::shared_ptr<fnd::URL> requestURLForURLString(std::string_view URLString,
                                                 const std::shared_ptr<AFXCustomerURLInfo>& info);

std::shared_ptr<fnd::URL> customerURLOnMachineIsNotAllowed();
std::shared_ptr<fnd::URL> customerURLOnNoPaymentInfo();
std::shared_ptr<fnd::URL> customerURLOnSpecialOffer(const std::shared_ptr<AFXCustomerURLInfo>& info);
std::shared_ptr<fnd::URL> customerURLOnPaymentRequired(const std::shared_ptr<AFXCustomerURLInfo>& info);
std::shared_ptr<fnd::URL> customerURLOnRenewSubscription(const std::shared_ptr<AFXCustomerURLInfo>& info);
std::shared_ptr<fnd::URL> customerURLOnViewMyAccount(const std::shared_ptr<AFXCustomerURLInfo>& info);
std::shared_ptr<fnd::URL> customerURLOnCreateNewAccount();
std::shared_ptr<fnd::URL> customerURLOnRestoreCredentialsWithEmail(std::string_view email);
std::shared_ptr<fnd::URL> customerURLOnSignInWithFacebook();
std::shared_ptr<fnd::URL> customerURLOnSignInWithGooglePlus();
// Plain pages, without parameters.
std::shared_ptr<fnd::URL> onlineHelpURL();
std::shared_ptr<fnd::URL> siteApplicationsURL();

// The URL schemes by which any process asks the desktop client (or its
// agent) to do something.
inline constexpr std::string_view AFXURLSchemeAgent = "korvia";
inline constexpr std::string_view AFXURLSchemeDesktopClient = "korviadiscovery";
inline constexpr std::string_view AFXURLCommandLaunchApp = "launch";
inline constexpr std::string_view AFXURLCommandSignIn = "system/sign_in";
inline constexpr std::string_view AFXURLCommandRenewSubscription = "renew_subscription";
inline constexpr std::string_view AFXURLCommandOpenPreferences = "open_preferences";
inline constexpr std::string_view AFXURLCommandOpenAppsDiscovery = "open_collection";
inline constexpr std::string_view AFXURLCommandRestoreIntegrity = "restore_system_integrity";
inline constexpr std::string_view AFXURLCommandRestoreIntegrityObsolete = "restore-system-integrity";
inline constexpr std::string_view AFXURLCommandLaunchUIManagementServiceObsolete = "launch-menu-bar-for-ui-management";

// "scheme://command" with one encoded query item per argument.
std::shared_ptr<fnd::URL> customSchemeURLWithScheme(std::string_view scheme, std::string_view command,
                                                    const std::vector<std::pair<std::string, std::string>>& arguments);
std::shared_ptr<fnd::URL> launchUIManagementServiceURL();
std::shared_ptr<fnd::URL> restoreIntegrityURL();
std::shared_ptr<fnd::URL> openPreferencesURL();
// "collection_id" is "0" without a collection; the others are left out when
// absent.
std::shared_ptr<fnd::URL> openAppsDiscoveryURLForCollection(std::optional<std::uint64_t> collectionID,
                                                            std::optional<std::uint64_t> appID,
                                                            std::optional<std::string> senderDomain,
                                                            std::optional<std::string> sender);
std::shared_ptr<fnd::URL> openAppsDiscoveryURLWithDomain(std::optional<std::string> senderDomain);

// Hands the URL to the best installed copy of the desktop client, or to the
// system's default handler when there is none; whether it could be started.
[[nodiscard]] bool openURLWithDesktopClient(const fnd::URL& url);

namespace afx_customer_urls_detail {

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// The parameters of a page without customer context, for a running program
// with that bundle identifier and bundle name.
QueryItems contextFreeParameters(std::string_view bundleIdentifier, std::string_view bundleName,
                                 std::string_view OSVersion, const std::vector<std::string>& preferredLocales);

// `URLString` with the items appended, encoded, to its query.
std::string appendingQueryItems(std::string_view URLString, const QueryItems& items);

}  // namespace afx_customer_urls_detail
