#include "installer/afx_downloader_workflow.h"

#include <cstdlib>

#include "foundation/check.h"
#include "foundation/crypto.h"
#include "foundation/file_manager.h"
#include "foundation/search_paths.h"
#include "foundation/url_error.h"
#include "foundation/url_request.h"
#include "foundation/url_response.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"
#include "tools/unarchiver/qv_unarchiver.h"

namespace {

constexpr std::string_view kChecksumSuffix = ".sha256";
constexpr std::size_t kDigestHexLength = 64;

using ChecksumPromise = std::promise<std::optional<std::vector<std::uint8_t>>>;

// The first word of a "<hex digest>  <name>" line.
std::optional<std::vector<std::uint8_t>> digestInChecksumFile(const std::shared_ptr<fnd::Data>& data) {
  if (!data) return std::nullopt;
  const std::string text(data->bytes().begin(), data->bytes().end());
  const std::string word = text.substr(0, text.find_first_of(" \t\r\n"));
  if (word.size() != kDigestHexLength) return std::nullopt;
  auto digest = fnd::crypto::hexDecode(word);
  return digest ? std::optional<std::vector<std::uint8_t>>(std::move(*digest)) : std::nullopt;
}

}  // namespace

std::shared_ptr<fnd::URL> AFXDesktopClientArchiveURL() {
  return fnd::URL::URLWithString(AFXDistributionBaseURLString() + std::string(AFXDesktopClientArchivePath));
}

// Forwards the session's calls to the downloader without keeping it alive.
class AFXDownloaderWorkflow::SessionDelegate final : public fnd::URLSessionDownloadDelegate {
 public:
  explicit SessionDelegate(std::weak_ptr<AFXDownloaderWorkflow> owner) : owner_(std::move(owner)) {}

  void URLSessionDownloadTaskDidFinishDownloadingToURL(fnd::URLSession&, fnd::URLSessionDownloadTask& task,
                                                       const std::shared_ptr<fnd::URL>& location) override {
    if (auto owner = current(task)) owner->didFinishDownloadingToURL(location);
  }
  void URLSessionDownloadTaskDidWriteData(fnd::URLSession&, fnd::URLSessionDownloadTask& task, std::int64_t,
                                          std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) override {
    if (auto owner = current(task)) owner->didWriteData(totalBytesWritten, totalBytesExpectedToWrite);
  }
  void URLSessionTaskDidCompleteWithError(fnd::URLSession&, fnd::URLSessionTask& task,
                                          const std::optional<fnd::Error>& error) override {
    if (auto owner = current(task)) owner->didCompleteWithError(error);
  }

 private:
  // Only the current transfer speaks for the downloader.
  std::shared_ptr<AFXDownloaderWorkflow> current(const fnd::URLSessionTask& task) const {
    auto owner = owner_.lock();
    if (!owner || owner->task_.get() != &task) return nullptr;
    return owner;
  }
  std::weak_ptr<AFXDownloaderWorkflow> owner_;
};

std::shared_ptr<AFXDownloaderWorkflow> AFXDownloaderWorkflow::initWithDelegate(std::weak_ptr<AFXDownloaderDelegate> delegate) {
  auto downloader = std::make_shared<AFXDownloaderWorkflow>(Token{}, std::move(delegate));
  downloader->sessionDelegate_ = std::make_shared<SessionDelegate>(downloader);
  downloader->downloadSession_ = fnd::URLSession::sessionWithConfiguration(
      fnd::URLSessionConfiguration::defaultSessionConfiguration(), downloader->sessionDelegate_, downloader->privateQueue_);
  // The digest has a session of its own, so the archive's callback can wait
  // for it.
  downloader->checksumSession_ =
      fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration());
  return downloader;
}

AFXDownloaderWorkflow::AFXDownloaderWorkflow(Token, std::weak_ptr<AFXDownloaderDelegate> delegate)
    : delegate_(std::move(delegate)), privateQueue_(QVQueueBuilder::internalQueueWithName("downloader-workflow")) {}

AFXDownloaderWorkflow::~AFXDownloaderWorkflow() {
  if (downloadSession_) downloadSession_->invalidateAndCancel();
  if (checksumSession_) checksumSession_->invalidateAndCancel();
}

double AFXDownloaderWorkflow::progress() const {
  return privateQueue_.isCurrent() ? progress_ : privateQueue_.sync([this] { return progress_; });
}

std::uint64_t AFXDownloaderWorkflow::silentResumeAttempt() const {
  return privateQueue_.isCurrent() ? silentResumeAttempt_ : privateQueue_.sync([this] { return silentResumeAttempt_; });
}

// Controls

void AFXDownloaderWorkflow::start() {
  privateQueue_.async([self = shared_from_this()] { self->startOnQueue(); });
}

void AFXDownloaderWorkflow::startOnQueue() {
  if (task_ && task_->state() == fnd::URLSessionTaskState::running) return;
  silentResumeAttempt_ = 0;
  progress_ = 0.0;
  fetchChecksum();
  fnd::URLRequest request(AFXDesktopClientArchiveURL(), fnd::URLRequestCachePolicy::reloadIgnoringLocalCacheData,
                          kRequestTimeout);
  task_ = downloadSession_->downloadTaskWithRequest(request);
  task_->resume();
}

void AFXDownloaderWorkflow::fetchChecksum() {
  auto promise = std::make_shared<ChecksumPromise>();
  checksum_ = promise->get_future().share();
  auto url = fnd::URL::URLWithString(AFXDesktopClientArchiveURL()->absoluteString() + std::string(kChecksumSuffix));
  fnd::URLRequest request(url, fnd::URLRequestCachePolicy::reloadIgnoringLocalCacheData, kRequestTimeout);
  auto task = checksumSession_->dataTaskWithRequest(
      request, [promise](const std::shared_ptr<fnd::Data>& data, const std::shared_ptr<fnd::HTTPURLResponse>& response,
                         const std::optional<fnd::Error>& error) {
        if (error || !response || response->statusCode() != 200) {
          // Not published (or not reachable): the archive goes unchecked.
          if (error) DDLogWarn("Cannot read the archive's digest: %@", *error);
          promise->set_value(std::nullopt);
          return;
        }
        auto digest = digestInChecksumFile(data);
        // A published digest that cannot be read refuses every archive.
        promise->set_value(digest ? std::move(digest) : std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{}));
      });
  task->resume();
}

void AFXDownloaderWorkflow::suspend() {
  std::weak_ptr<AFXDownloaderWorkflow> weak = weak_from_this();
  privateQueue_.async([weak] {
    auto self = weak.lock();
    if (!self || !self->task_) return;
    self->resumeData_.reset();
    self->task_->cancelByProducingResumeData([weak](const std::shared_ptr<fnd::Data>& data) {
      auto owner = weak.lock();
      if (!owner) return;
      owner->privateQueue_.async([owner, data] { owner->resumeData_ = data; });
    });
  });
}

void AFXDownloaderWorkflow::resume() {
  privateQueue_.async([self = shared_from_this()] { self->resumeOnQueue(); });
}

void AFXDownloaderWorkflow::resumeOnQueue() {
  if (!resumeData_) return;
  task_ = downloadSession_->downloadTaskWithResumeData(resumeData_);
  task_->resume();
}

void AFXDownloaderWorkflow::stop() {
  downloadSession_->invalidateAndCancel();
  checksumSession_->invalidateAndCancel();
}

// Session reports, on the private queue

void AFXDownloaderWorkflow::didWriteData(std::int64_t written, std::int64_t expected) {
  auto delegate = delegate_.lock();
  if (progress_ == 0.0 && delegate) delegate->downloaderDidStarted(*this);
  silentResumeAttempt_ = 0;
  progress_ = expected > 0 ? static_cast<double>(written) / static_cast<double>(expected) : 0.0;
  if (delegate) delegate->downloaderDidUpdateDownloadingProgress(*this, progress_);
}

std::optional<fnd::Error> AFXDownloaderWorkflow::refusalOfArchive(const fnd::URL& location) {
  if (!checksum_.valid()) return std::nullopt;
  const auto& expected = checksum_.get();
  if (!expected) return std::nullopt;
  auto actual = fnd::crypto::digestOfFile(fnd::crypto::Digest::Algorithm::sha256, location.path());
  if (actual && *actual == *expected) return std::nullopt;
  DDLogError("The downloaded archive does not match its published digest");
  return afx_corruptedDesktopClient();
}

void AFXDownloaderWorkflow::didFinishDownloadingToURL(const std::shared_ptr<fnd::URL>& location) {
  auto delegate = delegate_.lock();
  if (!location) {
    if (delegate) delegate->downloaderDidFailWithError(*this, std::nullopt);
    return;
  }
  if (delegate) delegate->downloaderDidFinishDownloadingToURL(*this, location);
  if (auto refused = refusalOfArchive(*location)) {
    if (delegate) delegate->downloaderDidFailWithError(*this, refused);
    return;
  }
  const auto applications =
      fnd::URL::fileURLWithPath(fnd::SearchPaths::path(fnd::SearchPathLocation::applications), true);
  std::shared_ptr<fnd::URL> folder;
  std::optional<fnd::Error> failure;
  QVUnarchiver::unpackArchiveAtURL(location, applications, false, nullptr,
                                   [&](std::shared_ptr<fnd::URL> result, std::optional<fnd::Error> error) {
                                     folder = std::move(result);
                                     failure = std::move(error);
                                   });
  auto candidate = folder ? folder->URLByAppendingPathComponent(AFXDesktopClientBundleName, true) : nullptr;
  if (!failure && candidate && fnd::FileManager::defaultManager().fileExistsAtPath(candidate->path())) {
    if (delegate) delegate->downloaderDidFinishUnarchivingToURL(*this, candidate);
    return;
  }
  if (delegate) delegate->downloaderDidFailWithError(*this, failure);
}

void AFXDownloaderWorkflow::didCompleteWithError(const std::optional<fnd::Error>& error) {
  if (!error || error->code() == fnd::NSURLErrorCancelled) return;
  auto resumeData = error->userInfo() ? error->userInfo()->objectForKey(fnd::NSURLSessionDownloadTaskResumeData).as<fnd::Data>()
                                      : nullptr;
  if (resumeData && silentResumeAttempt_ < kMaximumSilentResumeAttempts) {
    ++silentResumeAttempt_;
    resumeData_ = resumeData;
    resumeOnQueue();
    return;
  }
  if (auto delegate = delegate_.lock()) delegate->downloaderDidFailWithError(*this, error);
}
