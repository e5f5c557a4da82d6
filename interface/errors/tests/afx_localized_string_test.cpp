#include "interface/errors/afx_localized_string.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/property_list.h"
#include "interface/errors/afx_errors.h"
#include "interface/errors/afx_string_table.h"
#include "interface/errors/tests/errors_test_support.h"

namespace {

using fnd::Value;

std::vector<std::uint8_t> plistBytes(const Value& plist, fnd::PropertyListFormat format) {
  auto bytes = fnd::PropertyListSerialization::dataWithPropertyList(plist, format);
  EXPECT_TRUE(bytes) << bytes.error().description();
  return bytes ? *bytes : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const Value kGermanTable = Value(fnd::Dictionary::make(
    {{Value("Cancel"), Value("Abbrechen")}, {Value("Quit"), Value("Beenden")}, {Value("Odd"), Value(12)}}));

class StringTableFormTest : public ::testing::TestWithParam<fnd::PropertyListFormat> {};

TEST_P(StringTableFormTest, EntryWinsAndTheKeyIsTheFallback) {
  const auto table = AFXStringTable::tableWithData(plistBytes(kGermanTable, GetParam()));
  EXPECT_EQ(table.localizedString("Cancel"), "Abbrechen");
  EXPECT_EQ(table.localizedString("Quit"), "Beenden");
  EXPECT_EQ(table.localizedString("Download Now"), "Download Now");
  // An entry that is no text is no translation.
  EXPECT_EQ(table.localizedString("Odd"), "Odd");
  EXPECT_EQ(table.count(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Forms, StringTableFormTest,
                         ::testing::Values(fnd::PropertyListFormat::xml, fnd::PropertyListFormat::binary));

TEST(StringTableTest, CorruptTablesFallBackToTheKeys) {
  auto truncated = plistBytes(kGermanTable, fnd::PropertyListFormat::binary);
  truncated.resize(truncated.size() / 2);
  const std::vector<std::vector<std::uint8_t>> corrupt = {
      {},
      bytesOf("\"Cancel\" = \"Abbrechen\";"),
      bytesOf("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Cancel</key>"),
      truncated,
      plistBytes(Value(fnd::Array::make({Value("Cancel"), Value("Abbrechen")})), fnd::PropertyListFormat::xml),
      plistBytes(Value("Abbrechen"), fnd::PropertyListFormat::binary),
  };
  for (const auto& bytes : corrupt) {
    const auto table = AFXStringTable::tableWithData(bytes);
    EXPECT_EQ(table.count(), 0u);
    EXPECT_EQ(table.localizedString("Cancel"), "Cancel");
  }
}

TEST(StringTableTest, MissingOrOversizedFilesAreNotRead) {
  afx_test::TemporaryFolder folder;
  EXPECT_EQ(AFXStringTable::tableAtPath((folder.path() / "Localizable.strings").string()).count(), 0u);
  EXPECT_EQ(AFXStringTable::tableAtPath(folder.path().string()).count(), 0u);

  const auto huge = folder.path() / "Huge.strings";
  writeFile(huge, plistBytes(kGermanTable, fnd::PropertyListFormat::xml));
  std::filesystem::resize_file(huge, AFXStringTable::kMaximumFileSize + 1);
  EXPECT_EQ(AFXStringTable::tableAtPath(huge.string()).localizedString("Cancel"), "Cancel");
}

TEST(StringTableTest, ShippedTableIsAnEnglishTable) {
  const auto& bundle = AFXKorviaInterfaceBundle();
  ASSERT_NE(bundle, nullptr) << "no " << AFXKorviaInterfaceBundleName << " beside the test program";
  const auto path = bundle->pathForResource("Localizable", "strings");
  ASSERT_TRUE(path);
  const auto table = AFXStringTable::tableAtPath(*path);
  ASSERT_GT(table.count(), 0u);
  EXPECT_EQ(table.localizedString("Learn More…"), "Learn More…");
  EXPECT_EQ(AFXKorviaInterfaceLocalizedString("Download Now", "button"), "Download Now");
}

TEST(BundleLocationTest, OverrideWinsWhenSetAndNotEmpty) {
  using afx_localized_string_detail::locateBundle;
  afx_test::TemporaryFolder folder;
  std::filesystem::create_directories(folder.path() / "KorviaInterface.bundle");
  const std::string library = (folder.path() / "korvia-installer").string();
  EXPECT_EQ(locateBundle("/elsewhere/Other.bundle", library), "/elsewhere/Other.bundle");
  EXPECT_EQ(locateBundle("", library), (folder.path() / "KorviaInterface.bundle").string());
  EXPECT_EQ(locateBundle(nullptr, library), (folder.path() / "KorviaInterface.bundle").string());
}

TEST(BundleLocationTest, OnlyABundleBesideTheLibraryCounts) {
  using afx_localized_string_detail::locateBundle;
  afx_test::TemporaryFolder folder;
  const std::string library = (folder.path() / "libkorviainterface.so").string();
  EXPECT_EQ(locateBundle(nullptr, library), std::nullopt);
  // A file of that name is no bundle.
  std::ofstream(folder.path() / "KorviaInterface.bundle") << "x";
  EXPECT_EQ(locateBundle(nullptr, library), std::nullopt);
  EXPECT_EQ(locateBundle(nullptr, ""), std::nullopt);
}

TEST(BundleLocationTest, LibraryIsFoundInTheRunningProgram) {
  // The library is linked statically, so its binary is the test program.
  EXPECT_EQ(afx_localized_string_detail::libraryBinaryPath(), std::filesystem::canonical("/proc/self/exe").string());
}

// The bundle is located once per process, so the override is tried in a
// child that starts afresh and inherits the variable.
class OverrideBundle {
 public:
  explicit OverrideBundle(const std::vector<std::uint8_t>& table) {
    const auto resources = folder_.path() / "Test.bundle" / "Contents" / "Resources";
    std::filesystem::create_directories(resources);
    writeFile(resources / "Localizable.strings", table);
    ::setenv(std::string(AFXKorviaInterfaceBundleVariable).c_str(), (folder_.path() / "Test.bundle").c_str(), 1);
  }
  ~OverrideBundle() { ::unsetenv(std::string(AFXKorviaInterfaceBundleVariable).c_str()); }

 private:
  afx_test::TemporaryFolder folder_;
};

TEST(LocalizedStringDeathTest, OverrideTableTranslatesTheCatalogue) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  OverrideBundle bundle(plistBytes(kGermanTable, fnd::PropertyListFormat::binary));
  EXPECT_EXIT(
      {
        const auto options = afx_missingDesktopClient().localizedRecoveryOptions();
        const bool translated = AFXKorviaInterfaceLocalizedString("Quit", "button") == "Beenden" &&
                                options.size() == 2 && options[0] == "Download and Install" &&
                                options[1] == "Abbrechen";
        std::_Exit(translated ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(LocalizedStringDeathTest, CorruptOverrideTableFallsBack) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  OverrideBundle bundle(bytesOf("bplist00 not really"));
  EXPECT_EXIT(std::_Exit(AFXKorviaInterfaceLocalizedString("Quit", "button") == "Quit" ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

TEST(LocalizedStringDeathTest, MissingBundleLeavesTheEnglishTexts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  afx_test::TemporaryFolder folder;
  ::setenv(std::string(AFXKorviaInterfaceBundleVariable).c_str(), (folder.path() / "Missing.bundle").c_str(), 1);
  EXPECT_EXIT(std::_Exit(AFXKorviaInterfaceBundle() == nullptr &&
                                 afx_oldDesktopClient().localizedDescription() ==
                                     "Your current version of Korvia is outdated and can no longer be used."
                             ? 0
                             : 1),
              ::testing::ExitedWithCode(0), "");
  ::unsetenv(std::string(AFXKorviaInterfaceBundleVariable).c_str());
}

}  // namespace
