// Folder shortcuts on a temporary home: the extension election, the sidebar
// bookmarks, the dock's tiles and launcher, the folder icon.

#include "interface/client_services/afx_environment_setup_director.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/file_manager.h"
#include "foundation/user_defaults.h"
#include "interface/client_services/afx_extension_controller.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

class EnvironmentSetupDirectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    folder_ = sandbox_.root() + "/home/Korvia Apps";
    ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(folder_, true));
  }

  std::shared_ptr<fnd::URL> folder() const { return fnd::URL::fileURLWithPath(folder_, true); }

  // Runs the dock change off the main queue, as it must.
  bool changeDock(const fnd::URL& url, bool add, bool* completed) {
    bool answer = false;
    std::thread worker([&] {
      answer = AFXEnvironmentSetupDirector::changePersistanceOfShortcutInDockOfFolder(url, add, [completed] { *completed = true; });
    });
    worker.join();
    return answer;
  }

  std::vector<fnd::Value> tiles() const {
    auto dock = fnd::UserDefaults::create(AFXDockPreferencesDomain);
    (void)dock->synchronize();
    auto stored = dock->arrayForKey(AFXDockPersistentOthersKey);
    return stored ? stored->elements() : std::vector<fnd::Value>{};
  }

  unarchiver_test::Sandbox sandbox_;
  std::string folder_;
};

TEST_F(EnvironmentSetupDirectorTest, TheExtensionIsInUseOnlyWhenElectedSo) {
  auto extension = AFXExtensionController::initWithBundleID("com.korvia.DesktopClient.FinderSyncExt");
  EXPECT_EQ(extension.registryListing(), "");
  EXPECT_FALSE(extension.isExtensionEnabled());
  extension.setExtensionEnabled(true);
  EXPECT_TRUE(extension.isExtensionEnabled());
  EXPECT_EQ(extension.registryListing().front(), '+');
  extension.setExtensionEnabled(false);
  EXPECT_FALSE(extension.isExtensionEnabled());
  EXPECT_FALSE(AFXExtensionController::initWithURL(*fnd::URL::fileURLWithPath(folder_ + "/None.appex", true)));
}

TEST_F(EnvironmentSetupDirectorTest, TheSidebarGetsTheFolderFirstAndOnlyOnce) {
  const std::string bookmarks = AFXEnvironmentSetupDirector::sidebarBookmarksPath();
  ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(sandbox_.root() + "/home/.config/gtk-3.0", true));
  std::ofstream(bookmarks) << "file:///srv/music Music\nfile:///srv/photos\n";
  ASSERT_TRUE(AFXEnvironmentSetupDirector::addShortcutToFinderSidebar(folder()));
  ASSERT_TRUE(AFXEnvironmentSetupDirector::addShortcutToFinderSidebar(folder()));
  const std::string entry = folder()->absoluteString();
  EXPECT_EQ(unarchiver_test::readTextFile(bookmarks), entry + " Korvia\nfile:///srv/music Music\nfile:///srv/photos\n");
  EXPECT_NE(entry.find("Korvia%20Apps/"), std::string::npos);
  EXPECT_FALSE(AFXEnvironmentSetupDirector::addShortcutToFinderSidebar(nullptr));
}

TEST_F(EnvironmentSetupDirectorTest, ADockTileIsAddedFirstMovedOnReAddAndRemoved) {
  const std::string other = sandbox_.root() + "/home/Other";
  ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(other, true));
  bool completed = false;
  ASSERT_TRUE(changeDock(*folder(), true, &completed));
  EXPECT_TRUE(completed);
  ASSERT_TRUE(changeDock(*fnd::URL::fileURLWithPath(other, true), true, &completed));
  EXPECT_TRUE(AFXEnvironmentSetupDirector::persistanceOfShortcutInDockOfFolder(*folder()));
  auto before = tiles();
  ASSERT_EQ(before.size(), 2u);
  const std::string firstGUID = before[1].as<fnd::Dictionary>()->objectForKey("GUID").stringValue().value_or("");

  // Adding again moves the folder's tile to the front with a new GUID.
  ASSERT_TRUE(changeDock(*folder(), true, &completed));
  auto after = tiles();
  ASSERT_EQ(after.size(), 2u);
  auto tile = after[0].as<fnd::Dictionary>();
  ASSERT_TRUE(tile);
  EXPECT_NE(tile->objectForKey("GUID").stringValue(), firstGUID);
  EXPECT_EQ(tile->objectForKey("tile-type").stringValue(), "directory-tile");
  auto data = tile->objectForKey("tile-data").as<fnd::Dictionary>();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->objectForKey("file-label").stringValue(), "Korvia");
  EXPECT_TRUE(data->objectForKey("book").as<fnd::Data>());
  auto file = data->objectForKey("file-data").as<fnd::Dictionary>();
  ASSERT_TRUE(file);
  EXPECT_EQ(file->objectForKey("_CFURLString").stringValue(), folder()->absoluteString());
  const std::string launcher = AFXEnvironmentSetupDirector::dockLauncherPathForFolder(*folder());
  EXPECT_NE(unarchiver_test::readTextFile(launcher).find("Exec=xdg-open " + folder_), std::string::npos);

  ASSERT_TRUE(changeDock(*folder(), false, &completed));
  EXPECT_FALSE(AFXEnvironmentSetupDirector::persistanceOfShortcutInDockOfFolder(*folder()));
  EXPECT_EQ(tiles().size(), 1u);
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(launcher));
  // Removing again rewrites the list all the same.
  ASSERT_TRUE(changeDock(*folder(), false, &completed));

  // A folder that is not there has no bookmark: nothing changes, no completion.
  completed = false;
  EXPECT_FALSE(changeDock(*fnd::URL::fileURLWithPath(sandbox_.root() + "/missing", true), true, &completed));
  EXPECT_FALSE(completed);
  EXPECT_EQ(tiles().size(), 1u);
}

TEST_F(EnvironmentSetupDirectorTest, TheFolderGetsItsIcon) {
  const std::string icon = sandbox_.work() + "/KorviaFolder.png";
  std::ofstream(icon) << "png";
  ASSERT_TRUE(AFXEnvironmentSetupDirector::setFolderIcon(*folder(), icon));
  // Either the metadata store took it, or the folder names it itself.
  if (fnd::FileManager::defaultManager().fileExistsAtPath(folder_ + "/.directory")) {
    EXPECT_EQ(unarchiver_test::readTextFile(folder_ + "/.directory"), "[Desktop Entry]\nIcon=" + icon + "\n");
  }
}

}  // namespace
