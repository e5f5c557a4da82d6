// Placement on a temporary system root: attributes carried over, permissions
// opened, failures and crashes at every step leaving the old or the new
// bundle whole at the destination, and the install road from an archive.

#include "interface/placement/afx_put_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
#include "foundation/search_paths.h"
#include "interface/errors/afx_errors.h"
#include "interface/placement/afx_permissions.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

class AFXPutAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_STATE_HOME", sandbox_.root() + "/home/.local/state");
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    // A metadata importer that notes what it was asked to import.
    const std::string bin = sandbox_.root() + "/bin";
    ::mkdir(bin.c_str(), 0755);
    std::ofstream(bin + "/mdimport") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << sandbox_.root() << "/imported.txt'\n";
    ::chmod((bin + "/mdimport").c_str(), 0755);
    const char* path = std::getenv("PATH");
    sandbox_.set("PATH", bin + ":" + (path ? path : "/usr/bin:/bin"));
    applications_ = fnd::SearchPaths::path(fnd::SearchPathLocation::applications);
    DDLog::addLogger(logger_);
  }
  void TearDown() override { DDLog::removeLogger(logger_); }

  // A bundle with a private executable, a readable resource and a version
  // text that tells old and new copies apart.
  std::string makeBundle(const std::string& path, const std::string& version) const {
    const auto& files = fnd::FileManager::defaultManager();
    EXPECT_TRUE(files.createDirectoryAtPath(path + "/Contents/MacOS", true));
    EXPECT_TRUE(files.createDirectoryAtPath(path + "/Contents/Resources/.hidden", true));
    std::ofstream(path + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>com.example.Chronofold</string>"
        << "<key>CFBundleExecutable</key><string>Chronofold</string></dict></plist>\n";
    std::ofstream(path + "/Contents/MacOS/Chronofold") << "#!/bin/sh\n";
    ::chmod((path + "/Contents/MacOS/Chronofold").c_str(), 0700);
    std::ofstream(path + "/Contents/Resources/version.txt") << version;
    ::chmod((path + "/Contents/Resources/version.txt").c_str(), 0644);
    std::ofstream(path + "/Contents/Resources/.hidden/note") << "n";
    ::chmod((path + "/Contents/Resources/.hidden/note").c_str(), 0600);
    return path;
  }

  // The bundle at the destination is whole, and which one it is.
  std::string versionAt(const std::string& path) const {
    if (!fnd::FileManager::defaultManager().fileExistsAtPath(path + "/Contents/Info.plist")) return "none";
    if (!fnd::FileManager::defaultManager().fileExistsAtPath(path + "/Contents/MacOS/Chronofold")) return "broken";
    return readTextFile(path + "/Contents/Resources/version.txt");
  }

  static std::shared_ptr<fnd::URL> url(const std::string& path) { return fnd::URL::fileURLWithPath(path, true); }

  Sandbox sandbox_;
  std::string applications_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(AFXPutAppTest, PermissionsGainTheOwnersBitsAndLoseNone) {
  const std::string app = makeBundle(sandbox_.work() + "/Chronofold.app", "1");
  ::chmod((app + "/Contents/Resources/version.txt").c_str(), 04744);
  ASSERT_TRUE(AFXFixPermissionsRecursive(*url(app)));
  EXPECT_EQ(modeOf(app + "/Contents/MacOS/Chronofold"), 0777u);
  EXPECT_EQ(modeOf(app + "/Contents/Resources/version.txt"), 04777u);
  EXPECT_EQ(modeOf(app + "/Contents/Resources/.hidden/note"), 0666u);

  std::optional<fnd::Error> error;
  EXPECT_FALSE(AFXFixPermissions(*url(sandbox_.work() + "/missing"), &error));
  ASSERT_TRUE(error);
  // A failure goes to the handler, which may stop the walk.
  int reported = 0;
  EXPECT_FALSE(AFXFixPermissionsRecursive(*url(sandbox_.work() + "/missing"), [&](const fnd::Error&) {
    ++reported;
    return false;
  }));
  EXPECT_EQ(reported, 1);
  EXPECT_TRUE(AFXFixPermissionsRecursive(*url(sandbox_.work() + "/missing"), [](const fnd::Error&) { return true; }));
}

TEST_F(AFXPutAppTest, ReplacingKeepsTheOldAttributesAndMakesTheAppUsable) {
  const std::string destination = applications_ + "/Chronofold.app";
  makeBundle(destination, "old");
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(destination, "com.example.tag", bytes("blue")));
  const std::string source = makeBundle(sandbox_.work() + "/Chronofold.app", "new");
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(source, "com.apple.quarantine", bytes("0081;download")));
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(source + "/Contents/MacOS/Chronofold", "com.apple.quarantine",
                                                bytes("0081;download")));

  auto placed = AFXCopyApp(url(source), url(destination), false);
  ASSERT_TRUE(placed) << placed.error().description();
  EXPECT_EQ((*placed)->path(), destination);
  EXPECT_EQ(versionAt(destination), "new");
  EXPECT_EQ(versionAt(source), "new");  // copied, not moved
  auto tag = fnd::ExtendedAttributes::value(destination, "com.example.tag");
  ASSERT_TRUE(tag);
  EXPECT_EQ(*tag, bytes("blue"));
  EXPECT_FALSE(fnd::ExtendedAttributes::value(destination, "com.apple.quarantine"));
  EXPECT_FALSE(fnd::ExtendedAttributes::value(destination + "/Contents/MacOS/Chronofold", "com.apple.quarantine"));
  EXPECT_EQ(modeOf(destination + "/Contents/MacOS/Chronofold"), 0777u);
  EXPECT_EQ(modeOf(destination + "/Contents/Resources/version.txt"), 0666u);
  auto registered = fnd::LaunchServices::URLsForApplicationsWithBundleIdentifier("com.example.Chronofold");
  ASSERT_FALSE(registered.empty());
  EXPECT_EQ(registered.front()->path(), destination);
  // Nothing of the placement is left beside the app or in the temporary folder.
  EXPECT_EQ(listing(applications_), std::vector<std::string>{"Chronofold.app"});
  EXPECT_TRUE(listing(sandbox_.temporary()).empty());
  // The importer is not waited for; it gets there shortly.
  for (int i = 0; i < 100 && readTextFile(sandbox_.root() + "/imported.txt").empty(); ++i) ::usleep(10000);
  EXPECT_EQ(readTextFile(sandbox_.root() + "/imported.txt"), destination + "\n");
}

TEST_F(AFXPutAppTest, MovingCreatesTheMissingParentFolder) {
  const std::string source = makeBundle(sandbox_.work() + "/Chronofold.app", "new");
  const std::string destination = applications_ + "/Utilities/Time/Chronofold.app";
  auto placed = AFXMoveApp(url(source), url(destination), false);
  ASSERT_TRUE(placed) << placed.error().description();
  EXPECT_EQ(versionAt(destination), "new");
  EXPECT_EQ(versionAt(source), "none");
}

TEST_F(AFXPutAppTest, FailuresLeaveTheOldBundleAndNothingBehind) {
  const std::string destination = applications_ + "/Chronofold.app";
  makeBundle(destination, "old");
  const std::string source = makeBundle(sandbox_.work() + "/Chronofold.app", "new");

  auto missing = AFXCopyApp(url(sandbox_.work() + "/Nothing.app"), url(destination), false);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().is(AFXDefaultErrorDomain, AFXErrorCodeMissingObject)) << missing.error().description();
  EXPECT_NE(missing.error().description().find("source url for putting app in place"), std::string::npos);

  auto nowhere = AFXCopyApp(url(source), nullptr, false);
  ASSERT_FALSE(nowhere);
  EXPECT_NE(nowhere.error().description().find("destination url for installation"), std::string::npos);

  for (AFXPutAppStep failing : {AFXPutAppStep::attributesSaved, AFXPutAppStep::staged}) {
    AFXPutAppTesting testing;
    testing.afterStep = [failing](AFXPutAppStep step) -> std::optional<fnd::Error> {
      if (step == failing) return fnd::Error(fnd::NSCocoaErrorDomain, 640, {});
      return std::nullopt;
    };
    auto failed = AFXPutApp(url(source), url(destination), false, false, 10, testing);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error().is(fnd::NSCocoaErrorDomain, 640));
    EXPECT_EQ(versionAt(destination), "old");
    EXPECT_EQ(listing(applications_), std::vector<std::string>{"Chronofold.app"});
    EXPECT_TRUE(listing(sandbox_.temporary()).empty());
  }
  DDLog::flushLog();
  std::size_t logged = 0;
  for (const auto& text : logger_->texts()) logged += text.starts_with("Error while installing app at url ");
  EXPECT_EQ(logged, 4u);
}

// The placement in a child that stops dead after each step in turn: the
// destination always holds one whole bundle, and once the exchange has
// happened it is the new one.
TEST_F(AFXPutAppTest, AStopAtAnyStepLeavesTheOldOrTheNewBundleWhole) {
  const std::string destination = applications_ + "/Chronofold.app";
  std::vector<std::function<void(AFXPutAppTesting&, int)>> stops;
  for (AFXPutAppStep step : {AFXPutAppStep::attributesSaved, AFXPutAppStep::staged, AFXPutAppStep::placed,
                             AFXPutAppStep::postActionsDone}) {
    stops.push_back([step](AFXPutAppTesting& testing, int fd) {
      testing.afterStep = [step, fd](AFXPutAppStep current) -> std::optional<fnd::Error> {
        if (current == step) {
          if (::write(fd, "s", 1) != 1) ::_exit(5);
          ::_exit(0);
        }
        return std::nullopt;
      };
    });
  }
  for (int step = 0; step <= static_cast<int>(fnd::ItemReplacementStep::stagedItemRemoved); ++step) {
    for (bool withoutExchange : {false, true}) {
      stops.push_back([step, withoutExchange](AFXPutAppTesting& testing, int fd) {
        testing.replacement.withoutExchange = withoutExchange;
        testing.replacement.afterStep = [step, fd](fnd::ItemReplacementStep current) {
          if (static_cast<int>(current) == step) {
            if (::write(fd, "r", 1) != 1) ::_exit(5);
            ::_exit(0);
          }
        };
      });
    }
  }
  const std::size_t movedAsideWithoutExchange =
      4 + 2 * static_cast<std::size_t>(fnd::ItemReplacementStep::originalMovedAside) + 1;
  int stoppedAfterPlacing = 0;
  for (std::size_t i = 0; i < stops.size(); ++i) {
    (void)fnd::FileManager::defaultManager().removeItemAtPath(applications_);
    makeBundle(destination, "old");
    const std::string source = makeBundle(sandbox_.work() + "/Chronofold.app", "new");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      AFXPutAppTesting testing;
      stops[i](testing, fds[1]);
      auto placed = AFXPutApp(url(source), url(destination), false, false, 10, testing);
      ::_exit(placed ? 3 : 4);
    }
    ::close(fds[1]);
    char stopped = 0;
    const bool didStop = ::read(fds[0], &stopped, 1) == 1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::string version = versionAt(destination);
    if (i == movedAsideWithoutExchange && version == "none") {
      // Without an atomic exchange a folder cannot be swapped in one step:
      // for that moment the old bundle is whole under a hidden name beside it.
      bool oldBesideIt = false;
      for (const auto& name : listing(applications_)) oldBesideIt |= versionAt(applications_ + "/" + name) == "old";
      EXPECT_TRUE(oldBesideIt);
      continue;
    }
    EXPECT_TRUE(version == "old" || version == "new") << "stop " << i << ": " << version;
    if (!didStop) {
      EXPECT_EQ(version, "new") << "stop " << i << " never came and the placement succeeded";
    }
    if (didStop && stopped == 's' && i >= 2) {
      EXPECT_EQ(version, "new") << "stop " << i;
      ++stoppedAfterPlacing;
    }
  }
  EXPECT_EQ(stoppedAfterPlacing, 2);
}

TEST_F(AFXPutAppTest, ALaunchpadThatCannotBeWatchedOnlyCostsALogLine) {
  const std::string source = makeBundle(sandbox_.work() + "/Chronofold.app", "new");
  const std::string destination = applications_ + "/Productivity/Chronofold.app";
  auto placed = AFXMoveApp(url(source), url(destination), true);
  ASSERT_TRUE(placed) << placed.error().description();
  EXPECT_EQ(versionAt(destination), "new");
  EXPECT_EQ(listing(applications_ + "/Productivity"), std::vector<std::string>{"Chronofold.app"});
  DDLog::flushLog();
  const auto texts = logger_->texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Launchpad: database is not compatible"), texts.end());
}

class AFXInstallAppTest : public AFXPutAppTest {
 protected:
  std::shared_ptr<fnd::URL> archiveOfApp() const {
    const std::string path = sandbox_.work() + "/chronofold.zip";
    ZipWriter zip(path);
    zip.file("Chronofold.app/Contents/Info.plist",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
             "<key>CFBundleIdentifier</key><string>com.example.Chronofold</string></dict></plist>\n")
        .file("Chronofold.app/Contents/MacOS/Chronofold", "#!/bin/sh\n", 0700)
        .file("Chronofold.app/Contents/Resources/version.txt", "zipped");
    EXPECT_TRUE(zip.close());
    return fnd::URL::fileURLWithPath(path);
  }
  std::vector<double> progress_;
  std::function<void(double)> record_ = [this](double fraction) { progress_.push_back(fraction); };
};

TEST_F(AFXInstallAppTest, UnpacksIntoTheApplicationsFolderUnderTheAppsName) {
  auto placed = AFXInstallApp(archiveOfApp(), url(applications_), true, AFXValidationNone, false, record_);
  ASSERT_TRUE(placed) << placed.error().description();
  EXPECT_EQ((*placed)->path(), applications_ + "/Chronofold.app");
  EXPECT_EQ(versionAt(applications_ + "/Chronofold.app"), "zipped");
  EXPECT_EQ(modeOf(applications_ + "/Chronofold.app/Contents/MacOS/Chronofold"), 0777u);
  ASSERT_FALSE(progress_.empty());
  EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
  EXPECT_LE(progress_[progress_.size() - 3], 0.8);
  EXPECT_DOUBLE_EQ(progress_[progress_.size() - 2], 0.9);
  EXPECT_DOUBLE_EQ(progress_.back(), 1.0);
  EXPECT_TRUE(listing(sandbox_.temporary()).empty());
}

TEST_F(AFXInstallAppTest, AnAppThatFailsValidationIsNotPlaced) {
  const std::string destination = applications_ + "/Chronofold.app";
  makeBundle(destination, "old");
  auto placed = AFXInstallApp(archiveOfApp(), url(destination), false, AFXValidationAppleAnchor, false, record_);
  ASSERT_FALSE(placed);
  EXPECT_TRUE(placed.error().is(AFXDefaultErrorDomain, AFXErrorCodeAppSignatureCheckFailed))
      << placed.error().description();
  EXPECT_EQ(versionAt(destination), "old");
  EXPECT_TRUE(listing(sandbox_.temporary()).empty());

  auto broken = AFXInstallApp(url(sandbox_.work() + "/missing.zip"), url(applications_), true, AFXValidationNone,
                              false, record_);
  ASSERT_FALSE(broken);
  EXPECT_TRUE(broken.error().is(AFXDefaultErrorDomain, AFXErrorCodeFailedToUnpackApp));
}

}  // namespace
