#include "foundation/bundle.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "foundation/property_list.h"
#include "foundation/string.h"

namespace fnd {
namespace {

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-bundle-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    app_ = root_ + "/Korvia.app";
    std::filesystem::create_directories(app_ + "/Contents/MacOS");
    std::filesystem::create_directories(app_ + "/Contents/Resources/en.lproj");
    std::filesystem::create_directories(app_ + "/Contents/Resources/Base.lproj");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  void writeInfo(PropertyListFormat format) {
    auto info = Dictionary::make({{Value("CFBundleIdentifier"), Value("com.korvia.DesktopClient")},
                                  {Value("CFBundleShortVersionString"), Value("2.4.1")},
                                  {Value("CFBundleVersion"), Value("2041")},
                                  {Value("CFBundleExecutable"), Value("Korvia")}});
    auto bytes = *PropertyListSerialization::dataWithPropertyList(Value(info), format);
    write(app_ + "/Contents/Info.plist", std::string(bytes.begin(), bytes.end()));
  }

  std::string root_;
  std::string app_;
};

TEST_F(BundleTest, ReadsTheInformationDictionaryInEitherForm) {
  for (const PropertyListFormat format : {PropertyListFormat::xml, PropertyListFormat::binary}) {
    writeInfo(format);
    auto bundle = Bundle::bundleWithPath(app_ + "/");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath(), app_);
    EXPECT_EQ(bundle->bundleIdentifier(), "com.korvia.DesktopClient");
    EXPECT_EQ(bundle->shortVersionString(), "2.4.1");
    EXPECT_EQ(bundle->bundleVersion(), "2041");
    EXPECT_EQ(bundle->executablePath(), app_ + "/Contents/MacOS/Korvia");
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleExecutable").stringValue(), "Korvia");
  }
}

TEST_F(BundleTest, MissingOrCorruptInformationGivesAnEmptyDictionary) {
  auto bare = Bundle::bundleWithPath(app_);
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->infoDictionary()->count(), 0u);
  EXPECT_EQ(bare->executablePath(), std::nullopt);
  write(app_ + "/Contents/Info.plist", "bplist00 broken");
  EXPECT_EQ(Bundle::bundleWithPath(app_)->infoDictionary()->count(), 0u);
  EXPECT_FALSE(Bundle::bundleWithPath(root_ + "/Missing.app"));
}

TEST_F(BundleTest, ResourcesAreFoundInResourcesThenBaseThenEnglish) {
  write(app_ + "/Contents/Resources/en.lproj/Localizable.strings", "en");
  write(app_ + "/Contents/Resources/Base.lproj/Window.ui", "base");
  write(app_ + "/Contents/Resources/en.lproj/Window.ui", "en");
  write(app_ + "/Contents/Resources/logo.svg", "top");
  auto bundle = Bundle::bundleWithPath(app_);
  const std::string resources = app_ + "/Contents/Resources";
  EXPECT_EQ(bundle->pathForResource("Localizable", "strings"), resources + "/en.lproj/Localizable.strings");
  EXPECT_EQ(bundle->pathForResource("Window", "ui"), resources + "/Base.lproj/Window.ui");
  EXPECT_EQ(bundle->pathForResource("logo.svg", ""), resources + "/logo.svg");
  EXPECT_EQ(bundle->pathForResource("missing", "png"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("../Info", "plist"), std::nullopt);
}

TEST(MainBundle, IsTheTestProgramsFolderOutsideABundle) {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  ASSERT_GT(length, 0);
  const std::string executable(buffer, static_cast<std::size_t>(length));
  auto main = Bundle::mainBundle();
  ASSERT_TRUE(main);
  EXPECT_EQ(main->bundlePath(), executable.substr(0, executable.rfind('/')));
  EXPECT_EQ(main->bundleIdentifier(), "");
}

}  // namespace
}  // namespace fnd
