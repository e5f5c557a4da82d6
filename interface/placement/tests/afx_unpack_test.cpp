#include "interface/placement/afx_unpack.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/file_manager.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

class AFXUnpackTest : public ::testing::Test {
 protected:
  void SetUp() override { DDLog::addLogger(logger_); }
  void TearDown() override { DDLog::removeLogger(logger_); }

  std::shared_ptr<fnd::URL> archive() const { return fnd::URL::fileURLWithPath(sandbox_.work() + "/client.zip"); }

  Sandbox sandbox_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::vector<double> progress_;
  std::function<void(double)> record_ = [this](double fraction) { progress_.push_back(fraction); };
};

TEST_F(AFXUnpackTest, YieldsTheFirstAppBundleWhateverItsCase) {
  {
    ZipWriter zip(archive()->path());
    zip.file("Notes.txt", "n")
        .file(".Hidden.app/Contents/Info.plist", "hidden")
        .file("Release/Korvia.APP/Contents/Info.plist", "<plist/>")
        .file("Release/Korvia.APP/Contents/PlugIns/Inner.app/Contents/Info.plist", "<plist/>")
        .link("Release/Alias.app", "Korvia.APP");
    ASSERT_TRUE(zip.close());
  }
  auto app = AFXUnpack(archive(), record_);
  ASSERT_TRUE(app) << app.error().description();
  EXPECT_EQ((*app)->lastPathComponent(), "Korvia.APP");
  EXPECT_TRUE((*app)->path().starts_with(sandbox_.temporary() + "/"));
  ASSERT_FALSE(progress_.empty());
  EXPECT_DOUBLE_EQ(progress_.front(), 0.1);
  EXPECT_DOUBLE_EQ(progress_.back(), 1.0);
}

TEST_F(AFXUnpackTest, NoAppIsAFailureToUnpack) {
  {
    ZipWriter zip(archive()->path());
    zip.file("Notes.txt", "n").file("Folder/app.txt", "not an app");
    ASSERT_TRUE(zip.close());
  }
  auto app = AFXUnpack(archive(), record_);
  ASSERT_FALSE(app);
  EXPECT_TRUE(app.error().is(AFXDefaultErrorDomain, AFXErrorCodeFailedToUnpackApp));
  DDLog::flushLog();
  EXPECT_TRUE(logger_->texts().empty());
}

TEST_F(AFXUnpackTest, UnarchiverFailuresAreLoggedAndReplaced) {
  ASSERT_TRUE(fnd::FileManager::defaultManager().createFileAtPath(archive()->path(), bytes("PK\x03\x04 broken")));
  auto app = AFXUnpack(archive(), record_);
  ASSERT_FALSE(app);
  EXPECT_TRUE(app.error().is(AFXDefaultErrorDomain, AFXErrorCodeFailedToUnpackApp));
  DDLog::flushLog();
  const auto texts = logger_->texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(texts[0].starts_with("Unpack error for archive at file://")) << texts[0];
  EXPECT_NE(texts[0].find("NSOSStatusErrorDomain"), std::string::npos) << texts[0];
}

TEST_F(AFXUnpackTest, MissingProgressFunctionIsAProgrammingError) {
  EXPECT_DEATH((void)AFXUnpack(archive(), nullptr), "Invalid parameter not satisfying: progressHandler != nullptr");
}

}  // namespace
