#pragma once

// One running task of a URL session (internal): its libcurl easy handle, the
// head of the answer, the download file or the body, time-outs and progress
// reports. Lives on the session's worker thread only.

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/url_session_core.h"
#include "foundation/url_session_resume_data.h"

namespace fnd::detail {

class URLTransfer {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // An error ends the task before anything is sent (unreadable resume data,
  // no download file).
  [[nodiscard]] static Expected<std::unique_ptr<URLTransfer>> make(URLSessionCore& core,
                                                                   std::shared_ptr<URLSessionTask> task);
  ~URLTransfer();
  URLTransfer(const URLTransfer&) = delete;
  URLTransfer& operator=(const URLTransfer&) = delete;

  CURL* handle() const { return handle_; }
  const std::shared_ptr<URLSessionTask>& task() const { return task_; }

  void pause();
  void unpause();
  // When the transfer times out unless something arrives; none while paused.
  std::optional<TimePoint> deadline() const;
  bool hasTimedOut(TimePoint now) const;

  // The end of the transfer, after libcurl reported it done.
  TransferOutcome finish(CURLcode result);
  TransferOutcome timeOut();
  TransferOutcome cancel(bool produceResumeData);

 private:
  URLTransfer(URLSessionCore& core, std::shared_ptr<URLSessionTask> task);

  // Progress and data reports coalesce while the delegate queue is busy:
  // only one delivery is pending at a time and it takes whatever gathered.
  struct Reports {
    std::mutex mutex;
    bool scheduled = false;
    std::chrono::steady_clock::time_point lastScheduled{};
    std::int64_t unreportedBytes = 0;
    std::int64_t totalBytes = 0;
    std::int64_t expectedBytes = -1;
    std::vector<std::uint8_t> unreportedData;
  };

  [[nodiscard]] Expected<void> configure(const URLRequest& request);
  [[nodiscard]] Expected<void> openFile();
  bool isDownload() const;
  std::shared_ptr<URL> requestURL() const;

  static std::size_t onHeader(char* bytes, std::size_t size, std::size_t count, void* context);
  static std::size_t onWrite(char* bytes, std::size_t size, std::size_t count, void* context);
  void header(std::string_view line);
  std::size_t write(const char* bytes, std::size_t length);
  bool ensureResponse();
  bool acceptDownloadResponse(std::int64_t status, std::int64_t contentLength);
  [[nodiscard]] bool flush();
  void report(std::int64_t bytes, const char* data);
  // Hands what has gathered to the delegate queue now (before the end).
  void flushReports();

 public:
  // When gathered progress is due for delivery while nothing else arrives;
  // deliverDueReports sends it then.
  std::optional<TimePoint> reportDue() const;
  void deliverDueReports(TimePoint now);

 private:
  void scheduleReportDelivery();

  std::optional<Error> errorFor(CURLcode result) const;
  std::shared_ptr<Data> resumeData();
  TransferOutcome failure(Error error, bool offerResumeData);
  void discardFile();

  URLSessionCore& core_;
  std::shared_ptr<URLSessionTask> task_;
  CURL* handle_ = nullptr;
  curl_slist* headerList_ = nullptr;
  char errorText_[CURL_ERROR_SIZE] = {};
  URLRequest request_;

  // The head being received; a new status line starts over (redirections,
  // interim answers).
  HTTPHeaderFields headers_;
  std::shared_ptr<HTTPURLResponse> response_;
  std::optional<Error> abortError_;

  // Downloads: the file, what of it is on disk, what waits in the buffer.
  int descriptor_ = -1;
  std::string filePath_;
  std::int64_t fileLength_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::optional<DownloadResumeState> resumeFrom_;
  std::optional<std::string> entityTag_;
  std::optional<std::string> lastModified_;
  bool partialFileUsable_ = true;

  // Data tasks with a completion handler.
  std::vector<std::uint8_t> body_;

  std::int64_t received_ = 0;
  std::int64_t expected_ = -1;
  std::shared_ptr<Reports> reports_ = std::make_shared<Reports>();

  std::chrono::nanoseconds idleTimeout_{};
  std::chrono::nanoseconds resourceTimeout_{};
  TimePoint started_;
  TimePoint lastActivity_;
  bool paused_ = false;
};

}  // namespace fnd::detail
