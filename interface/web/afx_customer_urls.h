#pragma once

// The service's web pages for the customer, as far as the error catalogue
// opens them. Pages live on the service's redirect host: $KORVIA_REDIRECT_URL
// when set and not empty, else https://redirect.korvia.com. Every page URL
// carries the parameters that tell the site who is asking: the product, the
// running system's version, up to three preferred languages and either the
// client's version or the vendor app's name.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/url.h"

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

// The desktop client's own URL scheme, and its command that repairs a broken
// installation.
inline constexpr std::string_view AFXURLSchemeKorvia = "korvia";
inline constexpr std::string_view AFXURLCommandRestoreIntegrityObsolete = "restore-system-integrity";
std::shared_ptr<fnd::URL> restoreIntegrityURL();

namespace afx_customer_urls_detail {

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// The parameters of a page without customer context, for a running program
// with that bundle identifier and bundle name.
QueryItems contextFreeParameters(std::string_view bundleIdentifier, std::string_view bundleName,
                                 std::string_view OSVersion, const std::vector<std::string>& preferredLocales);

// `URLString` with the items appended, encoded, to its query.
std::string appendingQueryItems(std::string_view URLString, const QueryItems& items);

}  // namespace afx_customer_urls_detail
