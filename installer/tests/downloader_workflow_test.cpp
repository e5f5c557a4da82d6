// The client downloader against the loopback distribution server: the
// whole road into the applications folder, silent resumption after a cut,
// archives without the client, and the published digest.

#include "installer/afx_downloader_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "devtools/distribution_server/distribution_server.h"
#include "foundation/crypto.h"
#include "foundation/file_manager.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/search_paths.h"
#include "interface/errors/afx_errors.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

namespace dist = korvia::distribution;
using fnd::ipc::testing::Inbox;

struct Report {
  std::string kind;
  double fraction = 0;
  std::string path;
  std::optional<fnd::Error> error;
};

class RecordingDelegate final : public AFXDownloaderDelegate {
 public:
  Inbox<Report> reports;
  void downloaderDidStarted(AFXDownloaderWorkflow&) override { reports.put(Report{"started", 0, "", std::nullopt}); }
  void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double fraction) override {
    reports.put(Report{"progress", fraction, "", std::nullopt});
  }
  void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>& url) override {
    reports.put(Report{"downloaded", 0, url->path(), std::nullopt});
  }
  void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>& url) override {
    reports.put(Report{"unarchived", 0, url->path(), std::nullopt});
  }
  void downloaderDidFailWithError(AFXDownloaderWorkflow&, const std::optional<fnd::Error>& error) override {
    reports.put({"failed", 0, "", error});
  }
  // Waits for the end of the road, whichever it is.
  std::optional<Report> end() {
    for (int i = 0; i < 400; ++i) {
      for (const auto& report : reports.items()) {
        if (report.kind == "unarchived" || report.kind == "failed") return report;
      }
      reports.waitForCount(reports.size() + 1, std::chrono::milliseconds(50));
    }
    return std::nullopt;
  }
  std::size_t count(const std::string& kind) const {
    std::size_t n = 0;
    for (const auto& report : reports.items()) n += report.kind == kind;
    return n;
  }
};

class DownloaderWorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string root = sandbox_.work() + "/served/com.korvia.DesktopClient";
    ASSERT_TRUE(fnd::FileManager::defaultManager().createDirectoryAtPath(root, true));
    archive_ = root + "/Korvia.zip";
    writeArchive("Korvia.app");
  }

  void writeArchive(const std::string& bundleName) {
    unarchiver_test::ZipWriter zip(archive_);
    zip.file(bundleName + "/Contents/Info.plist", "<plist/>");
    // Big enough, and incompressible, to arrive in several writes and to be cut.
    std::string noise(3 << 20, '\0');
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (char& c : noise) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      c = static_cast<char>(state);
    }
    zip.file(bundleName + "/Contents/MacOS/Korvia", noise, 0755);
    ASSERT_TRUE(zip.close());
  }

  void serve(dist::Faults faults = {}) {
    dist::Options options;
    options.rootFolder = sandbox_.work() + "/served";
    options.faults = std::move(faults);
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server) << server.error().description();
    server_ = std::move(*server);
    sandbox_.set(std::string(AFXDistributionURLVariable), server_->baseURL());
  }

  std::optional<Report> download() {
    auto downloader = AFXDownloaderWorkflow::initWithDelegate(delegate_);
    downloader->start();
    auto end = delegate_->end();
    downloader->stop();
    return end;
  }

  std::string installedClient() const {
    return fnd::SearchPaths::path(fnd::SearchPathLocation::applications) + "/Korvia.app";
  }

  unarchiver_test::Sandbox sandbox_;
  std::string archive_;
  std::unique_ptr<dist::Server> server_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(DownloaderWorkflowTest, TheClientArrivesInTheApplicationsFolder) {
  serve();
  auto end = download();
  ASSERT_TRUE(end);
  ASSERT_EQ(end->kind, "unarchived") << (end->error ? end->error->description() : "no error");
  EXPECT_EQ(end->path, installedClient());
  EXPECT_TRUE(fnd::FileManager::defaultManager().fileExistsAtPath(installedClient() + "/Contents/MacOS/Korvia"));
  const auto reports = delegate_->reports.items();
  ASSERT_GE(reports.size(), 4u);
  EXPECT_EQ(reports.front().kind, "started");
  EXPECT_EQ(delegate_->count("started"), 1u);
  double last = 0;
  for (const auto& report : reports) {
    if (report.kind != "progress") continue;
    EXPECT_GE(report.fraction, last);
    last = report.fraction;
  }
  EXPECT_DOUBLE_EQ(last, 1.0);
  EXPECT_EQ(delegate_->count("downloaded"), 1u);
  // The archive came from the documented path, its digest from beside it.
  std::vector<std::string> paths;
  for (const auto& request : server_->waitForServedRequests(2)) paths.push_back(request.path);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"/com.korvia.DesktopClient/Korvia.zip",
                                             "/com.korvia.DesktopClient/Korvia.zip.sha256"}));
}

TEST_F(DownloaderWorkflowTest, ACutTransferIsResumedWithoutAWord) {
  serve({.cutAfterBytes = 1 << 20});
  auto end = download();
  ASSERT_TRUE(end);
  ASSERT_EQ(end->kind, "unarchived") << (end->error ? end->error->description() : "no error");
  EXPECT_EQ(delegate_->count("failed"), 0u);
  bool resumedWithRange = false;
  for (const auto& request : server_->servedRequests()) resumedWithRange |= request.range.has_value();
  EXPECT_TRUE(resumedWithRange);
}

TEST_F(DownloaderWorkflowTest, ATransferThatProgressesBetweenCutsIsResumedPastThreeTimes) {
  serve({.cutAfterBytes = 256 << 10, .cutEveryTime = true});
  auto end = download();
  ASSERT_TRUE(end);
  ASSERT_EQ(end->kind, "unarchived") << (end->error ? end->error->description() : "no error");
  std::size_t resumptions = 0;
  for (const auto& request : server_->servedRequests()) resumptions += request.range.has_value();
  EXPECT_GT(resumptions, AFXDownloaderWorkflow::kMaximumSilentResumeAttempts);
  EXPECT_EQ(delegate_->count("failed"), 0u);
}

TEST_F(DownloaderWorkflowTest, WithoutAnExpectedLengthEveryReportIsAStartAtZero) {
  serve({.omitContentLength = true});
  auto end = download();
  ASSERT_TRUE(end);
  EXPECT_EQ(end->kind, "unarchived");
  std::size_t progress = 0;
  for (const auto& report : delegate_->reports.items()) {
    if (report.kind != "progress") continue;
    ++progress;
    EXPECT_EQ(report.fraction, 0.0);
  }
  EXPECT_EQ(delegate_->count("started"), progress);
}

TEST_F(DownloaderWorkflowTest, AnArchiveWithoutTheClientFailsWithNoError) {
  writeArchive("Other.app");
  serve();
  auto end = download();
  ASSERT_TRUE(end);
  EXPECT_EQ(end->kind, "failed");
  EXPECT_FALSE(end->error);
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(installedClient()));
}

TEST_F(DownloaderWorkflowTest, AnArchiveThatDoesNotMatchItsPublishedDigestIsNeverUnpacked) {
  std::ofstream(archive_ + ".sha256") << std::string(64, 'a') << "  Korvia.zip\n";
  serve();
  auto end = download();
  ASSERT_TRUE(end);
  ASSERT_EQ(end->kind, "failed");
  ASSERT_TRUE(end->error);
  EXPECT_TRUE(end->error->is(AFXDefaultErrorDomain, AFXErrorCodeUnusableDesktopClient)) << end->error->description();
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(installedClient()));

  // The right digest lets it through.
  auto digest = fnd::crypto::digestOfFile(fnd::crypto::Digest::Algorithm::sha256, archive_);
  ASSERT_TRUE(digest);
  std::ofstream(archive_ + ".sha256") << fnd::crypto::hexEncode(*digest) << "  Korvia.zip\n";
  delegate_ = std::make_shared<RecordingDelegate>();
  auto second = download();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->kind, "unarchived") << (second->error ? second->error->description() : "");
}

TEST_F(DownloaderWorkflowTest, AMissingArchiveIsAFailure) {
  serve({.statusForPath = {{"/com.korvia.DesktopClient/Korvia.zip", 404}}});
  auto end = download();
  ASSERT_TRUE(end);
  EXPECT_EQ(end->kind, "failed");
  EXPECT_FALSE(fnd::FileManager::defaultManager().fileExistsAtPath(installedClient()));
}

}  // namespace
