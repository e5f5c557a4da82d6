// Runs the built korvia-codesign over a bundle: the test identities, a
// signature, checks that pass and checks that fail with their status.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "foundation/process.h"

namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string standardError;
};

class KorviaCodesignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-codesign-tool-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    app_ = dir_ + "/Tool.app";
    fs::create_directories(app_ + "/Contents/MacOS");
    std::ofstream(app_ + "/Contents/MacOS/Tool") << "binary";
    std::ofstream(dir_ + "/entitlements.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
           "<key>com.apple.security.app-sandbox</key><true/></dict></plist>";
  }
  void TearDown() override { fs::remove_all(dir_); }

  ToolRun run(std::vector<std::string> arguments) {
    fnd::ProcessLaunchOptions options;
    options.executablePath = KORVIA_CODESIGN_TOOL;
    options.arguments = std::move(arguments);
    options.captureStandardError = true;
    options.captureStandardOutput = true;
    std::map<std::string, std::string> environment{{"KORVIA_CODESIGN_ANCHOR", dir_ + "/ids/root.pem"}};
    if (const char* path = ::getenv("PATH")) environment["PATH"] = path;
    options.environment = environment;
    auto done = fnd::Process::run(std::move(options));
    EXPECT_TRUE(done);
    if (!done) return {};
    return {done->status, std::string(done->standardError.begin(), done->standardError.end())};
  }

  std::string dir_;
  std::string app_;
};

TEST_F(KorviaCodesignTest, SignsVerifiesAndRejects) {
  ASSERT_EQ(run({"make-test-identities", dir_ + "/ids"}).status, 0);
  for (const char* file : {"root.pem", "team.pem", "leaf.pem", "leaf-key.pem", "chain.pem"}) {
    EXPECT_TRUE(fs::exists(dir_ + "/ids/" + file)) << file;
  }
  EXPECT_EQ(run({"verify", app_}).status, 1);
  ASSERT_EQ(run({"sign", "--identity", dir_ + "/ids/leaf-key.pem", "--chain", dir_ + "/ids/chain.pem",
                 "--entitlements", dir_ + "/entitlements.plist", app_})
                .status,
            0);

  EXPECT_EQ(run({"verify", app_}).status, 0);
  EXPECT_EQ(run({"verify", "-R", "anchor apple generic and certificate leaf[subject.OU] = \"K7QW2ZP9XD\"", app_}).status,
            0);
  EXPECT_EQ(run({"verify", "-R", "entitlement[\"com.apple.security.app-sandbox\"] exists", app_}).status, 0);

  ToolRun wrongTeam = run({"verify", "-R", "certificate leaf[subject.OU] = \"AAAAAAAAAA\"", app_});
  EXPECT_EQ(wrongTeam.status, 1);
  EXPECT_THAT(wrongTeam.standardError, HasSubstr("-67050"));

  ToolRun badText = run({"verify", "-R", "anchor apple (", app_});
  EXPECT_EQ(badText.status, 1);
  EXPECT_THAT(badText.standardError, HasSubstr("-67052"));

  std::ofstream(app_ + "/Contents/MacOS/Tool") << "patched";
  ToolRun tampered = run({"verify", app_});
  EXPECT_EQ(tampered.status, 1);
  EXPECT_THAT(tampered.standardError, HasSubstr("-67054"));

  // A key without its certificate in the chain is refused.
  EXPECT_EQ(run({"sign", "--identity", dir_ + "/ids/root-key.pem", "--chain", dir_ + "/ids/leaf.pem", app_}).status, 1);
  EXPECT_EQ(run({"sign", app_}).status, 2);
}

}  // namespace
