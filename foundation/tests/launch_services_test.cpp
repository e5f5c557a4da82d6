#include "foundation/launch_services.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/workspace.h"

namespace fnd {
namespace {

// A system root, home and data folder of the test's own.
class LaunchServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/korvia-launchservices-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    set("KORVIA_SYSTEM_ROOT", root_ + "/system");
    set("HOME", root_ + "/home");
    set("XDG_DATA_HOME", root_ + "/home/.local/share");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    (void)FileManager::defaultManager().removeItemAtPath(root_);
  }
  void set(const std::string& name, const std::string& value) {
    const char* previous = std::getenv(name.c_str());
    saved_.emplace(name, previous ? std::optional<std::string>(previous) : std::nullopt);
    ::setenv(name.c_str(), value.c_str(), 1);
  }

  // A bundle whose executable is `program` (copied) or a script.
  std::string makeBundle(const std::string& path, const std::string& identifier,
                         const std::string& program = "") {
    const auto& files = FileManager::defaultManager();
    EXPECT_TRUE(files.createDirectoryAtPath(path + "/Contents/MacOS", true));
    std::ofstream(path + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>" << identifier << "</string>"
        << "<key>CFBundleExecutable</key><string>Run</string></dict></plist>\n";
    const std::string executable = path + "/Contents/MacOS/Run";
    if (program.empty()) {
      std::ofstream(executable) << "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > '" << root_ << "/opened.txt'\n";
      ::chmod(executable.c_str(), 0755);
    } else {
      EXPECT_TRUE(files.copyItemAtPath(program, executable));
    }
    return path;
  }

  std::vector<std::string> paths(const std::vector<std::shared_ptr<URL>>& urls) const {
    std::vector<std::string> result;
    for (const auto& url : urls) result.push_back(url->path().substr(root_.size()));
    return result;
  }

  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(LaunchServicesTest, RegisteredCopiesComeFirstNewestFirstThenTheApplicationsFolders) {
  makeBundle(root_ + "/system/Applications/Korvia.app", "com.korvia.DesktopClient");
  makeBundle(root_ + "/home/Applications/Korvia.app", "com.korvia.DesktopClient");
  makeBundle(root_ + "/system/Applications/Utilities/Korvia Helper.app", "com.korvia.DesktopClient");
  makeBundle(root_ + "/system/Applications/Other.app", "com.korvia.Other");
  const auto build = makeBundle(root_ + "/home/build/Korvia.app", "com.korvia.DesktopClient");
  const auto older = makeBundle(root_ + "/home/older/Korvia.app", "com.korvia.desktopclient");

  EXPECT_EQ(paths(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.DesktopClient")),
            (std::vector<std::string>{"/system/Applications/Korvia.app",
                                      "/system/Applications/Utilities/Korvia Helper.app",
                                      "/home/Applications/Korvia.app"}));

  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(older, true), false));
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(build, true), false));
  // Registering a copy found by the scan does not list it twice.
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(root_ + "/home/Applications/Korvia.app"), false));
  EXPECT_EQ(paths(LaunchServices::URLsForApplicationsWithBundleIdentifier("COM.KORVIA.DESKTOPCLIENT")),
            (std::vector<std::string>{"/home/Applications/Korvia.app", "/home/build/Korvia.app",
                                      "/home/older/Korvia.app", "/system/Applications/Korvia.app",
                                      "/system/Applications/Utilities/Korvia Helper.app"}));

  // Without update a registered copy keeps its place; with it, it is newest.
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(older, true), false));
  EXPECT_EQ(paths(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.DesktopClient"))[0],
            "/home/Applications/Korvia.app");
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(older, true), true));
  EXPECT_EQ(paths(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.DesktopClient"))[0],
            "/home/older/Korvia.app");

  EXPECT_EQ(paths(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.Other")),
            std::vector<std::string>{"/system/Applications/Other.app"});
  EXPECT_TRUE(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.Unknown").empty());
  EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(root_ +
                                                             "/home/.local/share/korvia-launchservices/registry.sqlite3"));
}

TEST_F(LaunchServicesTest, RecordsOfRemovedOrChangedBundlesDoNotCount) {
  const auto gone = makeBundle(root_ + "/home/gone/Korvia.app", "com.korvia.DesktopClient");
  const auto changed = makeBundle(root_ + "/home/changed/Korvia.app", "com.korvia.DesktopClient");
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(gone, true), false));
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(changed, true), false));
  ASSERT_TRUE(FileManager::defaultManager().removeItemAtPath(gone));
  makeBundle(changed, "com.korvia.Renamed");
  EXPECT_TRUE(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.DesktopClient").empty());

  ASSERT_TRUE(LaunchServices::unregisterURL(*URL::fileURLWithPath(changed, true)));
  ASSERT_TRUE(LaunchServices::registerURL(*URL::fileURLWithPath(changed, true), false));
  EXPECT_EQ(LaunchServices::URLsForApplicationsWithBundleIdentifier("com.korvia.Renamed").size(), 1u);
}

TEST_F(LaunchServicesTest, OnlyBundlesWithAnIdentifierRegister) {
  auto missing = LaunchServices::registerURL(*URL::fileURLWithPath(root_ + "/nowhere.app", true), true);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().is(NSOSStatusErrorDomain, kLSApplicationNotFoundErr));
  ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(root_ + "/Plain.app/Contents", true));
  auto plain = LaunchServices::registerURL(*URL::fileURLWithPath(root_ + "/Plain.app", true), true);
  ASSERT_FALSE(plain);
  EXPECT_TRUE(plain.error().is(NSOSStatusErrorDomain, kLSApplicationNotFoundErr));
}

TEST_F(LaunchServicesTest, RunningApplicationsAreProcessesOfBundleExecutables) {
  const auto app = makeBundle(root_ + "/home/Applications/Sleeper.app", "com.korvia.Sleeper", "/bin/sleep");
  ProcessLaunchOptions options;
  options.executablePath = app + "/Contents/MacOS/Run";
  options.arguments = {"30"};
  auto process = Process::launch(options);
  ASSERT_TRUE(process) << process.error().description();
  auto running = LaunchServices::runningApplicationsWithBundleIdentifier("com.korvia.sleeper");
  (*process)->kill();
  (void)(*process)->waitUntilExit();

  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(running[0].processIdentifier, (*process)->processIdentifier());
  EXPECT_EQ(running[0].bundleIdentifier, "com.korvia.Sleeper");
  EXPECT_EQ(running[0].bundleURL->path(), app);
  EXPECT_EQ(running[0].executableURL->path(), app + "/Contents/MacOS/Run");
  EXPECT_TRUE(LaunchServices::runningApplicationsWithBundleIdentifier("com.korvia.Sleeper").empty());
  // This test program is no bundle.
  const auto all = LaunchServices::runningApplications();
  EXPECT_TRUE(std::none_of(all.begin(), all.end(), [](const RunningApplication& a) {
    return a.processIdentifier == ::getpid();
  }));
}

TEST_F(LaunchServicesTest, WorkspaceOpensURLsWithAGivenApplication) {
  const auto app = makeBundle(root_ + "/system/Applications/Korvia.app", "com.korvia.DesktopClient");
  const auto url = URL::URLWithString("korvia://open/app?id=246");
  auto launched = Workspace::launchApplicationAtURLForURL(*URL::fileURLWithPath(app, true), *url);
  ASSERT_TRUE(launched) << launched.error().description();
  EXPECT_EQ((*launched)->waitUntilExit().status, 0);
  std::ifstream record(root_ + "/opened.txt");
  std::string line;
  std::getline(record, line);
  EXPECT_EQ(line, "1|korvia://open/app?id=246");

  auto found = Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier("com.korvia.DesktopClient");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->path(), app);
  EXPECT_EQ(Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier("com.korvia.None"), nullptr);

  auto missing = Workspace::launchApplicationAtURLForURL(*URL::fileURLWithPath(root_ + "/None.app", true), *url);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().is(NSOSStatusErrorDomain, kLSApplicationNotFoundErr));
  EXPECT_FALSE(Workspace::sharedWorkspace().openURL(*url, *URL::fileURLWithPath(root_ + "/None.app", true)));
}

}  // namespace
}  // namespace fnd
