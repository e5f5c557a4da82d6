#pragma once

// Launch Services: which copies of an app exist, by bundle identifier. The
// registry is an SQLite database of the bundles registered with it, at
// $XDG_DATA_HOME/korvia-launchservices/registry.sqlite3, shared by every
// process of the user; the applications folders ("/Applications" under the
// system root, then ~/Applications) are scanned on every lookup, so an app
// copied there counts without being registered. Running applications are the
// processes whose executable lies inside a bundle (X.app/Contents/MacOS/...).
//
// Every operation opens the registry afresh and holds no state, so it may be
// called from any thread; lookups touch the disk and belong on a work queue.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/url.h"

namespace fnd {

// NSOSStatusErrorDomain: no application at the URL, or none that can run.
inline constexpr std::int64_t kLSApplicationNotFoundErr = -10814;

struct RunningApplication {
  pid_t processIdentifier = 0;
  std::shared_ptr<URL> bundleURL;
  std::shared_ptr<URL> executableURL;
  // "" when the bundle does not say (or is gone).
  std::string bundleIdentifier;
};

class LaunchServices {
 public:
  LaunchServices() = delete;

  static std::string registryPath();

  // Records the bundle under its identifier. An already registered bundle is
  // only recorded again (and so moves to the front) with `update`. Fails with
  // kLSApplicationNotFoundErr when the URL is not a bundle with an identifier.
  [[nodiscard]] static Expected<void> registerURL(const URL& bundleURL, bool update);
  [[nodiscard]] static Expected<void> unregisterURL(const URL& bundleURL);

  // Every copy of the app, each once: the registered copies that still carry
  // the identifier, most recently registered first, then the copies in the
  // applications folders that were not registered, the system's folder first.
  // Identifiers compare without regard to case, as the platform's do.
  static std::vector<std::shared_ptr<URL>> URLsForApplicationsWithBundleIdentifier(std::string_view bundleIdentifier);

  // The app bundles in the applications folders, in folder then name order;
  // folders that are not bundles ("Utilities") are searched two levels down.
  static std::vector<std::shared_ptr<URL>> applicationsInApplicationsFolders();

  // The processes of this machine that run an executable inside a bundle, in
  // process-number order; processes of other users that cannot be inspected
  // are left out.
  static std::vector<RunningApplication> runningApplications();
  static std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier);
};

}  // namespace fnd
