#include "tools/unarchiver/qv_unarchiver.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <future>
#include <string>
#include <vector>

#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/queue.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

const auto& files() { return fnd::FileManager::defaultManager(); }

struct Outcome {
  std::shared_ptr<fnd::URL> folder;
  std::optional<fnd::Error> error;
  std::vector<double> progress;
  std::vector<std::string> queues;
  int completions = 0;
};

class QVUnarchiverTest : public ::testing::Test {
 protected:
  std::string work(const std::string& name) const { return sandbox_.work() + "/" + name; }

  void makeZip(const std::string& path) {
    ZipWriter zip(path);
    zip.file(".DS_Store", "finder")
        .file("Korvia.app/Contents/Info.plist", "<plist/>")
        .file("Korvia.app/Contents/MacOS/Korvia", noise(std::size_t{3} << 20), 0755)
        .file("README.txt", "read me");
    ASSERT_TRUE(zip.close());
  }

  Outcome unpack(const std::string& archive, std::shared_ptr<fnd::URL> destination = nullptr) {
    Outcome outcome;
    QVUnarchiver::unpackArchiveAtURL(
        fnd::URL::fileURLWithPath(archive), std::move(destination), false,
        [&](double fraction) {
          outcome.progress.push_back(fraction);
          outcome.queues.push_back(fnd::Queue::currentLabel());
        },
        [&](std::shared_ptr<fnd::URL> folder, std::optional<fnd::Error> error) {
          outcome.folder = std::move(folder);
          outcome.error = std::move(error);
          outcome.queues.push_back(fnd::Queue::currentLabel());
          ++outcome.completions;
        });
    return outcome;
  }

  Sandbox sandbox_;
};

void expectRisingToOne(const std::vector<double>& progress) {
  ASSERT_GE(progress.size(), 3u);
  EXPECT_DOUBLE_EQ(progress.front(), 0.1);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]) << "report " << i;
  EXPECT_LE(progress[progress.size() - 2], 0.9 + 1e-9);
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST_F(QVUnarchiverTest, ZipWithoutDestinationIsTheTemporaryFolder) {
  makeZip(work("client.zip"));
  auto outcome = unpack(work("client.zip"));
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  ASSERT_TRUE(outcome.folder);
  EXPECT_EQ(outcome.completions, 1);
  EXPECT_EQ(outcome.folder->URLByDeletingLastPathComponent()->path(), sandbox_.temporary());
  EXPECT_EQ(outcome.folder->lastPathComponent().size(), 36u);
  EXPECT_EQ(listing(outcome.folder->path()), (std::vector<std::string>{".DS_Store", "Korvia.app", "README.txt"}));
  expectRisingToOne(outcome.progress);
  EXPECT_GT(outcome.progress.size(), 4u) << "the extraction reports as it reads";
  for (const auto& label : outcome.queues) EXPECT_EQ(label, "com.quorvex.unarchiver.internal-queue");
}

TEST_F(QVUnarchiverTest, MovingIntoTheDestinationReplacesItemsOfTheSameName) {
  makeZip(work("client.zip"));
  const std::string applications = sandbox_.root() + "/system/Applications";
  ASSERT_TRUE(files().createDirectoryAtPath(applications + "/Korvia.app/Contents/Old", true));
  ASSERT_TRUE(files().createFileAtPath(applications + "/Other.txt", bytes("stays")));

  auto outcome = unpack(work("client.zip"), fnd::URL::fileURLWithPath(applications, true));
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_EQ(outcome.folder->path(), applications);
  EXPECT_EQ(listing(applications), (std::vector<std::string>{"Korvia.app", "Other.txt", "README.txt"}));
  EXPECT_EQ(listing(applications + "/Korvia.app/Contents"), (std::vector<std::string>{"Info.plist", "MacOS"}));
  // The extraction folder goes once its content is moved.
  EXPECT_EQ(listing(sandbox_.temporary()), std::vector<std::string>{});
  expectRisingToOne(outcome.progress);
}

TEST_F(QVUnarchiverTest, MissingDestinationIsMadeAndAnUnusableOneFails) {
  makeZip(work("client.zip"));
  const std::string nested = sandbox_.root() + "/system/Applications/Deep/Er";
  auto made = unpack(work("client.zip"), fnd::URL::fileURLWithPath(nested, true));
  ASSERT_FALSE(made.error) << made.error->description();
  EXPECT_TRUE(files().fileExistsAtPath(nested + "/Korvia.app/Contents/Info.plist"));

  ASSERT_TRUE(files().createFileAtPath(work("file"), bytes("in the way")));
  auto blocked = unpack(work("client.zip"), fnd::URL::fileURLWithPath(work("file") + "/Applications", true));
  ASSERT_TRUE(blocked.error);
  EXPECT_EQ(blocked.error->domain(), fnd::NSCocoaErrorDomain);
  EXPECT_EQ(blocked.folder, nullptr);
  EXPECT_TRUE(blocked.progress.empty());
}

TEST_F(QVUnarchiverTest, AsynchronousCallReturnsAndCompletesOnItsQueue) {
  makeZip(work("client.zip"));
  std::promise<std::pair<std::shared_ptr<fnd::URL>, std::string>> done;
  QVUnarchiver::unpackArchiveAtURL(fnd::URL::fileURLWithPath(work("client.zip")), nullptr, true, nullptr,
                                   [&](std::shared_ptr<fnd::URL> folder, std::optional<fnd::Error> error) {
                                     EXPECT_FALSE(error);
                                     done.set_value({std::move(folder), fnd::Queue::currentLabel()});
                                   });
  auto [folder, label] = done.get_future().get();
  ASSERT_TRUE(folder);
  EXPECT_EQ(label, "com.quorvex.unarchiver.internal-queue");
  EXPECT_TRUE(files().fileExistsAtPath(folder->path() + "/Korvia.app"));
}

TEST_F(QVUnarchiverTest, ArchiveTypeComesFromTheNameThenTheHeader) {
  makeZip(work("client.zip"));
  EXPECT_EQ(QVUnarchiver::_archiveTypeByExtensionAtURL(*fnd::URL::fileURLWithPath("/x/Korvia.ZIP")),
            QVArchiveType::zip);
  EXPECT_EQ(QVUnarchiver::_archiveTypeByExtensionAtURL(*fnd::URL::fileURLWithPath("/x/Image.Dmg")),
            QVArchiveType::dmg);
  EXPECT_EQ(QVUnarchiver::_archiveTypeByExtensionAtURL(*fnd::URL::fileURLWithPath("/x/client.bin")),
            QVArchiveType::none);

  ASSERT_TRUE(files().copyItemAtPath(work("client.zip"), work("client.download")));
  EXPECT_EQ(QVUnarchiver::_archiveTypeByHeaderAtURL(*fnd::URL::fileURLWithPath(work("client.download"))),
            QVArchiveType::zip);
  auto byHeader = unpack(work("client.download"));
  EXPECT_FALSE(byHeader.error);

  std::vector<std::uint8_t> image(4096, 0);
  std::copy_n("koly", 4, image.end() - 512);
  ASSERT_TRUE(files().createFileAtPath(work("image.bin"), image));
  EXPECT_EQ(QVUnarchiver::_archiveTypeByHeaderAtURL(*fnd::URL::fileURLWithPath(work("image.bin"))),
            QVArchiveType::dmg);
  ASSERT_TRUE(files().createFileAtPath(work("early.bin"), bytes(std::string_view("\0\0\0\0koly", 8))));
  EXPECT_EQ(QVUnarchiver::_archiveTypeByHeaderAtURL(*fnd::URL::fileURLWithPath(work("early.bin"))),
            QVArchiveType::dmg);
  EXPECT_EQ(QVUnarchiver::_archiveTypeByHeaderAtURL(*fnd::URL::fileURLWithPath(work("missing.bin"))),
            QVArchiveType::none);
}

TEST_F(QVUnarchiverTest, UnknownTypeFails) {
  ASSERT_TRUE(files().createFileAtPath(work("small.bin"), bytes("neither zip nor image")));
  auto outcome = unpack(work("small.bin"));
  ASSERT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.error->is("com.quorvex.UnarchiverErrorDomain", -1));
  EXPECT_EQ(outcome.error->localizedDescription(), "Unknown archive type.");
  EXPECT_EQ(outcome.completions, 1);
}

TEST_F(QVUnarchiverTest, FailingImageToolReportsItsStatusAndLeavesNoMountPoint) {
  std::vector<std::uint8_t> image(4096, 0x5A);
  std::copy_n("koly", 4, image.end() - 512);
  ASSERT_TRUE(files().createFileAtPath(work("broken.dmg"), image));
  std::vector<double> progress;
  auto result = QVUnarchiver::_unarchiveDMG(*fnd::URL::fileURLWithPath(work("broken.dmg")),
                                            [&](double fraction) { progress.push_back(fraction); });
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().domain(), fnd::NSOSStatusErrorDomain);
  EXPECT_NE(result.error().code(), 0);
  EXPECT_EQ(listing(sandbox_.root() + "/system/Volumes"), std::vector<std::string>{});
  EXPECT_EQ(progress, (std::vector<double>{0.2, 0.4}));
}

TEST_F(QVUnarchiverTest, ImageContentIsCopiedWithoutFinderLeftovers) {
  const std::string mount = sandbox_.root() + "/system/Volumes/image";
  ASSERT_TRUE(files().createDirectoryAtPath(mount + "/.Trashes", true));
  ASSERT_TRUE(files().createFileAtPath(mount + "/.ds_store", bytes("f")));
  ASSERT_TRUE(files().createDirectoryAtPath(mount + "/Vendor.app/Contents", true));
  ASSERT_TRUE(files().createSymbolicLinkAtPath(mount + "/Applications", "/Applications"));
  std::vector<double> shares;
  auto copied = QVUnarchiver::_copyImageContentAtURL(*fnd::URL::fileURLWithPath(mount, true),
                                                     [&](double share) { shares.push_back(share); });
  ASSERT_TRUE(copied) << copied.error().description();
  EXPECT_EQ(listing((*copied)->path()), (std::vector<std::string>{"Applications", "Vendor.app"}));
  EXPECT_EQ(shares, std::vector<double>(4, 0.25));

  ASSERT_TRUE(files().createDirectoryAtPath(mount + "-empty", true));
  shares.clear();
  ASSERT_TRUE(QVUnarchiver::_copyImageContentAtURL(*fnd::URL::fileURLWithPath(mount + "-empty", true),
                                                   [&](double share) { shares.push_back(share); }));
  EXPECT_EQ(shares, std::vector<double>{1.0});
}

TEST_F(QVUnarchiverTest, DiskImageExtracts) {
  fnd::ProcessLaunchOptions lookup;
  lookup.executablePath = "sh";
  lookup.arguments = {"-c", "command -v mkfs.hfsplus"};
  lookup.captureStandardOutput = true;
  lookup.searchPath = true;
  auto found = fnd::Process::run(lookup);
  if (!found || found->status != 0) GTEST_SKIP() << "mkfs.hfsplus is not installed: no HFS+ image to extract";
  const std::string image = work("Vendor.dmg");
  ASSERT_TRUE(files().createFileAtPath(image, std::vector<std::uint8_t>(std::size_t{8} << 20, 0)));
  fnd::ProcessLaunchOptions format;
  format.executablePath = "mkfs.hfsplus";
  format.arguments = {"-v", "Vendor", image};
  format.searchPath = true;
  auto formatted = fnd::Process::run(format);
  ASSERT_TRUE(formatted && formatted->status == 0);
  std::vector<double> progress;
  auto extracted = QVUnarchiver::_unarchiveDMG(*fnd::URL::fileURLWithPath(image),
                                               [&](double fraction) { progress.push_back(fraction); });
  ASSERT_TRUE(extracted) << extracted.error().description();
  EXPECT_TRUE(files().fileExistsAtPath((*extracted)->path()));
  EXPECT_EQ(listing(sandbox_.root() + "/system/Volumes"), std::vector<std::string>{});
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST_F(QVUnarchiverTest, MovingAMissingSourceIsAnError) {
  auto moved = QVUnarchiver::_moveContentAtURL(*fnd::URL::fileURLWithPath(work("gone")),
                                               *fnd::URL::fileURLWithPath(work("dest"), true));
  ASSERT_FALSE(moved);
  EXPECT_TRUE(moved.error().is(fnd::NSCocoaErrorDomain, fnd::NSFileReadNoSuchFileError));
}

TEST_F(QVUnarchiverTest, IgnoredNamesMatchInAnyCase) {
  for (const char* name : {".DS_Store", ".ds_store", ".Trashes", ".TRASHES"}) {
    EXPECT_TRUE(QVUnarchiver::_shouldIgnoreItemAtURL(*fnd::URL::fileURLWithPath(std::string("/v/") + name))) << name;
  }
  EXPECT_FALSE(QVUnarchiver::_shouldIgnoreItemAtURL(*fnd::URL::fileURLWithPath("/v/.DS_Store.txt")));
}

}  // namespace
