// The reference desktop client's uninstaller, KorviaUninstaller in the
// bundle it removes: what "-silentLaunch" set up around the client (its
// agents stopped and removed, the applications folder's shortcuts taken
// back), the bundle, its activation files, its registration and its state
// folder, and nothing else.

#include <cstdio>

#include "desktop_client/afx_reference_client_installation.h"
#include "desktop_client/afx_reference_client_setup.h"
#include "foundation/bundle.h"
#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
#include "foundation/search_paths.h"
#include "foundation/url.h"
#include "interface/logging/afx_setup_logger.h"
#include "logging/dd_log.h"

int main() {
  const auto bundle = fnd::Bundle::mainBundle();
  const std::string path = bundle->bundlePath();
  if (!bundle->bundleIdentifier().starts_with("com.korvia.DesktopClient")) {
    std::fprintf(stderr, "Not inside the desktop client's bundle: %s\n", path.c_str());
    return 64;
  }
  AFXSetupLogger("KorviaUninstaller");
  int status = 0;
  // First, while the bundle still names the agents and the icon.
  const AFXReferenceClientSetup setup(
      fnd::URL::fileURLWithPath(fnd::SearchPaths::path(fnd::SearchPathLocation::applications), true),
      AFXReferenceClientStateFolder());
  for (const auto& problem : setup.undo()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    status = 1;
  }
  if (auto removed = AFXReferenceClientRemoveActivationFiles(); !removed) {
    std::fprintf(stderr, "%s\n", removed.error().description().c_str());
    status = 1;
  }
  (void)fnd::LaunchServices::unregisterURL(*fnd::URL::fileURLWithPath(path, true));
  for (const std::string& item : {AFXReferenceClientStateFolder(), path}) {
    if (!fnd::FileManager::defaultManager().fileExistsAtPath(item)) continue;
    if (auto removed = fnd::FileManager::defaultManager().removeItemAtPath(item); !removed) {
      std::fprintf(stderr, "%s\n", removed.error().description().c_str());
      status = 1;
    }
  }
  DDLog::flushLog();
  return status;
}
