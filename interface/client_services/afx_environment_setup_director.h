#pragma once

// Making an environment's apps folder easy to reach: the product's folder
// icon, the client's file-manager extension switched on, an entry in the
// file manager's sidebar and, on request, a tile for it in the dock.
//
// On Linux the icon is the folder's "metadata::custom-icon" (through `gio`),
// or a ".directory" file where that cannot be set; the sidebar is the GTK
// bookmarks file; a dock tile is the entry of "persistent-others" in the
// "com.apple.dock" preferences, as the client reads them, plus a launcher
// in $XDG_DATA_HOME/applications that opens the folder. Everything blocks
// the caller.

#include <functional>
#include <memory>

#include "foundation/url.h"

inline constexpr std::string_view AFXDockPreferencesDomain = "com.apple.dock";
inline constexpr std::string_view AFXDockPersistentOthersKey = "persistent-others";
inline constexpr std::string_view AFXFolderIconResourceName = "KorviaFolder";

class AFXEnvironmentSetupDirector {
 public:
  AFXEnvironmentSetupDirector() = delete;

  // True when the bookmarks list could be read or made.
  static bool addShortcutToFinderSidebar(const std::shared_ptr<fnd::URL>& folderURL);
  static bool persistanceOfShortcutInDockOfFolder(const fnd::URL& folderURL);
  // Not on the main queue. False, with nothing changed and no completion,
  // when the folder has no bookmark data (it does not exist).
  static bool changePersistanceOfShortcutInDockOfFolder(const fnd::URL& folderURL, bool add,
                                                        const std::function<void()>& completion);
  // Icon, extension, sidebar; the dock is left alone.
  static void installShortcutsToFolder(const fnd::URL& folderURL, const std::function<void(double)>& progressHandler);

  // The pieces, for the steps above and their tests.
  static bool setFolderIcon(const fnd::URL& folderURL, const std::string& iconPath);
  static std::string sidebarBookmarksPath();
  static std::string dockLauncherPathForFolder(const fnd::URL& folderURL);
};
