// Installing an agent out of a client bundle on a temporary home, with a
// stand-in service manager that records what it was asked.

#include "interface/client_services/afx_agent.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/file_manager.h"
#include "foundation/property_list.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    sandbox_.set("XDG_STATE_HOME", sandbox_.root() + "/home/.local/state");
    const std::string manager = sandbox_.root() + "/service-manager";
    std::ofstream(manager) << "#!/bin/sh\necho \"$*\" >> '" << sandbox_.root() << "/manager.log'\nexit \"$(cat '"
                           << sandbox_.root() << "/manager.status' 2>/dev/null || echo 0)\"\n";
    ::chmod(manager.c_str(), 0755);
    sandbox_.set("KORVIA_SERVICE_MANAGER_COMMAND", manager);
    DDLog::addLogger(logger_);
    client_ = makeClient("1.9.8");
  }
  void TearDown() override { DDLog::removeLogger(logger_); }

  std::string makeClient(const std::string& version) {
    const std::string client = sandbox_.work() + "/Korvia.app";
    const std::string agent = client + "/Contents/Library/LaunchServices/KorviaAgent.app";
    const auto& files = fnd::FileManager::defaultManager();
    (void)files.removeItemAtPath(client);
    EXPECT_TRUE(files.createDirectoryAtPath(agent + "/Contents/MacOS", true));
    EXPECT_TRUE(files.createDirectoryAtPath(agent + "/Contents/Resources", true));
    std::ofstream(agent + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>com.korvia.DesktopClient.KorviaAgent</string>"
        << "<key>CFBundleExecutable</key><string>KorviaAgent</string>"
        << "<key>CFBundleVersion</key><string>" << version << "</string></dict></plist>\n";
    std::ofstream(agent + "/Contents/MacOS/KorviaAgent") << "#!/bin/sh\n";
    ::chmod((agent + "/Contents/MacOS/KorviaAgent").c_str(), 0755);
    std::ofstream(agent + "/Contents/Resources/com.korvia.DesktopClient.KorviaAgent.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>Label</key><string>com.korvia.DesktopClient.KorviaAgent</string>"
        << "<key>KeepAlive</key><true/>"
        << "<key>ProgramArguments</key><array><string>/old/path</string></array></dict></plist>\n";
    return client;
  }

  AFXAgent agent() const { return AFXAgent::initWithSourceName("KorviaAgent.app", fnd::URL::fileURLWithPath(client_, true)); }
  void setManagerStatus(int status) const { std::ofstream(sandbox_.root() + "/manager.status") << status << "\n"; }
  std::string managerLog() const { return unarchiver_test::readTextFile(sandbox_.root() + "/manager.log"); }

  unarchiver_test::Sandbox sandbox_;
  std::string client_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(AgentTest, InstallingCopiesTheAgentAndWritesItsConfigurations) {
  const std::string oldCopy = AFXAgentGetDestinationURL("OldAgent.app")->path();
  ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(oldCopy, true));
  auto installing = agent();
  installing.setOldName(std::string("OldAgent.app"));
  std::optional<fnd::Error> error;
  ASSERT_TRUE(installing.installWithError(&error)) << error->description();
  const std::string installed = sandbox_.root() + "/home/.local/share/Korvia/LaunchAgents/KorviaAgent.app";
  EXPECT_EQ(installing.bundleDestinationURL()->path(), installed);
  EXPECT_TRUE(fnd::FileManager::defaultManager().fileExistsAtPath(installed + "/Contents/MacOS/KorviaAgent"));
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(oldCopy));
  EXPECT_EQ(installing.agentExecutableURL()->path(), installed + "/Contents/MacOS/KorviaAgent");

  // Every entry of the source configuration stays; only the program changes.
  const std::string folder = sandbox_.root() + "/home/.config/systemd/user/";
  auto bytes = fnd::FileManager::defaultManager().contentsAtPath(folder + "com.korvia.DesktopClient.KorviaAgent.plist");
  ASSERT_TRUE(bytes);
  auto plist = fnd::PropertyListSerialization::propertyListWithData(*bytes);
  ASSERT_TRUE(plist);
  auto configuration = plist->as<fnd::Dictionary>();
  ASSERT_TRUE(configuration);
  EXPECT_EQ(configuration->count(), 3u);
  EXPECT_EQ(configuration->objectForKey("KeepAlive").boolValue(), true);
  auto arguments = configuration->objectForKey("ProgramArguments").as<fnd::Array>();
  ASSERT_TRUE(arguments);
  ASSERT_EQ(arguments->count(), 2u);
  EXPECT_EQ(arguments->objectAtIndex(0).stringValue(), installed + "/Contents/MacOS/KorviaAgent");
  EXPECT_EQ(arguments->objectAtIndex(1).stringValue(), "-xpcServer");
  const std::string unit = unarchiver_test::readTextFile(folder + "com.korvia.DesktopClient.KorviaAgent.service");
  EXPECT_NE(unit.find("ExecStart=\"" + installed + "/Contents/MacOS/KorviaAgent\" \"-xpcServer\""), std::string::npos)
      << unit;

  // Installing again replaces the copy.
  std::ofstream(installed + "/stale") << "x";
  ASSERT_TRUE(agent().installWithError(&error));
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(installed + "/stale"));
}

TEST_F(AgentTest, ACopyThatCannotBeMadeIsTheAgentInstallationError) {
  // The application-support folder is a file: nothing can go below it.
  std::ofstream(sandbox_.root() + "/blocker") << "x";
  sandbox_.set("XDG_DATA_HOME", sandbox_.root() + "/blocker");
  std::optional<fnd::Error> error;
  EXPECT_FALSE(agent().installWithError(&error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(AFXDefaultErrorDomain, AFXErrorCodeFailedAgentInstall)) << error->description();
  EXPECT_NE(error->description().find("copy"), std::string::npos);
  EXPECT_TRUE(error->underlyingError());
}

TEST_F(AgentTest, TheServiceManagerLoadsUnloadsAndTellsWhetherAnUpdateIsDue) {
  std::optional<fnd::Error> error;
  ASSERT_TRUE(agent().installWithError(&error));
  AFXAgent::loadAgents({agent()});
  AFXAgent::unloadAgents({agent()});
  EXPECT_EQ(managerLog(), "--user enable --now com.korvia.DesktopClient.KorviaAgent.service\n"
                          "--user disable --now com.korvia.DesktopClient.KorviaAgent.service\n");

  // Installed at the library's version and running: nothing to do.
  EXPECT_TRUE(agent().isLoaded());
  EXPECT_FALSE(agent().wantsUpdate());
  // The same version, not running: update.
  setManagerStatus(3);
  EXPECT_FALSE(agent().isLoaded());
  EXPECT_TRUE(agent().wantsUpdate());
  // A failing manager is only logged.
  AFXAgent::loadAgents({agent()});
  DDLog::flushLog();
  const auto texts = logger_->texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Did fail to perform task enable --now com.korvia.DesktopClient.KorviaAgent.service"),
            texts.end());
  // Running, but older than the library.
  setManagerStatus(0);
  client_ = makeClient("1.9.7");
  ASSERT_TRUE(agent().installWithError(&error));
  EXPECT_TRUE(agent().wantsUpdate());
}

}  // namespace
