#include "interface/placement/afx_desktop_client_discovery.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
#include "foundation/user_defaults.h"
#include "interface/apps_management/model/afx_file_reference_url.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

constexpr const char* kClient = "com.korvia.DesktopClient";

std::string lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class DesktopClientDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config"); }

  std::string system(const std::string& path) const { return sandbox_.root() + "/system" + path; }
  std::string home(const std::string& path) const { return sandbox_.root() + "/home" + path; }

  // A copy of the client, registered so Launch Services lists it first.
  std::string makeClient(const std::string& path) {
    EXPECT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(path + "/Contents", true));
    std::ofstream(path + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>" << kClient << "</string></dict></plist>\n";
    EXPECT_TRUE(fnd::LaunchServices::registerURL(*fnd::URL::fileURLWithPath(path, true), true));
    return path;
  }

  static std::string pathOf(const std::shared_ptr<fnd::URL>& url) { return url ? url->path() : "(none)"; }

  Sandbox sandbox_;
};

TEST_F(DesktopClientDiscoveryTest, PickGoesByLocationNotByListOrder) {
  makeClient(home("/elsewhere/Korvia.app"));
  makeClient(home("/.local/share/Korvia/Korvia.app"));
  EXPECT_EQ(pathOf(AFXPickBestDesktopClientURL()), home("/.local/share/Korvia/Korvia.app"));
  makeClient(home("/Applications/Korvia.app"));
  EXPECT_EQ(pathOf(AFXPickBestDesktopClientURL()), home("/Applications/Korvia.app"));
  makeClient(system("/Applications/Korvia.app"));
  makeClient(home("/Applications/Korvia 2.app"));  // now listed first
  EXPECT_EQ(pathOf(AFXPickBestDesktopClientURL()), system("/Applications/Korvia.app"));
}

TEST_F(DesktopClientDiscoveryTest, CopiesInTheTrashAreNotCounted) {
  makeClient(home("/.local/share/Trash/files/Korvia.app"));
  makeClient(sandbox_.root() + "/home/.Trash/Korvia.app");
  makeClient(sandbox_.root() + "/system/Volumes/Disk/.Trash-1000/files/Korvia.app");
  EXPECT_FALSE(AFXCheckIfAppWithBundleIDInstalled(kClient));
  EXPECT_EQ(AFXPickBestDesktopClientURL(), nullptr);
}

TEST_F(DesktopClientDiscoveryTest, BuildFoldersCountOnlyWhenNothingIsIgnored) {
  makeClient(home("/Library/Developer/Xcode/DerivedData/Korvia-abc/Build/Products/Debug/Korvia.app"));
  EXPECT_FALSE(AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(kClient, AFXDetectIgnoredPathsForDesktopClient()));
  EXPECT_TRUE(AFXCheckIfAppWithBundleIDInstalled(kClient));

  // The developer tool's own setting moves its build folder.
  auto settings = fnd::UserDefaults::create("com.apple.dt.Xcode");
  ASSERT_TRUE(settings);
  ASSERT_TRUE(settings->setObject(fnd::Value(home("/Builds")), "IDECustomDerivedDataLocation"));
  const auto ignored = AFXDetectIgnoredPathsForDesktopClient();
  ASSERT_FALSE(ignored.empty());
  EXPECT_EQ(ignored.front(), lower(home("/Builds")));
  makeClient(home("/Builds/Korvia/Korvia.app"));
  const auto counted = AFXURLsForAppWithBundleIDIgnoringPaths(kClient, ignored);
  ASSERT_EQ(counted.size(), 1u);
  EXPECT_TRUE(counted[0]->path().starts_with(home("/Library/Developer/Xcode/DerivedData/")));
}

TEST_F(DesktopClientDiscoveryTest, VolumesAndLibraryAreIgnoredForTheInstallersCheck) {
  makeClient(system("/Volumes/Korvia Installer/KORVIA.app"));
  makeClient(system("/Library/Korvia/Korvia.app"));
  EXPECT_FALSE(AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(kClient, AFXDetectIgnoredPathsForDesktopClient()));
  // The general list keeps mounted volumes.
  EXPECT_EQ(AFXURLsForAppWithBundleIDIgnoringPaths(kClient, AFXDetectIgnoredPaths()).size(), 1u);
  EXPECT_EQ(AFXURLsForAppWithBundleIDIgnoringPaths(kClient, std::nullopt).size(), 2u);

  const std::string volumes = system("/Volumes");
  const std::string lowered = lower(volumes + "/DISK/KORVIA.APP");
  EXPECT_TRUE(_AFXShouldIgnorePath(lowered, AFXDetectIgnoredPathsForDesktopClient()));
  EXPECT_FALSE(_AFXShouldIgnorePath(lowered, std::nullopt));
  EXPECT_FALSE(_AFXShouldIgnorePath(lowered, std::vector<std::string>{}));
}

TEST_F(DesktopClientDiscoveryTest, BackupsAreLost) {
  const auto& files = fnd::FileManager::defaultManager();
  makeClient(home("/Backups.backupdb/Mac/2024/Korvia.app"));
  makeClient(home("/versions/Project.wrp1/Korvia.app"));
  EXPECT_FALSE(AFXCheckIfAppWithBundleIDInstalled(kClient));

  const std::string numbered = makeClient(home("/versions/Other.wrpx/Korvia.app"));
  EXPECT_FALSE(inBackup(*fnd::URL::fileURLWithPath(numbered)));
  EXPECT_FALSE(inBackup(*fnd::URL::fileURLWithPath(makeClient(home("/versions/Zero.wrp01/Korvia.app")))));
  EXPECT_TRUE(AFXCheckIfAppWithBundleIDInstalled(kClient));

  const std::string cloned = makeClient(home("/Clone/Apps/Korvia.app"));
  EXPECT_FALSE(inBackup(*fnd::URL::fileURLWithPath(cloned)));
  ASSERT_TRUE(files.createDirectoryAtPath(home("/Clone/_CCC SafetyNet"), true));
  EXPECT_TRUE(inBackup(*fnd::URL::fileURLWithPath(cloned)));
  EXPECT_TRUE(isLostForMonitoring(*fnd::URL::fileURLWithPath(cloned)));
}

TEST_F(DesktopClientDiscoveryTest, DetectionDropsHiddenNestedAndIgnoredCopies) {
  const std::string plain = makeClient(system("/Applications/Korvia.app"));
  const std::string hidden = makeClient(system("/Applications/.staging/Korvia.app"));
  const std::string host = makeClient(home("/Applications/Host.app"));
  const std::string nested = makeClient(host + "/Contents/Helpers/Korvia.app");
  const std::string ignored = makeClient(home("/Builds/Korvia.app"));
  auto paths = [](const std::vector<std::shared_ptr<fnd::URL>>& urls) {
    std::vector<std::string> result;
    for (const auto& url : urls) result.push_back(url->path());
    std::sort(result.begin(), result.end());
    return result;
  };
  const std::vector<std::string> ignoring{home("/BUILDS")};
  auto expected = std::vector<std::string>{plain, host};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths(AFXDetectAppURLsWithIgnoredPaths({kClient}, ignoring, false)), expected);
  expected.push_back(nested);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths(AFXDetectAppURLsWithIgnoredPaths({kClient}, ignoring, true)), expected);
  // One identifier named twice lists its copies twice; unknown ones add nothing.
  auto all = AFXDetectAppURLsWithPredicate({kClient, "com.example.unknown", kClient},
                                           [](const fnd::URL&) { return true; });
  EXPECT_EQ(all.size(), 10u);
  const auto listed = paths(all);
  EXPECT_NE(std::find(listed.begin(), listed.end(), hidden), listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), ignored), listed.end());
}

}  // namespace
