// URL sessions against the distribution server on loopback: downloads,
// resumption after each kind of fault, time-outs, TLS trust, cancellation and
// file errors.

#include "foundation/url_session.h"

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <array>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/distribution_server/test_certificates.h"
#include "foundation/crypto.h"
#include "foundation/property_list.h"
#include "foundation/url_error.h"

namespace fnd {
namespace {

namespace fs = std::filesystem;
namespace dist = korvia::distribution;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kArchiveSize = 2 * 1024 * 1024 + 17;
constexpr const char* kArchivePath = "/com.korvia.DesktopClient/Korvia.zip";

Bytes readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::string sha256(const Bytes& bytes) { return crypto::hexEncode(crypto::sha256(bytes)); }

// Records what the session reports, on the delegate queue, and lets the test
// wait for a task's end.
class Recorder final : public URLSessionDownloadDelegate, public URLSessionDataDelegate {
 public:
  explicit Recorder(Queue queue) : queue_(std::move(queue)) {}

  struct Completion {
    std::optional<Error> error;
    std::shared_ptr<HTTPURLResponse> response;
  };

  void URLSessionDownloadTaskDidFinishDownloadingToURL(URLSession&, URLSessionDownloadTask& task,
                                                       const std::shared_ptr<URL>& location) override {
    EXPECT_TRUE(queue_.isCurrent());
    std::lock_guard lock(mutex_);
    locations_[task.taskIdentifier()] = location->path();
    files_[task.taskIdentifier()] = readFile(location->path());
    events_.push_back("finish");
  }
  void URLSessionDownloadTaskDidWriteData(URLSession&, URLSessionDownloadTask& task, std::int64_t written,
                                          std::int64_t total, std::int64_t expected) override {
    EXPECT_TRUE(queue_.isCurrent());
    std::function<void(URLSessionDownloadTask&)> hook;
    {
      std::lock_guard lock(mutex_);
      auto& reports = writes_[task.taskIdentifier()];
      const std::int64_t previous = reports.empty() ? startOffset_[task.taskIdentifier()] : reports.back()[1];
      EXPECT_EQ(total, previous + written) << "totals must add up";
      reports.push_back({written, total, expected});
      if (events_.empty() || events_.back() != "write") events_.push_back("write");
      hook = std::exchange(onWrite_, nullptr);
    }
    if (hook) hook(task);
  }
  void URLSessionDownloadTaskDidResumeAtOffset(URLSession&, URLSessionDownloadTask& task, std::int64_t offset,
                                               std::int64_t expected) override {
    std::lock_guard lock(mutex_);
    resumes_[task.taskIdentifier()] = {offset, expected};
    startOffset_[task.taskIdentifier()] = offset;
    events_.push_back("resume");
  }
  void URLSessionDataTaskDidReceiveResponse(URLSession&, URLSessionDataTask&,
                                            const std::shared_ptr<HTTPURLResponse>&) override {
    std::lock_guard lock(mutex_);
    events_.push_back("response");
  }
  void URLSessionDataTaskDidReceiveData(URLSession&, URLSessionDataTask& task,
                                        const std::shared_ptr<Data>& data) override {
    std::lock_guard lock(mutex_);
    auto& body = files_[task.taskIdentifier()];
    body.insert(body.end(), data->bytes().begin(), data->bytes().end());
    if (events_.empty() || events_.back() != "data") events_.push_back("data");
  }
  void URLSessionTaskDidCompleteWithError(URLSession&, URLSessionTask& task,
                                          const std::optional<Error>& error) override {
    EXPECT_TRUE(queue_.isCurrent());
    std::lock_guard lock(mutex_);
    completions_[task.taskIdentifier()] = {error, task.response()};
    events_.push_back("complete");
    changed_.notify_all();
  }
  void URLSessionDidBecomeInvalidWithError(URLSession&, const std::optional<Error>& error) override {
    std::lock_guard lock(mutex_);
    EXPECT_FALSE(error.has_value());
    invalid_ = true;
    events_.push_back("invalid");
    changed_.notify_all();
  }

  Completion waitForCompletion(const URLSessionTask& task) {
    std::unique_lock lock(mutex_);
    const bool ended =
        changed_.wait_for(lock, 10s, [&] { return completions_.contains(task.taskIdentifier()); });
    EXPECT_TRUE(ended) << "task " << task.taskIdentifier() << " did not complete";
    return ended ? completions_[task.taskIdentifier()] : Completion{};
  }
  bool waitForInvalidation() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return invalid_; });
  }
  void onNextWrite(std::function<void(URLSessionDownloadTask&)> hook) {
    std::lock_guard lock(mutex_);
    onWrite_ = std::move(hook);
  }

  Bytes file(std::uint64_t task) {
    std::lock_guard lock(mutex_);
    return files_[task];
  }
  std::string location(std::uint64_t task) {
    std::lock_guard lock(mutex_);
    return locations_[task];
  }
  std::vector<std::array<std::int64_t, 3>> writes(std::uint64_t task) {
    std::lock_guard lock(mutex_);
    return writes_[task];
  }
  std::optional<std::pair<std::int64_t, std::int64_t>> resumedAt(std::uint64_t task) {
    std::lock_guard lock(mutex_);
    if (!resumes_.contains(task)) return std::nullopt;
    return resumes_[task];
  }
  std::vector<std::string> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  Queue queue_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, Completion> completions_;
  std::map<std::uint64_t, Bytes> files_;
  std::map<std::uint64_t, std::string> locations_;
  std::map<std::uint64_t, std::vector<std::array<std::int64_t, 3>>> writes_;
  std::map<std::uint64_t, std::pair<std::int64_t, std::int64_t>> resumes_;
  std::map<std::uint64_t, std::int64_t> startOffset_;
  std::vector<std::string> events_;
  std::function<void(URLSessionDownloadTask&)> onWrite_;
  bool invalid_ = false;
};

class URLSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = fs::temp_directory_path() / "url-session-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    suiteFolder_ = new std::string(pattern);
    ASSERT_TRUE(dist::makeTestCertificates(*suiteFolder_ + "/trusted").hasValue());
    ASSERT_TRUE(dist::makeTestCertificates(*suiteFolder_ + "/stranger").hasValue());
    fs::create_directories(*suiteFolder_ + "/root/com.korvia.DesktopClient");
    std::mt19937 random(246);
    archive_ = new Bytes(kArchiveSize);
    for (auto& byte : *archive_) byte = static_cast<std::uint8_t>(random());
    std::ofstream(*suiteFolder_ + "/root" + kArchivePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(archive_->data()), static_cast<std::streamsize>(archive_->size()));
    ::setenv("KORVIA_CA_FILE", (*suiteFolder_ + "/trusted/ca.pem").c_str(), 1);
  }
  static void TearDownTestSuite() {
    fs::remove_all(*suiteFolder_);
    delete suiteFolder_;
    delete archive_;
  }

  void SetUp() override {
    downloads_ = *suiteFolder_ + "/downloads-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(downloads_);
    ::setenv("TMPDIR", downloads_.c_str(), 1);
    startServer("trusted");
    makeSession(URLSessionConfiguration::defaultSessionConfiguration());
  }
  void TearDown() override {
    if (session_) {
      session_->invalidateAndCancel();
      EXPECT_TRUE(recorder_->waitForInvalidation());
      EXPECT_EQ(recorder_->events().back(), "invalid");
    }
    server_.reset();
    ::unsetenv("TMPDIR");
  }

  void startServer(const std::string& certificates, dist::Faults faults = {}, const std::string& host = "127.0.0.1") {
    dist::Options options;
    options.rootFolder = *suiteFolder_ + "/root";
    options.host = host;
    options.certificateChainFile = *suiteFolder_ + "/" + certificates + "/server.pem";
    options.privateKeyFile = *suiteFolder_ + "/" + certificates + "/server-key.pem";
    options.faults = std::move(faults);
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server.hasValue()) << server.error().description();
    server_ = std::move(server).value();
  }
  void makeSession(const URLSessionConfiguration& configuration) {
    if (session_) {
      session_->invalidateAndCancel();
      EXPECT_TRUE(recorder_->waitForInvalidation());
    }
    recorder_ = std::make_shared<Recorder>(queue_);
    session_ = URLSession::sessionWithConfiguration(configuration, recorder_, queue_);
  }

  std::shared_ptr<URL> archiveURL(const std::string& path = kArchivePath) const {
    return URL::URLWithString(server_->baseURL() + path);
  }
  URLRequest archiveRequest(double timeout = 10) const {
    return URLRequest(archiveURL(), URLRequestCachePolicy::reloadIgnoringLocalCacheData, timeout);
  }
  void setFaults(dist::Faults faults) { server_->setFaults(std::move(faults)); }

  std::shared_ptr<URLSessionDownloadTask> download(const URLRequest& request) {
    auto task = session_->downloadTaskWithRequest(request);
    task->resume();
    return task;
  }
  std::shared_ptr<URLSessionDownloadTask> resume(const std::shared_ptr<Data>& data) {
    auto task = session_->downloadTaskWithResumeData(data);
    task->resume();
    return task;
  }
  // The interrupted download's resume data, checking the error on the way.
  std::shared_ptr<Data> resumeDataOf(const Recorder::Completion& completion, std::int64_t code) {
    EXPECT_TRUE(completion.error.has_value());
    if (!completion.error) return nullptr;
    EXPECT_EQ(completion.error->domain(), NSURLErrorDomain);
    EXPECT_EQ(completion.error->code(), code) << completion.error->description();
    return completion.error->userInfoValue(NSURLSessionDownloadTaskResumeData).as<Data>();
  }
  std::uint64_t bodyBytesServed() const {
    std::uint64_t sum = 0;
    for (const auto& request : server_->servedRequests()) sum += request.bodyBytesSent;
    return sum;
  }
  std::size_t filesLeftBehind() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(downloads_), fs::directory_iterator()));
  }
  void expectArchive(const URLSessionTask& task) {
    EXPECT_EQ(sha256(recorder_->file(task.taskIdentifier())), sha256(*archive_));
    EXPECT_FALSE(fs::exists(recorder_->location(task.taskIdentifier()))) << "the file is removed after the call";
  }

  static std::string* suiteFolder_;
  static Bytes* archive_;
  std::string downloads_;
  Queue queue_ = Queue::serial("com.korvia.test.url-session-delegate");
  std::unique_ptr<dist::Server> server_;
  std::shared_ptr<Recorder> recorder_;
  std::shared_ptr<URLSession> session_;
};

std::string* URLSessionTest::suiteFolder_ = nullptr;
Bytes* URLSessionTest::archive_ = nullptr;

TEST_F(URLSessionTest, DownloadsOverTLSWithExactProgressAndRemovesTheFileAfterTheCall) {
  auto first = download(archiveRequest());
  auto second = download(archiveRequest());
  EXPECT_NE(first->taskIdentifier(), second->taskIdentifier());
  for (const auto& task : {first, second}) {
    const auto completion = recorder_->waitForCompletion(*task);
    ASSERT_FALSE(completion.error) << completion.error->description();
    ASSERT_TRUE(completion.response);
    EXPECT_EQ(completion.response->statusCode(), 200);
    EXPECT_EQ(completion.response->expectedContentLength(), static_cast<std::int64_t>(kArchiveSize));
    EXPECT_TRUE(completion.response->valueForHTTPHeaderField("etag").has_value());
    expectArchive(*task);
    const auto writes = recorder_->writes(task->taskIdentifier());
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back()[1], static_cast<std::int64_t>(kArchiveSize));
    EXPECT_EQ(writes.back()[2], static_cast<std::int64_t>(kArchiveSize));
    EXPECT_EQ(task->state(), URLSessionTaskState::completed);
    EXPECT_EQ(task->countOfBytesReceived(), static_cast<std::int64_t>(kArchiveSize));
  }
  EXPECT_EQ(filesLeftBehind(), 0u);
}

TEST_F(URLSessionTest, UnknownLengthReportsMinusOneAndStillArrivesWhole) {
  setFaults({.omitContentLength = true});
  auto task = download(archiveRequest());
  const auto completion = recorder_->waitForCompletion(*task);
  ASSERT_FALSE(completion.error) << completion.error->description();
  EXPECT_EQ(completion.response->expectedContentLength(), -1);
  for (const auto& write : recorder_->writes(task->taskIdentifier())) EXPECT_EQ(write[2], -1);
  expectArchive(*task);
}

TEST_F(URLSessionTest, CutConnectionResumesWhereItStoppedWithoutFetchingAByteTwice) {
  for (const bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "with length");
    server_->clearServedRequests();
    constexpr std::uint64_t kCut = 1024 * 1024 + 3;
    setFaults({.cutAfterBytes = kCut, .omitContentLength = chunked});
    auto first = download(archiveRequest());
    const auto failed = recorder_->waitForCompletion(*first);
    auto data = resumeDataOf(failed, NSURLErrorNetworkConnectionLost);
    ASSERT_TRUE(data);
    EXPECT_EQ(failed.error->userInfoValue(NSURLErrorFailingURLStringErrorKey).stringValue(),
              archiveURL()->absoluteString());
    EXPECT_TRUE(failed.error->userInfoValue(NSURLErrorFailingURLErrorKey).as<URL>());

    auto second = resume(data);
    const auto completion = recorder_->waitForCompletion(*second);
    ASSERT_FALSE(completion.error) << completion.error->description();
    EXPECT_EQ(completion.response->statusCode(), 206);
    const auto resumedAt = recorder_->resumedAt(second->taskIdentifier());
    ASSERT_TRUE(resumedAt);
    EXPECT_EQ(resumedAt->first, static_cast<std::int64_t>(kCut));
    // Content-Range tells the whole length even when the body is chunked.
    EXPECT_EQ(resumedAt->second, static_cast<std::int64_t>(kArchiveSize));
    expectArchive(*second);

    const auto served = server_->waitForServedRequests(2);
    ASSERT_EQ(served.size(), 2u);
    EXPECT_EQ(served[1].range, "bytes=" + std::to_string(kCut) + "-");
    EXPECT_TRUE(served[1].ifRange.has_value());
    EXPECT_EQ(served[1].status, 206);
    EXPECT_EQ(bodyBytesServed(), kArchiveSize);
    EXPECT_EQ(filesLeftBehind(), 0u);
  }
}

TEST_F(URLSessionTest, ChangedEntityOrIgnoredRangeStartsOverFromZero) {
  for (const bool changeTag : {true, false}) {
    SCOPED_TRACE(changeTag ? "entity tag changed" : "range ignored");
    server_->clearServedRequests();
    setFaults({.cutAfterBytes = 700000, .changeETag = changeTag});
    auto first = download(archiveRequest());
    auto data = resumeDataOf(recorder_->waitForCompletion(*first), NSURLErrorNetworkConnectionLost);
    ASSERT_TRUE(data);
    // The date still matches, so the entity tag is what must tell the change.
    setFaults({.ignoreRange = !changeTag, .changeETag = changeTag});

    auto second = resume(data);
    const auto completion = recorder_->waitForCompletion(*second);
    ASSERT_FALSE(completion.error) << completion.error->description();
    EXPECT_EQ(completion.response->statusCode(), 200);
    EXPECT_EQ(recorder_->resumedAt(second->taskIdentifier()),
              std::make_pair(std::int64_t{0}, static_cast<std::int64_t>(kArchiveSize)));
    expectArchive(*second);
    EXPECT_EQ(recorder_->writes(second->taskIdentifier()).back()[1], static_cast<std::int64_t>(kArchiveSize));
    const auto served = server_->waitForServedRequests(2);
    ASSERT_EQ(served.size(), 2u);
    EXPECT_EQ(served[1].bodyBytesSent, kArchiveSize);
  }
}

TEST_F(URLSessionTest, HTTPErrorStatusesAreAnswersNotErrors) {
  setFaults({.statusForPath = {{kArchivePath, 500}}});
  auto failing = download(archiveRequest());
  auto missing = download(URLRequest(archiveURL("/com.korvia.DesktopClient/Missing.zip")));
  for (const auto& [task, status] : {std::pair{failing, 500}, std::pair{missing, 404}}) {
    const auto completion = recorder_->waitForCompletion(*task);
    EXPECT_FALSE(completion.error);
    ASSERT_TRUE(completion.response);
    EXPECT_EQ(completion.response->statusCode(), status);
  }
  // The same for a data task with a completion handler.
  std::promise<std::pair<std::int64_t, bool>> answered;
  auto task = session_->dataTaskWithURL(archiveURL("/nothing/here"), [&](const auto& data, const auto& response,
                                                                           const auto& error) {
    answered.set_value({response ? response->statusCode() : 0, data && !error});
  });
  task->resume();
  auto future = answered.get_future();
  ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(future.get(), std::make_pair(std::int64_t{404}, true));
}

TEST_F(URLSessionTest, StallPastTheIdleTimeoutFailsWithTimedOutAndResumeData) {
  setFaults({.stall = 3000ms, .stallAfterBytes = 300000});
  const auto started = std::chrono::steady_clock::now();
  auto task = download(archiveRequest(0.3));
  auto data = resumeDataOf(recorder_->waitForCompletion(*task), NSURLErrorTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
  EXPECT_TRUE(data) << "a timed-out download can resume";
}

TEST_F(URLSessionTest, ResourceTimeoutBoundsTheWholeTransfer) {
  auto configuration = URLSessionConfiguration::ephemeralSessionConfiguration();
  configuration.setTimeoutIntervalForResource(0.3);
  makeSession(configuration);
  // Data keeps coming for a while, so only the whole-transfer bound can end it.
  setFaults({.stall = 3000ms, .stallAfterBytes = 100000});
  auto task = download(archiveRequest(5));
  resumeDataOf(recorder_->waitForCompletion(*task), NSURLErrorTimedOut);
}

TEST_F(URLSessionTest, UntrustedCertificatesFailWithTLSCodes) {
  startServer("stranger");
  auto stranger = download(archiveRequest());
  const auto unknownRoot = recorder_->waitForCompletion(*stranger);
  ASSERT_TRUE(unknownRoot.error);
  EXPECT_EQ(unknownRoot.error->code(), NSURLErrorServerCertificateHasUnknownRoot) << unknownRoot.error->description();
  EXPECT_FALSE(unknownRoot.error->userInfoValue(NSURLSessionDownloadTaskResumeData));

  // A trusted certificate for another name.
  startServer("trusted", {}, "127.0.0.2");
  auto otherName = download(archiveRequest());
  const auto mismatch = recorder_->waitForCompletion(*otherName);
  ASSERT_TRUE(mismatch.error);
  EXPECT_EQ(mismatch.error->code(), NSURLErrorServerCertificateUntrusted) << mismatch.error->description();
  EXPECT_EQ(server_->servedRequests().size(), 0u);
  EXPECT_EQ(filesLeftBehind(), 0u);
}

TEST_F(URLSessionTest, CancelByProducingResumeDataMidwayThenResumeCompletesTheFile) {
  setFaults({.stall = 3000ms, .stallAfterBytes = 400000});
  auto task = download(archiveRequest());
  std::promise<std::shared_ptr<Data>> produced;
  recorder_->onNextWrite([&](URLSessionDownloadTask& running) {
    running.cancelByProducingResumeData([&](const std::shared_ptr<Data>& data) { produced.set_value(data); });
  });
  const auto cancelled = recorder_->waitForCompletion(*task);
  auto fromError = resumeDataOf(cancelled, NSURLErrorCancelled);
  auto future = produced.get_future();
  ASSERT_EQ(future.wait_for(1s), std::future_status::ready);
  const auto data = future.get();
  ASSERT_TRUE(data);
  ASSERT_TRUE(fromError);
  EXPECT_TRUE(data->isEqual(*fromError));

  setFaults({});
  auto resumed = resume(data);
  const auto completion = recorder_->waitForCompletion(*resumed);
  ASSERT_FALSE(completion.error) << completion.error->description();
  const auto offset = recorder_->resumedAt(resumed->taskIdentifier());
  ASSERT_TRUE(offset);
  EXPECT_GT(offset->first, 0);
  EXPECT_EQ(completion.response->statusCode(), 206);
  expectArchive(*resumed);
  EXPECT_EQ(filesLeftBehind(), 0u);
}

TEST_F(URLSessionTest, PlainCancelEndsWithCancelledAndLeavesNoFile) {
  setFaults({.stall = 3000ms, .stallAfterBytes = 200000});
  auto task = download(archiveRequest());
  recorder_->onNextWrite([](URLSessionDownloadTask& running) { running.cancel(); });
  auto data = resumeDataOf(recorder_->waitForCompletion(*task), NSURLErrorCancelled);
  EXPECT_FALSE(data);
  EXPECT_EQ(filesLeftBehind(), 0u);

  // Cancelling a task that never started, and one that has ended, is safe.
  auto unstarted = session_->downloadTaskWithRequest(archiveRequest());
  unstarted->cancel();
  // The session may finish the cancellation before this thread looks.
  EXPECT_TRUE(unstarted->state() == URLSessionTaskState::canceling || unstarted->state() == URLSessionTaskState::completed);
  EXPECT_EQ(recorder_->waitForCompletion(*unstarted).error->code(), NSURLErrorCancelled);
  task->cancel();
  EXPECT_EQ(task->state(), URLSessionTaskState::completed);
}

TEST_F(URLSessionTest, SuspendHoldsTheTransferAndResumeFinishesIt) {
  auto task = download(archiveRequest());
  std::promise<void> suspended;
  recorder_->onNextWrite([&](URLSessionDownloadTask& running) {
    running.suspend();
    suspended.set_value();
  });
  ASSERT_EQ(suspended.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(task->state(), URLSessionTaskState::suspended);
  // The pause reaches the worker a moment later, and libcurl may hand over
  // what it had buffered; after that nothing more arrives.
  std::int64_t settled = -1;
  for (int i = 0; i < 100 && settled != task->countOfBytesReceived(); ++i) {
    settled = task->countOfBytesReceived();
    std::this_thread::sleep_for(40ms);
  }
  std::this_thread::sleep_for(80ms);
  EXPECT_EQ(task->countOfBytesReceived(), settled);
  EXPECT_LT(settled, static_cast<std::int64_t>(kArchiveSize));
  task->resume();
  const auto completion = recorder_->waitForCompletion(*task);
  ASSERT_FALSE(completion.error) << completion.error->description();
  expectArchive(*task);
}

TEST_F(URLSessionTest, BadOrStaleResumeDataFailsCleanlyWithoutARequest) {
  setFaults({.cutAfterBytes = 500000});
  auto first = download(archiveRequest());
  auto data = resumeDataOf(recorder_->waitForCompletion(*first), NSURLErrorNetworkConnectionLost);
  ASSERT_TRUE(data);
  server_->clearServedRequests();

  auto plist = PropertyListSerialization::propertyListWithData(data->bytes());
  ASSERT_TRUE(plist.hasValue());
  auto tampered = plist->as<Dictionary>()->dictionaryBySettingObject(Value("/etc/passwd"), Value("TemporaryFilePath"));
  auto tamperedBytes = PropertyListSerialization::dataWithPropertyList(Value(tampered), PropertyListFormat::binary);
  ASSERT_TRUE(tamperedBytes.hasValue());

  for (const auto& bad : {Data::make("not resume data"), Data::make(std::move(tamperedBytes).value())}) {
    auto task = resume(bad);
    const auto completion = recorder_->waitForCompletion(*task);
    ASSERT_TRUE(completion.error);
    EXPECT_EQ(completion.error->code(), NSURLErrorCannotDecodeRawData);
  }

  // The partial file shortened behind the layer's back: the data is stale.
  const auto path = plist->as<Dictionary>()->objectForKey("TemporaryFilePath").stringValue();
  ASSERT_TRUE(path);
  fs::resize_file(*path, 1000);
  auto stale = resume(data);
  const auto completion = recorder_->waitForCompletion(*stale);
  ASSERT_TRUE(completion.error);
  EXPECT_EQ(completion.error->code(), NSURLErrorCannotOpenFile);
  EXPECT_EQ(server_->servedRequests().size(), 0u);
  EXPECT_EQ(fs::file_size("/etc/passwd") > 0, true);
}

TEST_F(URLSessionTest, FullDiskFailsWithCannotWriteToFile) {
  const std::string small = downloads_ + "/small";
  fs::create_directories(small);
  if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=512k") != 0) {
    GTEST_SKIP() << "no small file system can be mounted here";
  }
  ::setenv("TMPDIR", small.c_str(), 1);
  auto task = download(archiveRequest());
  const auto completion = recorder_->waitForCompletion(*task);
  ASSERT_TRUE(completion.error);
  EXPECT_EQ(completion.error->code(), NSURLErrorCannotWriteToFile) << completion.error->description();
  EXPECT_FALSE(completion.error->userInfoValue(NSURLSessionDownloadTaskResumeData));
  EXPECT_TRUE(fs::is_empty(small)) << "the partial file is removed";
  ::umount(small.c_str());
}

TEST_F(URLSessionTest, RefusedConnectionAndUnsupportedSchemes) {
  const auto port = server_->port();
  server_.reset();
  auto refused = download(URLRequest(URL::URLWithString("https://127.0.0.1:" + std::to_string(port) + "/x")));
  EXPECT_EQ(recorder_->waitForCompletion(*refused).error->code(), NSURLErrorCannotConnectToHost);
  auto ftp = download(URLRequest(URL::URLWithString("ftp://127.0.0.1/x")));
  EXPECT_EQ(recorder_->waitForCompletion(*ftp).error->code(), NSURLErrorUnsupportedURL);
  startServer("trusted");
}

TEST_F(URLSessionTest, DataTaskDeliversResponseThenDataInOrder) {
  URLRequest request(archiveURL());
  request.setValueForHTTPHeaderField("bytes=10-1033", "Range");
  auto task = session_->dataTaskWithRequest(request);
  task->resume();
  const auto completion = recorder_->waitForCompletion(*task);
  ASSERT_FALSE(completion.error) << completion.error->description();
  EXPECT_EQ(completion.response->statusCode(), 206);
  EXPECT_EQ(recorder_->file(task->taskIdentifier()), Bytes(archive_->begin() + 10, archive_->begin() + 1034));
  EXPECT_EQ(recorder_->events(), (std::vector<std::string>{"response", "data", "complete"}));

  URLRequest head(archiveURL());
  head.setHTTPMethod("head");
  auto headTask = session_->dataTaskWithRequest(head);
  headTask->resume();
  const auto headCompletion = recorder_->waitForCompletion(*headTask);
  ASSERT_FALSE(headCompletion.error);
  EXPECT_EQ(headCompletion.response->expectedContentLength(), static_cast<std::int64_t>(kArchiveSize));
  const auto served = server_->waitForServedRequests(2);
  ASSERT_EQ(served.size(), 2u);
  EXPECT_EQ(served.back().method, "HEAD");
}

TEST_F(URLSessionTest, InvalidateAndCancelEndsRunningTasksThenReportsInvalidation) {
  setFaults({.stall = 3000ms});
  auto running = download(archiveRequest());
  auto waiting = session_->downloadTaskWithRequest(archiveRequest());
  session_->invalidateAndCancel();
  EXPECT_EQ(recorder_->waitForCompletion(*running).error->code(), NSURLErrorCancelled);
  EXPECT_EQ(recorder_->waitForCompletion(*waiting).error->code(), NSURLErrorCancelled);
  ASSERT_TRUE(recorder_->waitForInvalidation());
  EXPECT_EQ(recorder_->events().back(), "invalid");
  EXPECT_FALSE(session_->delegate()) << "the delegate is let go";

  // The delegate is gone, so only the task itself can tell.
  auto late = session_->downloadTaskWithRequest(archiveRequest());
  late->resume();
  EXPECT_EQ(late->state(), URLSessionTaskState::completed);
  ASSERT_TRUE(late->error());
  EXPECT_EQ(late->error()->code(), NSURLErrorCancelled);
  session_.reset();
}

}  // namespace
}  // namespace fnd
