#pragma once

// Finding the installed copies of an app, above all of the desktop client.
// Launch Services knows every copy ever registered, including those in the
// Trash, in backups, in build folders, caches, mounted volumes and temporary
// folders; these functions drop what is lost for monitoring (Trash, backups)
// and what lies under ignored path prefixes, and rank what remains.
//
// Ignored prefixes are plain lower-case text prefixes of lower-case paths
// (no component boundary). Everything here is synchronous and stateless; the
// backup tests list folders, so callers use a work queue.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/url.h"

using AFXIgnoredPaths = std::optional<std::vector<std::string>>;

// The copies that are neither lost nor ignored, in Launch Services order.
std::vector<std::shared_ptr<fnd::URL>> AFXURLsForAppWithBundleIDIgnoringPaths(std::string_view bundleID,
                                                                             const AFXIgnoredPaths& ignoredPaths);
bool AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(std::string_view bundleID, const AFXIgnoredPaths& ignoredPaths);
// Lost copies are still dropped.
bool AFXCheckIfAppWithBundleIDInstalled(std::string_view bundleID);

// The copy of the desktop client that opens the service's URLs: the first
// (in Launch Services order) in the system's applications folder, else in the
// user's, else in the user's application support, else the first of all.
std::shared_ptr<fnd::URL> AFXPickBestDesktopClientURL();

// The desktop client's ignored prefixes, lower case: the developer tool's
// derived-data and archives folders (its preferences, or their defaults),
// "/var/folders", "/private/var/folders", "/Library", "/Volumes" (all under
// the system root), the user's caches and the user's Trash.
std::vector<std::string> AFXDetectIgnoredPathsForDesktopClient();
// The general list for detecting apps: the first five of the above, then the
// whole user library (on Linux, its XDG folders) and the user's Trash.
std::vector<std::string> AFXDetectIgnoredPaths();

bool _AFXShouldIgnorePath(std::string_view lowercasePath, const AFXIgnoredPaths& prefixes);

// App detection by bundle identifiers: for each identifier, its Launch
// Services copies that pass, each once per identifier, in identifier then
// Launch Services order.
using AFXAppURLPredicate = std::function<bool(const fnd::URL& appURL)>;
std::vector<std::shared_ptr<fnd::URL>> AFXDetectAppURLsWithPredicate(const std::vector<std::string>& bundleIDs,
                                                                     const AFXAppURLPredicate& predicate);
// Rejects copies in hidden folders, copies under an ignored prefix (any
// case) and, unless `allowNested`, apps inside another app's bundle.
std::vector<std::shared_ptr<fnd::URL>> AFXDetectAppURLsWithIgnoredPaths(const std::vector<std::string>& bundleIDs,
                                                                        const std::vector<std::string>& ignoredPaths,
                                                                        bool allowNested);
