// The reference desktop client's uninstaller, KorviaUninstaller in the
// bundle it removes: the bundle, its activation files, its registration and
// its state folder, and nothing else.

#include <cstdio>

#include "desktop_client/afx_reference_client_installation.h"
#include "foundation/bundle.h"
#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
#include "foundation/url.h"

int main() {
  const auto bundle = fnd::Bundle::mainBundle();
  const std::string path = bundle->bundlePath();
  if (!bundle->bundleIdentifier().starts_with("com.korvia.DesktopClient")) {
    std::fprintf(stderr, "Not inside the desktop client's bundle: %s\n", path.c_str());
    return 64;
  }
  int status = 0;
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
  return status;
}
