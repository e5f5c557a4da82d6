#include "tools/unarchiver/qv_zip_extraction.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

const auto& files() { return fnd::FileManager::defaultManager(); }

void writeFile(const std::string& path, std::string_view contents, mode_t mode) {
  ASSERT_TRUE(files().createFileAtPath(path, bytes(contents), {.posixPermissions = static_cast<std::uint16_t>(mode)}));
}

// A bundle as the platform ships one: a framework whose Versions/Current and
// top-level names are links, an executable, Finder leftovers, and extended
// attributes on files and folders.
void makeBundle(const std::string& app) {
  const std::string framework = app + "/Contents/Frameworks/Kit.framework";
  ASSERT_TRUE(files().createDirectoryAtPath(framework + "/Versions/A/Resources", true));
  ASSERT_TRUE(files().createDirectoryAtPath(app + "/Contents/MacOS", true));
  ASSERT_TRUE(files().createDirectoryAtPath(app + "/Contents/Resources/Locked", true));
  writeFile(app + "/Contents/Info.plist", "<plist/>", 0644);
  writeFile(app + "/Contents/MacOS/Korvia", "#!/bin/sh\nexit 0\n", 0755);
  writeFile(app + "/Contents/Resources/helper", "tool", 0700);
  writeFile(app + "/Contents/Resources/.DS_Store", "finder", 0644);
  writeFile(app + "/.DS_Store", "finder", 0644);
  writeFile(framework + "/Versions/A/Kit", "binary", 0755);
  writeFile(framework + "/Versions/A/Resources/Info.plist", "<plist/>", 0644);
  writeFile(app + "/Contents/Resources/Locked/readme", "r", 0444);
  ASSERT_TRUE(files().setAttributes({.posixPermissions = 0555}, app + "/Contents/Resources/Locked"));
  ASSERT_TRUE(files().createSymbolicLinkAtPath(framework + "/Versions/Current", "A"));
  ASSERT_TRUE(files().createSymbolicLinkAtPath(framework + "/Kit", "Versions/Current/Kit"));
  ASSERT_TRUE(files().createSymbolicLinkAtPath(framework + "/Resources", "Versions/Current/Resources"));
  ASSERT_TRUE(files().createSymbolicLinkAtPath(app + "/Contents/Resources/Kit", "../Frameworks/Kit.framework"));
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(app + "/Contents/MacOS/Korvia", "com.apple.quarantine",
                                                bytes("0083;5f1e;Safari;")));
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(app + "/Contents/Info.plist", "com.korvia.tag", bytes("blue")));
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(app, "com.apple.FinderInfo",
                                                std::vector<std::uint8_t>{'A', 'P', 'P', 'L', 1, 2, 3, 4, 0, 0, 0, 0,
                                                                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                          0, 0, 0, 0, 0, 0, 0, 9}));
}

// Zips a folder's items as the platform's archiver does: each item, then
// its metadata as an AppleDouble entry when it has attributes.
void zipTree(const std::string& root, ZipWriter& zip) {
  for (const auto& [path, item] : snapshot(root)) {
    if (item.type == 'd') zip.directory(path + "/", item.mode);
    if (item.type == 'f') zip.file(path, item.contents, item.mode);
    if (item.type == 'l') zip.link(path, item.contents);
    std::vector<QVAppleDoubleAttribute> attributes;
    std::vector<std::uint8_t> finderInfo;
    for (const auto& [name, value] : item.attributes) {
      if (name == "com.apple.FinderInfo") {
        finderInfo = value;
      } else {
        attributes.push_back({name, value});
      }
    }
    if (!attributes.empty() || !finderInfo.empty()) zip.appleDouble(path, encodeAppleDouble(attributes, finderInfo));
  }
}

class ZipExtractionTest : public ::testing::Test {
 protected:
  std::string archive(const std::string& name = "archive.zip") const { return sandbox_.work() + "/" + name; }
  std::string folder() const { return sandbox_.temporary() + "/extracted"; }

  fnd::Expected<void> extract(const std::string& path, const QVUnarchiverLimits& limits = {}) {
    return QVZipExtraction::extract(path, folder(), limits, [this](double fraction) { reports_.push_back(fraction); });
  }

  // A refusal leaves nothing behind: not the extraction folder, not anything
  // beside it or in the sandbox's other places.
  void expectRefused(const fnd::Expected<void>& result, std::int64_t code) {
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(fnd::NSCocoaErrorDomain, code)) << result.error().description();
    EXPECT_FALSE(result.error().localizedDescription().empty());
    EXPECT_EQ(listing(sandbox_.temporary()), std::vector<std::string>{});
    EXPECT_EQ(listing(sandbox_.root()), (std::vector<std::string>{"home", "system", "tmp", "work"}));
    EXPECT_EQ(listing(sandbox_.work()), std::vector<std::string>{"archive.zip"});
  }

  Sandbox sandbox_;
  std::vector<double> reports_;
};

TEST_F(ZipExtractionTest, BundleUnpacksToTheSameTree) {
  const std::string source = sandbox_.root() + "/home/source";
  makeBundle(source + "/Korvia.app");
  {
    ZipWriter zip(archive());
    zipTree(source, zip);
    ASSERT_TRUE(zip.close());
  }
  const auto expected = snapshot(source);
  ASSERT_TRUE(expected.at("Korvia.app/Contents/MacOS/Korvia").attributes.contains("com.apple.quarantine"))
      << "the file system keeps no user attributes";

  auto result = extract(archive());
  ASSERT_TRUE(result) << result.error().description();
  EXPECT_EQ(describe(snapshot(folder())), describe(expected));
  EXPECT_EQ(snapshot(folder()), expected);
  EXPECT_FALSE(files().fileExistsAtPath(folder() + "/__MACOSX"));
  ASSERT_FALSE(reports_.empty());
  for (std::size_t i = 1; i < reports_.size(); ++i) EXPECT_LE(reports_[i - 1], reports_[i]);
  EXPECT_LE(reports_.back(), 1.0);
  // The modes came from the archive, so read-only folders are read-only.
  (void)files().setAttributes({.posixPermissions = 0755}, folder() + "/Korvia.app/Contents/Resources/Locked");
  (void)files().setAttributes({.posixPermissions = 0755}, source + "/Korvia.app/Contents/Resources/Locked");
}

TEST_F(ZipExtractionTest, MetadataFindsItsItemInEitherOrderAndDamagedMetadataIsDropped) {
  auto encoded = encodeAppleDouble({{"com.korvia.tag", bytes("green")}});
  auto damaged = encoded;
  damaged.resize(damaged.size() - 3);  // the value runs past the end
  {
    ZipWriter zip(archive());
    zip.appleDouble("A.app/early", encoded)
        .file("A.app/early", "e")
        .file("A.app/late", "l")
        .appleDouble("A.app/late", encoded)
        .file("A.app/damaged", "d")
        .appleDouble("A.app/damaged", damaged)
        .appleDouble("A.app/never", encoded)
        .file("__MACOSX/stray.txt", "x");
    ASSERT_TRUE(zip.close());
  }
  auto result = extract(archive());
  ASSERT_TRUE(result) << result.error().description();
  const auto tree = snapshot(folder());
  EXPECT_EQ(tree.at("A.app/early").attributes.at("com.korvia.tag"), bytes("green"));
  EXPECT_EQ(tree.at("A.app/late").attributes.at("com.korvia.tag"), bytes("green"));
  EXPECT_TRUE(tree.at("A.app/damaged").attributes.empty());
  EXPECT_EQ(listing(folder()), std::vector<std::string>{"A.app"});
  EXPECT_EQ(listing(folder() + "/A.app"), (std::vector<std::string>{"damaged", "early", "late"}));
}

TEST_F(ZipExtractionTest, MetadataNamesNeverReachSystemNamespaces) {
  {
    ZipWriter zip(archive());
    zip.file("A.app/tool", "t", 0755)
        .appleDouble("A.app/tool", encodeAppleDouble({{"security.capability", bytes("cap")},
                                                      {"trusted.x", bytes("t")}}));
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract(archive()));
  auto names = fnd::ExtendedAttributes::names(folder() + "/A.app/tool");
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, (std::vector<std::string>{"security.capability", "trusted.x"}));
  auto stored = fnd::ExtendedAttributes::value(folder() + "/A.app/tool", "user.security.capability");
  EXPECT_TRUE(stored);
}

TEST_F(ZipExtractionTest, LaterEntriesReplaceFilesButNeverFolders) {
  {
    ZipWriter zip(archive());
    zip.file("A.app/x", "old").file("A.app/x", "new").link("A.app/y", "x").file("A.app/y", "file");
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract(archive()));
  const auto tree = snapshot(folder());
  EXPECT_EQ(tree.at("A.app/x").contents, "new");
  EXPECT_EQ(tree.at("A.app/y").type, 'f');

  ASSERT_TRUE(files().removeItemAtPath(folder()));
  {
    ZipWriter zip(archive());
    zip.directory("A.app/d/").file("A.app/d", "file");
    ASSERT_TRUE(zip.close());
  }
  expectRefused(extract(archive()), fnd::NSFileReadCorruptFileError);
}

struct HostileCase {
  const char* name;
  std::function<void(ZipWriter&)> build;
  std::int64_t code;
  std::function<void(const std::string&)> patch = nullptr;
};

class HostileArchiveTest : public ZipExtractionTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchiveTest, IsRefusedWithNothingWrittenOutside) {
  {
    ZipWriter zip(archive());
    zip.file("A.app/Contents/Info.plist", "<plist/>");
    GetParam().build(zip);
    ASSERT_TRUE(zip.close());
  }
  if (GetParam().patch) GetParam().patch(archive());
  expectRefused(extract(archive()), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, HostileArchiveTest,
    ::testing::Values(
        HostileCase{"ParentInName", [](ZipWriter& z) { z.file("../escaped", "x"); }, fnd::NSFileReadCorruptFileError},
        HostileCase{"ParentInsideName", [](ZipWriter& z) { z.file("A.app/../../escaped", "x"); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"AbsoluteName",
                    [](ZipWriter& z) { z.file("/tmp/korvia-unarchiver-escaped", "x"); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"AbsoluteLink", [](ZipWriter& z) { z.link("A.app/etc", "/etc"); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"LinkOutOfTheBundle", [](ZipWriter& z) { z.link("A.app/Contents/up", "../../work"); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"LinkClimbingAfterAName",
                    [](ZipWriter& z) {
                      z.link("A.app/Contents/x", "Info.plist");
                      z.link("A.app/Contents/y", "x/../../..");
                    },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"TopLevelLinkToTheFolderItself", [](ZipWriter& z) { z.link("here", "."); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"EntryThroughALink",
                    [](ZipWriter& z) {
                      z.link("A.app/Contents/MacOS", "Resources");
                      z.file("A.app/Contents/MacOS/planted", "x");
                    },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"EntryThroughAFile", [](ZipWriter& z) { z.file("A.app/Contents/Info.plist/x", "x"); },
                    fnd::NSFileReadCorruptFileError},
        HostileCase{"Device", [](ZipWriter& z) { z.file("A.app/tty", ""); }, fnd::NSFileReadCorruptFileError,
                    [](const std::string& path) { setUnixMode(path, "A.app/tty", S_IFCHR | 0666); }},
        HostileCase{"NameNotUTF8", [](ZipWriter& z) { z.file("A.app/bad\xff", "x"); },
                    fnd::NSFileReadInvalidFileNameError},
        HostileCase{"OverlongUTF8", [](ZipWriter& z) { z.file("A.app/\xc0\xaf", "x"); },
                    fnd::NSFileReadInvalidFileNameError}),
    [](const ::testing::TestParamInfo<HostileCase>& test) { return std::string(test.param.name); });

TEST_F(ZipExtractionTest, NamesWithoutTheUTF8FlagAreCheckedToo) {
  {
    ZipWriter zip(archive());
    zip.file("A.app/caf\xc3\xa9", "ok");
    ASSERT_TRUE(zip.close());
  }
  clearUTF8Flags(archive());
  ASSERT_TRUE(extract(archive()));
  EXPECT_TRUE(files().fileExistsAtPath(folder() + "/A.app/caf\xc3\xa9"));
  ASSERT_TRUE(files().removeItemAtPath(folder()));

  {
    ZipWriter zip(archive());
    zip.file("A.app/\xed\xa0\x80", "surrogate");
    ASSERT_TRUE(zip.close());
  }
  clearUTF8Flags(archive());
  expectRefused(extract(archive()), fnd::NSFileReadInvalidFileNameError);
}

TEST_F(ZipExtractionTest, TooManyEntriesAreRefused) {
  const QVUnarchiverLimits limits{.maximumEntryCount = 4};
  {
    ZipWriter zip(archive());
    for (int i = 0; i < 4; ++i) zip.file("A.app/" + std::to_string(i), "x");
    ASSERT_TRUE(zip.close());
  }
  ASSERT_TRUE(extract(archive(), limits));
  ASSERT_TRUE(files().removeItemAtPath(folder()));
  {
    ZipWriter zip(archive());
    for (int i = 0; i < 5; ++i) zip.file("A.app/" + std::to_string(i), "x");
    ASSERT_TRUE(zip.close());
  }
  expectRefused(extract(archive(), limits), fnd::NSFileReadTooLargeError);
}

TEST_F(ZipExtractionTest, ExpansionIsRefusedOnlyPastBothTheRatioAndTheAllowance) {
  {
    ZipWriter zip(archive());
    zip.file("A.app/zeros", std::string(std::size_t{4} << 20, '\0'));
    ASSERT_TRUE(zip.close());
  }
  struct stat status {};
  ASSERT_EQ(::stat(archive().c_str(), &status), 0);
  ASSERT_LT(status.st_size * 100, std::int64_t{4} << 20) << "the archive must expand more than 100 times";

  // Far beyond the ratio, but within the allowance.
  ASSERT_TRUE(extract(archive(), {.expansionAllowance = std::uint64_t{8} << 20}));
  ASSERT_TRUE(files().removeItemAtPath(folder()));
  // Within the ratio's reach when the ratio is large enough.
  ASSERT_TRUE(extract(archive(), {.maximumExpansionRatio = 100000, .expansionAllowance = 1 << 20}));
  ASSERT_TRUE(files().removeItemAtPath(folder()));
  expectRefused(extract(archive(), {.expansionAllowance = 1 << 20}), fnd::NSFileReadTooLargeError);
}

TEST_F(ZipExtractionTest, DamagedArchiveFailsAsTheExtractionToolDoes) {
  ASSERT_TRUE(files().createFileAtPath(archive(), bytes("PK\x03\x04 this is not really a zip archive at all")));
  auto result = extract(archive());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().domain(), fnd::NSOSStatusErrorDomain);
  EXPECT_EQ(result.error().code(), 1);
  EXPECT_TRUE(result.error().userInfoValue(fnd::NSLocalizedDescriptionKey).stringValue());
  EXPECT_FALSE(files().fileExistsAtPath(folder()));
}

}  // namespace
