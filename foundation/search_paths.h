#pragma once

// Where the macOS locations the system names live on Linux. The absolute ones
// ("/Applications", "/Library", ...) sit under the system root
// $KORVIA_SYSTEM_ROOT (default "/"); the user's folders follow XDG. The
// environment is read at every call, so tests can move everything into a
// temporary folder.

#include <string>
#include <string_view>

namespace fnd {

enum class SearchPathLocation {
  applications,            // "/Applications"
  library,                 // "/Library"
  volumes,                 // "/Volumes"
  usersShared,             // "/Users/Shared"
  varFolders,              // "/var/folders"
  userApplicationSupport,  // "~/Library/Application Support" → $XDG_DATA_HOME
  userCaches,              // "~/Library/Caches" → $XDG_CACHE_HOME
  userLogs,                // "~/Library/Logs" → $XDG_STATE_HOME
  userApplications,        // "~/Applications"
  userPreferences,         // "~/Library/Preferences" → $XDG_CONFIG_HOME
  temporary,               // $TMPDIR or "/tmp"
};

class SearchPaths {
 public:
  static std::string path(SearchPathLocation location);
  // Maps a path that starts with one of the locations onto its Linux place;
  // other absolute paths are left alone and other "~/" paths go under $HOME.
  static std::string resolve(std::string_view macPath);

  static std::string systemRoot();
  static std::string homeDirectory();
};

}  // namespace fnd
