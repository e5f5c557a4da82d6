#pragma once

// What "-silentLaunch" sets up around the client besides its activation
// files, and what the uninstaller takes away again:
//   - the environment's apps folder made easy to reach: the set-up
//     director's folder icon, file-manager extension switch and sidebar
//     bookmark, and the folder's dock tile with its launcher;
//   - the background agents the bundle carries in
//     Contents/Library/LaunchServices, installed for the user and started
//     by the service manager.
// The folders the set-up had to make, the files it made and a folder
// settings file it replaced are kept in a receipt in the state folder, so
// the undo removes what it made (folders once empty) and puts back what it
// replaced, and nothing else. A service manager that cannot start an agent
// (no user manager runs in a container) is logged by AFXAgent and does not
// fail the set-up.
//
// The client is the running program's bundle (the set-up director reads the
// icon and the extension from there too). Everything blocks the caller; the
// dock change, which must not run on the main queue, runs on a global queue
// and is waited for.

#include <memory>
#include <string>
#include <vector>

#include "foundation/bundle.h"
#include "foundation/url.h"
#include "interface/client_services/afx_agent.h"

inline constexpr std::string_view AFXReferenceClientSetupReceiptName = "setup-receipt.plist";
// The label the set-up director gives the folder's sidebar bookmark.
inline constexpr std::string_view AFXReferenceClientBookmarkLabel = "Korvia";

class AFXReferenceClientSetup {
 public:
  AFXReferenceClientSetup(std::shared_ptr<fnd::URL> appsFolder, std::string stateFolder);

  // The agent bundles of the client, by file name.
  std::vector<AFXAgent> agents() const;
  std::string receiptPath() const { return stateFolder_ + "/" + std::string(AFXReferenceClientSetupReceiptName); }
  // The client's folder icon; empty when the bundle has none.
  std::string folderIconPath() const;

  // What went wrong, in words, for the caller to print; no failure stops
  // the other steps.
  std::vector<std::string> setUp() const;
  std::vector<std::string> undo() const;

  // The sidebar bookmarks without the client's line for `folderURL`.
  static std::string bookmarksWithoutFolder(const std::string& bookmarks, const fnd::URL& folderURL);

 private:
  struct Receipt;
  void installAgents(std::vector<std::string>& problems) const;
  void removeAgents(std::vector<std::string>& problems) const;
  void removeFolderIcon(const Receipt& receipt, std::vector<std::string>& problems) const;
  std::string folderSettingsPath() const;
  std::string folderSettingsText() const;

  const std::shared_ptr<fnd::Bundle> clientBundle_;
  const std::shared_ptr<fnd::URL> appsFolder_;
  const std::string stateFolder_;
};
