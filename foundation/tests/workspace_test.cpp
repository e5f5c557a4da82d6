#include "foundation/workspace.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace fnd {
namespace {

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvia-workspace-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    record_ = folder_ / "opened.txt";
    const auto script = folder_ / "opener.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> '" << record_.string() << "'\n";
    ::chmod(script.c_str(), 0755);
    script_ = script.string();
  }
  void TearDown() override {
    ::unsetenv("KORVIA_OPEN_COMMAND");
    std::filesystem::remove_all(folder_);
  }

  std::string recorded() const {
    std::ifstream file(record_);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder_;
  std::filesystem::path record_;
  std::string script_;
};

TEST_F(WorkspaceTest, OpenerIsTheDesktopHandlerUnlessConfigured) {
  ::unsetenv("KORVIA_OPEN_COMMAND");
  EXPECT_EQ(Workspace::openCommand(), "xdg-open");
  ::setenv("KORVIA_OPEN_COMMAND", "", 1);
  EXPECT_EQ(Workspace::openCommand(), "xdg-open");
  ::setenv("KORVIA_OPEN_COMMAND", script_.c_str(), 1);
  EXPECT_EQ(Workspace::openCommand(), script_);
}

TEST_F(WorkspaceTest, OpenerGetsTheURLAsItsOnlyArgument) {
  ::setenv("KORVIA_OPEN_COMMAND", script_.c_str(), 1);
  const auto url = URL::URLWithString("https://pages.korvia.test/a?b=c&d=e%20f");
  auto opener = Workspace::launchOpenerForURL(*url);
  ASSERT_TRUE(opener) << opener.error().description();
  EXPECT_EQ((*opener)->waitUntilExit().status, 0);
  EXPECT_EQ(recorded(), "1|https://pages.korvia.test/a?b=c&d=e%20f\n");
}

TEST_F(WorkspaceTest, OpenURLReturnsWithoutWaitingForTheHandler) {
  const auto script = folder_ / "slow.sh";
  const auto gate = folder_ / "gate";
  std::ofstream(script) << "#!/bin/sh\nwhile [ ! -e '" << gate.string()
                        << "' ]; do sleep 0.01; done\nprintf '%s\\n' \"$1\" >> '" << record_.string() << "'\n";
  ::chmod(script.c_str(), 0755);
  ::setenv("KORVIA_OPEN_COMMAND", script.c_str(), 1);

  EXPECT_TRUE(Workspace::sharedWorkspace().openURL(*URL::URLWithString("https://pages.korvia.test/slow")));
  EXPECT_EQ(recorded(), "");
  std::ofstream(gate).put('x');
  for (int i = 0; i < 1000 && recorded().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(recorded(), "https://pages.korvia.test/slow\n");
}

TEST_F(WorkspaceTest, HandlerNamesAreLookedUpOnPath) {
  ::setenv("KORVIA_OPEN_COMMAND", "true", 1);
  auto opener = Workspace::launchOpenerForURL(*URL::URLWithString("https://pages.korvia.test/"));
  ASSERT_TRUE(opener) << opener.error().description();
  EXPECT_EQ((*opener)->waitUntilExit().status, 0);
}

TEST_F(WorkspaceTest, MissingHandlerCannotOpen) {
  ::setenv("KORVIA_OPEN_COMMAND", (folder_ / "no-such-opener").c_str(), 1);
  const auto url = URL::URLWithString("https://pages.korvia.test/");
  EXPECT_FALSE(Workspace::sharedWorkspace().openURL(*url));
  auto opener = Workspace::launchOpenerForURL(*url);
  ASSERT_FALSE(opener);
  EXPECT_TRUE(opener.error().is(NSCocoaErrorDomain, 4)) << opener.error().description();
}

}  // namespace
}  // namespace fnd
