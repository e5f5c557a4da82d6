#include "interface/web/afx_customer_urls.h"

#include <cstdlib>

#include "foundation/bundle.h"
#include "foundation/check.h"
#include "tools/qv_system_info.h"

namespace {

constexpr std::string_view kDefaultRedirectBaseURL = "https://redirect.korvia.com";
constexpr std::string_view kDesktopClientBundleIdentifier = "com.korvia.DesktopClient";
// The client version the site is told when the desktop client itself, or a
// program without a bundle, opens a page.
constexpr std::string_view kDesktopClientVersion = "1.9.8";
constexpr std::size_t kPreferredLocaleCount = 3;

std::string joined(const std::vector<std::string>& texts, std::string_view separator) {
  std::string result;
  for (const auto& text : texts) {
    if (!result.empty()) result.append(separator);
    result.append(text);
  }
  return result;
}

}  // namespace

namespace afx_customer_urls_detail {

QueryItems contextFreeParameters(std::string_view bundleIdentifier, std::string_view bundleName,
                                 std::string_view OSVersion, const std::vector<std::string>& preferredLocales) {
  QueryItems items = {{"product", "Korvia"}, {"os", std::string(OSVersion)}, {"lang", joined(preferredLocales, ",")}};
  if (bundleIdentifier.empty() || bundleIdentifier.starts_with(kDesktopClientBundleIdentifier)) {
    items.emplace_back("version", kDesktopClientVersion);
  } else {
    items.emplace_back("vendorAppName", bundleName);
  }
  return items;
}

std::string appendingQueryItems(std::string_view URLString, const QueryItems& items) {
  const auto hash = URLString.find('#');
  std::string result(URLString.substr(0, hash));
  const auto question = result.find('?');
  char separator = question == std::string::npos ? '?' : (question + 1 == result.size() ? '\0' : '&');
  for (const auto& [name, value] : items) {
    if (separator != '\0') result.push_back(separator);
    result += afx_stringByAddingCustomerQueryPercentEncoding(name);
    result.push_back('=');
    result += afx_stringByAddingCustomerQueryPercentEncoding(value);
    separator = '&';
  }
  if (hash != std::string_view::npos) result.append(URLString.substr(hash));
  return result;
}

}  // namespace afx_customer_urls_detail

std::string AFXCustomerRedirectBaseURLString() {
  const char* configured = std::getenv(std::string(AFXCustomerRedirectURLVariable).c_str());
  std::string base = configured != nullptr && *configured != '\0' ? configured : std::string(kDefaultRedirectBaseURL);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

std::string afx_stringByAddingCustomerQueryPercentEncoding(std::string_view text) {
  // Only the unreserved characters remain once the listed delimiters are
  // taken out of the URL-query set.
  return fnd::URL::percentEncode(text, "");
}

std::shared_ptr<fnd::URL> requestURLForURLString(std::string_view URLString) {
  FND_PARAMETER_ASSERT(!URLString.empty());
  const auto bundle = fnd::Bundle::mainBundle();
  const std::string identifier = bundle ? bundle->bundleIdentifier() : std::string();
  const auto name = bundle ? bundle->objectForInfoDictionaryKey("CFBundleName").stringValue() : std::nullopt;
  const auto items = afx_customer_urls_detail::contextFreeParameters(
      identifier, name.value_or(""), QVSystemInfo::OSVersion(), QVSystemInfo::preferredLocales(kPreferredLocaleCount));
  return fnd::URL::URLWithString(afx_customer_urls_detail::appendingQueryItems(URLString, items));
}

std::shared_ptr<fnd::URL> customerURLOnDownloadKorvia() {
  return requestURLForURLString(AFXCustomerRedirectBaseURLString() + "/download-desktop-client");
}

std::shared_ptr<fnd::URL> restoreIntegrityURL() {
  return fnd::URL::URLWithString(std::string(AFXURLSchemeKorvia) + "://" + std::string(AFXURLCommandRestoreIntegrityObsolete));
}
