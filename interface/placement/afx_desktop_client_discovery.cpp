#include "interface/placement/afx_desktop_client_discovery.h"

#include <algorithm>
#include <cctype>

#include "foundation/bundle.h"
#include "foundation/dictionary.h"
#include "foundation/launch_services.h"
#include "foundation/search_paths.h"
#include "foundation/user_defaults.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/apps_management/model/afx_file_reference_url.h"

namespace {

constexpr std::string_view kDeveloperToolDomain = "com.apple.dt.Xcode";

std::string lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
  return result;
}

std::string underSystemRoot(std::string_view path) {
  const std::string root = fnd::SearchPaths::systemRoot();
  return root == "/" ? std::string(path) : root + std::string(path);
}

// The developer tool's folder from its preferences, or its default place.
std::optional<std::string> developerToolFolder(std::string_view key, std::string_view fallback) {
  if (auto domain = fnd::UserDefaults::persistentDomainForName(kDeveloperToolDomain)) {
    if (auto custom = domain->objectForKey(key).stringValue(); custom && !custom->empty()) return *custom;
  }
  auto resolved = fnd::SearchPaths::resolve(fallback);
  if (resolved.empty()) return std::nullopt;
  return resolved;
}

std::string userTrash() {
  return fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport) + "/Trash";
}

std::vector<std::string> commonIgnoredPaths() {
  std::vector<std::optional<std::string>> entries = {
      developerToolFolder("IDECustomDerivedDataLocation", "~/Library/Developer/Xcode/DerivedData"),
      developerToolFolder("IDECustomDistributionArchivesLocation", "~/Library/Developer/Xcode/Archives"),
      fnd::SearchPaths::path(fnd::SearchPathLocation::varFolders),
      underSystemRoot("/private/var/folders"),
      fnd::SearchPaths::path(fnd::SearchPathLocation::library),
  };
  std::vector<std::string> paths;
  for (const auto& entry : entries) {
    if (entry && !entry->empty()) paths.push_back(lower(*entry));
  }
  return paths;
}

bool startsWith(const fnd::URL& url, const std::string& folder) {
  return url.absoluteString().starts_with(fnd::URL::fileURLWithPath(folder, true)->absoluteString());
}

}  // namespace

bool _AFXShouldIgnorePath(std::string_view lowercasePath, const AFXIgnoredPaths& prefixes) {
  if (!prefixes) return false;
  return std::any_of(prefixes->begin(), prefixes->end(),
                     [&](const std::string& prefix) { return lowercasePath.starts_with(prefix); });
}

std::vector<std::shared_ptr<fnd::URL>> AFXURLsForAppWithBundleIDIgnoringPaths(std::string_view bundleID,
                                                                             const AFXIgnoredPaths& ignoredPaths) {
  auto urls = fnd::LaunchServices::URLsForApplicationsWithBundleIdentifier(bundleID);
  std::erase_if(urls, [&](const std::shared_ptr<fnd::URL>& url) {
    return isLostForMonitoring(*url) || _AFXShouldIgnorePath(lower(url->path()), ignoredPaths);
  });
  return urls;
}

bool AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(std::string_view bundleID, const AFXIgnoredPaths& ignoredPaths) {
  return !AFXURLsForAppWithBundleIDIgnoringPaths(bundleID, ignoredPaths).empty();
}

bool AFXCheckIfAppWithBundleIDInstalled(std::string_view bundleID) {
  return AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(bundleID, std::nullopt);
}

std::shared_ptr<fnd::URL> AFXPickBestDesktopClientURL() {
  const auto candidates = AFXURLsForAppWithBundleIDIgnoringPaths(AFXDesktopClientBundleIdentifier, std::nullopt);
  // The local domain, then the user's; the location decides, not the version.
  for (auto location : {fnd::SearchPathLocation::applications, fnd::SearchPathLocation::userApplications,
                        fnd::SearchPathLocation::userApplicationSupport}) {
    const std::string folder = fnd::SearchPaths::path(location);
    for (const auto& candidate : candidates) {
      if (startsWith(*candidate, folder)) return candidate;
    }
  }
  return candidates.empty() ? nullptr : candidates.front();
}

std::vector<std::string> AFXDetectIgnoredPathsForDesktopClient() {
  auto paths = commonIgnoredPaths();
  for (const auto& path : {fnd::SearchPaths::path(fnd::SearchPathLocation::volumes),
                           fnd::SearchPaths::path(fnd::SearchPathLocation::userCaches), userTrash()}) {
    paths.push_back(lower(path));
  }
  return paths;
}

std::vector<std::string> AFXDetectIgnoredPaths() {
  auto paths = commonIgnoredPaths();
  // The user library is split over the XDG folders on Linux.
  for (const auto& path : {fnd::SearchPaths::resolve("~/Library"),
                           fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport),
                           fnd::SearchPaths::path(fnd::SearchPathLocation::userCaches),
                           fnd::SearchPaths::path(fnd::SearchPathLocation::userLogs),
                           fnd::SearchPaths::path(fnd::SearchPathLocation::userPreferences), userTrash()}) {
    paths.push_back(lower(path));
  }
  return paths;
}

namespace {

// The parent folder's path holds ".app" (the last one, any case) and the
// path up to it is a bundle with an identifier: an app inside another app.
bool isNestedApp(const fnd::URL& url) {
  const std::string parent = url.URLByDeletingLastPathComponent()->path();
  const std::size_t found = lower(parent).rfind(".app");
  if (found == std::string::npos) return false;
  auto outer = fnd::Bundle::bundleWithPath(parent.substr(0, found + 4));
  return outer && !outer->bundleIdentifier().empty();
}

bool isInHiddenFolder(const fnd::URL& url) {
  return url.URLByDeletingLastPathComponent()->lastPathComponent().starts_with(".");
}

}  // namespace

std::vector<std::shared_ptr<fnd::URL>> AFXDetectAppURLsWithPredicate(const std::vector<std::string>& bundleIDs,
                                                                     const AFXAppURLPredicate& predicate) {
  std::vector<std::shared_ptr<fnd::URL>> result;
  for (const std::string& bundleID : bundleIDs) {
    std::vector<std::string> seen;
    for (const auto& url : fnd::LaunchServices::URLsForApplicationsWithBundleIdentifier(bundleID)) {
      const std::string path = url->path();
      if (std::find(seen.begin(), seen.end(), path) != seen.end() || !predicate(*url)) continue;
      seen.push_back(path);
      result.push_back(url);
    }
  }
  return result;
}

std::vector<std::shared_ptr<fnd::URL>> AFXDetectAppURLsWithIgnoredPaths(const std::vector<std::string>& bundleIDs,
                                                                        const std::vector<std::string>& ignoredPaths,
                                                                        bool allowNested) {
  std::vector<std::string> prefixes;
  for (const auto& path : ignoredPaths) prefixes.push_back(lower(path));
  return AFXDetectAppURLsWithPredicate(bundleIDs, [&](const fnd::URL& url) {
    if (isInHiddenFolder(url)) return false;
    if (!allowNested && isNestedApp(url)) return false;
    return !_AFXShouldIgnorePath(lower(url.path()), prefixes);
  });
}
