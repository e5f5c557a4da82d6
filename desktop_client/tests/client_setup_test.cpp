// The client's "-silentLaunch" on a temporary home and system root: the
// applications folder's shortcuts and the background agent it sets up, with a
// stand-in service manager, and the uninstaller leaving every folder as it
// found it.

#include <gtest/gtest.h>

#include <algorithm>

#include "desktop_client/afx_reference_client_installation.h"
#include "desktop_client/afx_reference_client_setup.h"
#include "desktop_client/tests/client_process_support.h"
#include "devtools/ipc_echo/tests/private_bus.h"
#include "interface/client_services/afx_environment_setup_director.h"
#include "interface/client_services/afx_extension_controller.h"

namespace {

namespace fs = std::filesystem;
using client_test::text;
using unarchiver_test::readTextFile;

constexpr std::string_view kAgentUnit = "com.korvia.DesktopClient.KorviaAgent.service";
constexpr std::string_view kExtensionID = "com.korvia.DesktopClient.FinderSyncExt";

class ClientSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_BUS();
    auto& sandbox = client_.sandbox;
    sandbox.set("KORVIA_DBUS_SERVICES_DIR", ipc_echo_testing::PrivateBus::shared().root + "/services");
    // A service manager that remembers what it started; with the file
    // "manager.fails" it fails as systemctl does where no user manager runs.
    const std::string root = sandbox.root();
    client_test::writeScript(root + "/manager",
                             "echo \"$*\" >> '" + root + "/manager.log'\n"
                             "case \"$*\" in\n"
                             "  *is-active*) test -e '" + root + "/manager.started' ;;\n"
                             "  *enable*) test -e '" + root + "/manager.fails' && exit 1; touch '" + root + "/manager.started' ;;\n"
                             "  *disable*) rm -f '" + root + "/manager.started'; test ! -e '" + root + "/manager.fails' ;;\n"
                             "esac\n");
    sandbox.set("KORVIA_SERVICE_MANAGER_COMMAND", root + "/manager");
    // No file-manager metadata here, wherever the test runs: the folder's
    // icon goes into its settings file.
    fs::create_directories(root + "/bin");
    client_test::writeScript(root + "/bin/gio", "exit 1\n");
    sandbox.set("PATH", root + "/bin:" + fnd::environmentValue("PATH").value_or("/usr/bin:/bin"));
  }

  // Everything the client, its agent and its uninstaller may write, but the
  // preference databases (asked through their own readers below) and the
  // registry of Launch Services, which keeps its file.
  unarchiver_test::Tree snapshot() const {
    unarchiver_test::Tree tree;
    for (const auto& [path, item] : unarchiver_test::snapshot(client_.dataHome())) {
      if (!path.starts_with("korvia-launchservices")) tree.emplace("data/" + path, item);
    }
    for (const auto& [path, item] : unarchiver_test::snapshot(client_.configHome())) {
      if (!path.starts_with("korvia-defaults")) tree.emplace("config/" + path, item);
    }
    for (const auto& [path, item] : unarchiver_test::snapshot(client_.applications())) tree.emplace("apps/" + path, item);
    return tree;
  }

  // The installed client with a file-manager extension, as a client that
  // carries one is.
  void installClientWithExtension() const {
    client_.installClient();
    const std::string extension = client_.installedClient() + "/Contents/PlugIns/FinderSyncExt.appex/Contents";
    fs::create_directories(extension);
    std::ofstream(extension + "/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>" << kExtensionID << "</string></dict></plist>\n";
  }

  fnd::ProcessTermination silentLaunch() const {
    auto ended = client_.run("Korvia", {"-silentLaunch"});
    EXPECT_EQ(ended.status, 0) << text(ended.standardError);
    return ended;
  }
  fnd::ProcessTermination uninstall() const {
    auto ended = client_.run("KorviaUninstaller");
    EXPECT_EQ(ended.status, 0) << text(ended.standardError);
    return ended;
  }

  std::shared_ptr<fnd::URL> appsFolder() const { return fnd::URL::fileURLWithPath(client_.applications(), true); }
  std::string bookmarks() const { return readTextFile(AFXEnvironmentSetupDirector::sidebarBookmarksPath()); }
  std::string bookmarkLine() const { return "file://" + client_.applications() + "/ Korvia\n"; }
  std::string unitFile() const { return client_.configHome() + "/systemd/user/" + std::string(kAgentUnit); }
  std::string installedAgent() const { return client_.stateFolder() + "/LaunchAgents/KorviaAgent.app"; }
  std::string managerLog() const { return readTextFile(client_.sandbox.root() + "/manager.log"); }
  std::size_t managerCalls() const {
    const std::string log = managerLog();
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
  }

  client_test::ClientSandbox client_;
};

TEST_F(ClientSetupTest, SilentLaunchGivesTheFolderItsShortcutsAndStartsTheAgent) {
  const auto untouched = snapshot();
  installClientWithExtension();
  silentLaunch();

  EXPECT_EQ(bookmarks(), bookmarkLine());
  const std::string launcher = AFXEnvironmentSetupDirector::dockLauncherPathForFolder(*appsFolder());
  EXPECT_TRUE(launcher.starts_with(client_.dataHome() + "/applications/")) << launcher;
  EXPECT_NE(readTextFile(launcher).find("Exec=xdg-open " + client_.applications() + "\n"), std::string::npos);
  EXPECT_TRUE(AFXEnvironmentSetupDirector::persistanceOfShortcutInDockOfFolder(*appsFolder()));
  EXPECT_EQ(readTextFile(client_.applications() + "/.directory"),
            "[Desktop Entry]\nIcon=" + client_.installedClient() + "/Contents/Resources/KorviaFolder.svg\n");
  EXPECT_TRUE(AFXExtensionController::initWithBundleID(std::string(kExtensionID)).isExtensionEnabled());

  // The agent runs from its installed copy, started by the service manager.
  const std::string executable = installedAgent() + "/Contents/MacOS/KorviaAgent";
  EXPECT_TRUE(fs::exists(executable));
  EXPECT_NE(readTextFile(unitFile()).find("ExecStart=\"" + executable + "\" \"-xpcServer\"\n"), std::string::npos)
      << readTextFile(unitFile());
  EXPECT_NE(readTextFile(client_.configHome() + "/systemd/user/com.korvia.DesktopClient.KorviaAgent.plist").find(executable),
            std::string::npos);
  EXPECT_NE(managerLog().find("--user enable --now " + std::string(kAgentUnit) + "\n"), std::string::npos) << managerLog();

  // Started again, the client leaves a running agent of its version alone
  // and the folder's entries single.
  const std::size_t calls = managerCalls();
  silentLaunch();
  EXPECT_EQ(bookmarks(), bookmarkLine());
  EXPECT_EQ(managerLog().find("disable"), std::string::npos) << managerLog();
  EXPECT_EQ(managerCalls(), calls + 1) << managerLog();

  uninstall();
  EXPECT_NE(managerLog().find("--user disable --now " + std::string(kAgentUnit) + "\n"), std::string::npos) << managerLog();
  EXPECT_FALSE(AFXEnvironmentSetupDirector::persistanceOfShortcutInDockOfFolder(*appsFolder()));
  EXPECT_EQ(AFXExtensionController::initWithBundleID(std::string(kExtensionID)).registryListing(), "");
  // The bookmarks file, the launcher, the agent's unit and copy, and the
  // folders made for them are gone.
  EXPECT_EQ(unarchiver_test::describe(snapshot()), unarchiver_test::describe(untouched));
}

TEST_F(ClientSetupTest, UninstallingKeepsWhatTheUserHadAndPutsBackTheFolderSettings) {
  const std::string userBookmarks = "file:///srv/projects Projects\nsftp://build.example.test/ Build\n";
  fs::create_directories(fs::path(AFXEnvironmentSetupDirector::sidebarBookmarksPath()).parent_path());
  std::ofstream(AFXEnvironmentSetupDirector::sidebarBookmarksPath()) << userBookmarks;
  std::ofstream(client_.applications() + "/.directory") << "[Desktop Entry]\nIcon=folder-blue\n";
  fs::create_directories(client_.dataHome() + "/applications");
  std::ofstream(client_.dataHome() + "/applications/editor.desktop") << "[Desktop Entry]\nName=Editor\n";
  fs::create_directories(client_.configHome() + "/systemd/user");
  const auto untouched = snapshot();
  client_.installClient();

  silentLaunch();
  const std::string withClient = bookmarks();
  EXPECT_TRUE(withClient.starts_with(bookmarkLine())) << withClient;
  EXPECT_NE(withClient.find("file:///srv/projects Projects\n"), std::string::npos) << withClient;
  EXPECT_NE(readTextFile(client_.applications() + "/.directory").find("KorviaFolder.svg"), std::string::npos);

  uninstall();
  EXPECT_EQ(bookmarks(), userBookmarks);
  EXPECT_EQ(readTextFile(client_.applications() + "/.directory"), "[Desktop Entry]\nIcon=folder-blue\n");
  EXPECT_EQ(unarchiver_test::describe(snapshot()), unarchiver_test::describe(untouched));
}

TEST_F(ClientSetupTest, WithoutAUserServiceManagerTheFailureIsLoggedAndTheClientStillStarts) {
  std::ofstream(client_.sandbox.root() + "/manager.fails");
  const auto untouched = snapshot();
  client_.installClient();
  const auto ended = silentLaunch();
  EXPECT_NE(text(ended.standardError).find("Did fail to perform task enable --now " + std::string(kAgentUnit)),
            std::string::npos)
      << text(ended.standardError);
  // Installed all the same, for a service manager that comes later.
  EXPECT_TRUE(fs::exists(unitFile()));
  EXPECT_TRUE(fs::exists(installedAgent() + "/Contents/MacOS/KorviaAgent"));
  for (const auto& file : AFXReferenceClientActivationFiles()) EXPECT_TRUE(fs::exists(file)) << file;

  // Stopping fails too; what was installed goes anyway.
  const auto removed = client_.run("KorviaUninstaller");
  EXPECT_EQ(removed.status, 0) << text(removed.standardError);
  EXPECT_NE(text(removed.standardError).find("Did fail to perform task disable --now"), std::string::npos);
  EXPECT_EQ(unarchiver_test::describe(snapshot()), unarchiver_test::describe(untouched));
}

TEST(ClientSetupBookmarksTest, OnlyTheClientsLineForTheFolderGoes) {
  const auto folder = fnd::URL::fileURLWithPath("/sys root/Applications", true);
  const std::string ours = folder->absoluteString();
  const std::string withSlash = ours.ends_with('/') ? ours : ours + "/";
  const std::string bookmarks = withSlash + " Korvia\n" + withSlash + " Mine\n" + "file:///elsewhere/ Korvia\n" + withSlash +
                                "\n" + "file:///other Other\n";
  EXPECT_EQ(AFXReferenceClientSetup::bookmarksWithoutFolder(bookmarks, *folder),
            withSlash + " Mine\n" + "file:///elsewhere/ Korvia\n" + withSlash + "\n" + "file:///other Other\n");
  EXPECT_EQ(AFXReferenceClientSetup::bookmarksWithoutFolder(withSlash + " Korvia", *folder), "");
}

}  // namespace
