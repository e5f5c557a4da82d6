// Resume data comes back from callers: it must round-trip, and anything
// altered must be refused before a file is touched.

#include "foundation/url_session_resume_data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/dictionary.h"
#include "foundation/property_list.h"
#include "foundation/url_error.h"

namespace fnd::detail {
namespace {

namespace fs = std::filesystem;

class ResumeDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "resume-data-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    ::setenv("TMPDIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    fs::remove_all(folder_);
  }

  DownloadResumeState validState(const std::string& path) const {
    DownloadResumeState state;
    state.url = "https://127.0.0.1:4443/com.korvia.DesktopClient/Korvia.zip";
    state.bytesReceived = 5;
    state.temporaryFilePath = path;
    state.entityTag = "\"abc\"";
    state.requestHeaders = {{"X-Korvia", "1"}};
    state.requestTimeout = 10;
    return state;
  }
  std::shared_ptr<Data> withField(const DownloadResumeState& state, const char* key, Value value) const {
    auto plist = PropertyListSerialization::propertyListWithData(encodeDownloadResumeData(state)->bytes());
    auto changed = plist->as<Dictionary>()->dictionaryBySettingObject(value, Value(key));
    auto bytes = PropertyListSerialization::dataWithPropertyList(Value(changed), PropertyListFormat::binary);
    return Data::make(std::move(bytes).value());
  }

  std::string folder_;
};

TEST_F(ResumeDataTest, RoundTripsAndReopensTheFileCutBackToTheRecordedLength) {
  auto file = createDownloadFile();
  ASSERT_TRUE(file.hasValue());
  ASSERT_TRUE(isDownloadFilePath(file->path));
  ASSERT_EQ(::write(file->descriptor, "0123456789", 10), 10);
  ::close(file->descriptor);

  const auto state = validState(file->path);
  auto decoded = decodeDownloadResumeData(*encodeDownloadResumeData(state));
  ASSERT_TRUE(decoded.hasValue()) << decoded.error().description();
  EXPECT_EQ(decoded->url, state.url);
  EXPECT_EQ(decoded->bytesReceived, 5);
  EXPECT_EQ(decoded->rangeValidator(), "\"abc\"");
  EXPECT_EQ(decoded->requestHeaders, state.requestHeaders);
  EXPECT_EQ(decoded->requestTimeout, 10);

  auto reopened = reopenPartialDownloadFile(*decoded);
  ASSERT_TRUE(reopened.hasValue());
  ASSERT_EQ(::write(reopened->descriptor, "X", 1), 1);
  ::close(reopened->descriptor);
  std::ifstream in(file->path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "01234X");
}

TEST_F(ResumeDataTest, RefusesAlteredFieldsWithCannotDecodeRawData) {
  auto file = createDownloadFile();
  ASSERT_TRUE(file.hasValue());
  ::close(file->descriptor);
  const auto state = validState(file->path);
  const std::vector<std::pair<const char*, Value>> alterations = {
      {"URL", Value("file:///etc/passwd")},
      {"URL", Value(std::int64_t{3})},
      {"BytesReceived", Value(std::int64_t{-1})},
      {"TemporaryFilePath", Value("/etc/passwd")},
      {"TemporaryFilePath", Value(folder_ + "/../KorviaDownload_abcdef.tmp")},
      {"TemporaryFilePath", Value(folder_ + "/other.tmp")},
      {"ETag", Value("\"a\"\r\nX-Injected: 1")},
      {"RequestHeaders", Value(Dictionary::make({{Value("Host\r\nX"), Value("y")}}))},
      {"KorviaResumeDataVersion", Value(std::int64_t{2})},
  };
  for (const auto& [key, value] : alterations) {
    SCOPED_TRACE(std::string(key) + " = " + value.description());
    auto decoded = decodeDownloadResumeData(*withField(state, key, value));
    ASSERT_FALSE(decoded.hasValue());
    EXPECT_TRUE(decoded.error().is(NSURLErrorDomain, NSURLErrorCannotDecodeRawData));
  }
  auto noValidator = state;
  noValidator.entityTag.reset();
  EXPECT_FALSE(decodeDownloadResumeData(*encodeDownloadResumeData(noValidator)).hasValue());
  EXPECT_FALSE(decodeDownloadResumeData(*Data::make("bplist00garbage")).hasValue());
}

TEST_F(ResumeDataTest, PartialFileThatIsALinkOrTooShortCannotBeOpened) {
  auto file = createDownloadFile();
  ASSERT_TRUE(file.hasValue());
  ::close(file->descriptor);
  auto state = validState(file->path);
  // Shorter than recorded (empty).
  auto reopened = reopenPartialDownloadFile(state);
  ASSERT_FALSE(reopened.hasValue());
  EXPECT_TRUE(reopened.error().is(NSURLErrorDomain, NSURLErrorCannotOpenFile));

  // A link planted under the file's name is not followed.
  const std::string target = folder_ + "/target";
  std::ofstream(target) << "0123456789";
  fs::remove(file->path);
  fs::create_symlink(target, file->path);
  reopened = reopenPartialDownloadFile(state);
  ASSERT_FALSE(reopened.hasValue());
  EXPECT_TRUE(reopened.error().is(NSURLErrorDomain, NSURLErrorCannotOpenFile));
  EXPECT_EQ(fs::file_size(target), 10u);
}

}  // namespace
}  // namespace fnd::detail
