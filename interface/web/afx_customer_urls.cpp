#include "interface/web/afx_customer_urls.h"

#include <cstdlib>

#include "foundation/bundle.h"
#include "foundation/check.h"
#include "foundation/url.h"
#include "foundation/workspace.h"
#include "interface/model/afx_library_version.h"
#include "interface/placement/afx_desktop_client_discovery.h"
#include "tools/qv_system_info.h"

namespace {

constexpr std::string_view kDefaultRedirectBaseURL = "https://redirect.korvia.com";
constexpr std::string_view kDesktopClientBundleIdentifier = "com.korvia.DesktopClient";
// The client version the site is told when the desktop client itself, or a
// program without a bundle, opens a page.
constexpr std::string_view kDesktopClientVersion = AFXLibraryVersion;
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
  return fnd::baseURLStringFromEnvironment(AFXCustomerRedirectURLVariable, kDefaultRedirectBaseURL);
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

namespace {

std::optional<std::string> activationStatus(AFXCustomerSubscriptionState state) {
  switch (state) {
    case 1: return "trial";
    case 2: return "paid";
    case 3: return "grace";
    case 6: return "processing";
    case 7: return "canceled";
    case 8: return "blocked";
    case 9: return "trial_blocked";
    case 10: return "free";
    default: return std::nullopt;
  }
}

std::string page(std::string_view path) { return AFXCustomerRedirectBaseURLString() + std::string(path); }

}  // namespace

std::shared_ptr<fnd::URL> requestURLForURLString(std::string_view URLString,
                                                 const std::shared_ptr<AFXCustomerURLInfo>& info) {
  FND_PARAMETER_ASSERT(!URLString.empty());
  const auto bundle = fnd::Bundle::mainBundle();
  const std::string identifier = bundle ? bundle->bundleIdentifier() : std::string();
  const auto name = bundle ? bundle->objectForInfoDictionaryKey("CFBundleName").stringValue() : std::nullopt;
  auto items = afx_customer_urls_detail::contextFreeParameters(
      identifier, name.value_or(""), QVSystemInfo::OSVersion(), QVSystemInfo::preferredLocales(kPreferredLocaleCount));
  if (info && info->customer()) {
    if (auto status = activationStatus(info->customer()->subscriptionState())) items.emplace_back("activationStatus", *status);
    const auto& customerID = info->customer()->identifier();
    const std::string account = customerID ? customerID->accountName().value_or("") : "";
    if (!account.empty()) items.emplace_back("email", account);
  }
  if (info && info->accessToken() && !info->accessToken()->empty()) items.emplace_back("access_token", *info->accessToken());
  return fnd::URL::URLWithString(afx_customer_urls_detail::appendingQueryItems(URLString, items));
}

std::shared_ptr<fnd::URL> customerURLOnMachineIsNotAllowed() { return requestURLForURLString(page("/manage-devices")); }
std::shared_ptr<fnd::URL> customerURLOnNoPaymentInfo() { return requestURLForURLString(page("/no-payment-info")); }
std::shared_ptr<fnd::URL> customerURLOnSpecialOffer(const std::shared_ptr<AFXCustomerURLInfo>& info) {
  return requestURLForURLString(page("/special-offer"), info);
}
std::shared_ptr<fnd::URL> customerURLOnPaymentRequired(const std::shared_ptr<AFXCustomerURLInfo>& info) {
  return requestURLForURLString(page("/payment-required"), info);
}
std::shared_ptr<fnd::URL> customerURLOnRenewSubscription(const std::shared_ptr<AFXCustomerURLInfo>& info) {
  return requestURLForURLString(page("/renew-subscription"), info);
}
std::shared_ptr<fnd::URL> customerURLOnViewMyAccount(const std::shared_ptr<AFXCustomerURLInfo>& info) {
  return requestURLForURLString(page("/view-account"), info);
}
std::shared_ptr<fnd::URL> customerURLOnCreateNewAccount() { return requestURLForURLString(page("/create-new-account")); }
std::shared_ptr<fnd::URL> customerURLOnRestoreCredentialsWithEmail(std::string_view email) {
  auto url = requestURLForURLString(page("/password-retrieval"));
  if (!url || email.empty()) return url;
  return fnd::URL::URLWithString(
      afx_customer_urls_detail::appendingQueryItems(url->absoluteString(), {{"email", std::string(email)}}));
}
std::shared_ptr<fnd::URL> customerURLOnSignInWithFacebook() {
  return requestURLForURLString(page("/authorization?authService=facebook"));
}
std::shared_ptr<fnd::URL> customerURLOnSignInWithGooglePlus() {
  return requestURLForURLString(page("/authorization?authService=google"));
}
std::shared_ptr<fnd::URL> onlineHelpURL() { return fnd::URL::URLWithString(page("/online-help")); }
std::shared_ptr<fnd::URL> siteApplicationsURL() { return fnd::URL::URLWithString(page("/applications")); }

std::shared_ptr<fnd::URL> customSchemeURLWithScheme(std::string_view scheme, std::string_view command,
                                                    const std::vector<std::pair<std::string, std::string>>& arguments) {
  return fnd::URL::URLWithString(afx_customer_urls_detail::appendingQueryItems(
      std::string(scheme) + "://" + std::string(command), arguments));
}

std::shared_ptr<fnd::URL> launchUIManagementServiceURL() {
  return customSchemeURLWithScheme(AFXURLSchemeAgent, AFXURLCommandLaunchUIManagementServiceObsolete, {});
}
std::shared_ptr<fnd::URL> restoreIntegrityURL() {
  return customSchemeURLWithScheme(AFXURLSchemeAgent, AFXURLCommandRestoreIntegrityObsolete, {});
}
std::shared_ptr<fnd::URL> openPreferencesURL() {
  return customSchemeURLWithScheme(AFXURLSchemeDesktopClient, AFXURLCommandOpenPreferences, {});
}

std::shared_ptr<fnd::URL> openAppsDiscoveryURLForCollection(std::optional<std::uint64_t> collectionID,
                                                            std::optional<std::uint64_t> appID,
                                                            std::optional<std::string> senderDomain,
                                                            std::optional<std::string> sender) {
  std::vector<std::pair<std::string, std::string>> arguments{
      {"collection_id", std::to_string(collectionID.value_or(0))}};
  if (appID) arguments.emplace_back("app_id", std::to_string(*appID));
  if (senderDomain) arguments.emplace_back("sender_domain", *senderDomain);
  if (sender) arguments.emplace_back("sender", *sender);
  return customSchemeURLWithScheme(AFXURLSchemeDesktopClient, AFXURLCommandOpenAppsDiscovery, arguments);
}

std::shared_ptr<fnd::URL> openAppsDiscoveryURLWithDomain(std::optional<std::string> senderDomain) {
  return openAppsDiscoveryURLForCollection(std::nullopt, std::nullopt, std::move(senderDomain), std::nullopt);
}

bool openURLWithDesktopClient(const fnd::URL& url) {
  auto& workspace = fnd::Workspace::sharedWorkspace();
  if (auto client = AFXPickBestDesktopClientURL()) return workspace.openURL(url, *client);
  return workspace.openURL(url);
}
