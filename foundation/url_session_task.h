#pragma once

// One load in a URL session. A task starts suspended; resume() starts it,
// suspend() pauses it (the connection is held, nothing is read), cancel()
// ends it with NSURLErrorCancelled. Every operation may be called from any
// thread; the task reports on its session's delegate queue.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/url.h"
#include "foundation/url_request.h"
#include "foundation/url_response.h"

namespace fnd {

class URLSession;

namespace detail {
class URLSessionCore;
class URLTransfer;
}  // namespace detail

enum class URLSessionTaskState { running = 0, suspended = 1, canceling = 2, completed = 3 };

// Unknown lengths and counts.
inline constexpr std::int64_t NSURLSessionTransferSizeUnknown = -1;

using URLSessionDataCompletionHandler = std::function<void(
    const std::shared_ptr<Data>& data, const std::shared_ptr<HTTPURLResponse>& response, const std::optional<Error>& error)>;
// The file at `location` exists only during the call.
using URLSessionDownloadCompletionHandler =
    std::function<void(const std::shared_ptr<URL>& location, const std::shared_ptr<HTTPURLResponse>& response,
                       const std::optional<Error>& error)>;

class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
 public:
  virtual ~URLSessionTask();
  URLSessionTask(const URLSessionTask&) = delete;
  URLSessionTask& operator=(const URLSessionTask&) = delete;

  // Unique within the session, from 1.
  std::uint64_t taskIdentifier() const { return identifier_; }
  // None for a download made from resume data that could not be read.
  const std::optional<URLRequest>& originalRequest() const { return request_; }

  URLSessionTaskState state() const;
  std::shared_ptr<HTTPURLResponse> response() const;
  std::optional<Error> error() const;
  std::int64_t countOfBytesReceived() const;
  // -1 until the response says.
  std::int64_t countOfBytesExpectedToReceive() const;

  std::string taskDescription() const;
  void setTaskDescription(std::string description);

  void resume();
  void suspend();
  void cancel();

 protected:
  URLSessionTask(std::shared_ptr<URLSession> session, std::uint64_t identifier,
                 std::optional<URLRequest> request);

  URLSession& session() const { return *session_; }

  // Moves a running or suspended task to canceling; false when it already
  // was canceling or completed.
  bool beginCanceling();

 private:
  friend class detail::URLSessionCore;
  friend class detail::URLTransfer;

  // Worker-side updates.
  void setResponse(std::shared_ptr<HTTPURLResponse> response);
  void setCounts(std::int64_t received, std::int64_t expected);
  // Completes the task once; false when it already had completed.
  bool markCompleted(const std::optional<Error>& error);

  std::shared_ptr<URLSession> session_;
  const std::uint64_t identifier_;
  const std::optional<URLRequest> request_;

  mutable std::mutex mutex_;
  URLSessionTaskState state_ = URLSessionTaskState::suspended;
  std::shared_ptr<HTTPURLResponse> response_;
  std::optional<Error> error_;
  std::int64_t received_ = 0;
  std::int64_t expected_ = NSURLSessionTransferSizeUnknown;
  std::string description_;
};

class URLSessionDataTask final : public URLSessionTask {
 public:
  // Made by URLSession.
  URLSessionDataTask(std::shared_ptr<URLSession> session, std::uint64_t identifier, URLRequest request,
                     URLSessionDataCompletionHandler completion);

  const URLSessionDataCompletionHandler& completionHandler() const { return completion_; }

 private:
  const URLSessionDataCompletionHandler completion_;
};

class URLSessionDownloadTask final : public URLSessionTask {
 public:
  // Made by URLSession; `resumeData` for a task that continues an earlier one.
  URLSessionDownloadTask(std::shared_ptr<URLSession> session, std::uint64_t identifier,
                         std::optional<URLRequest> request, std::shared_ptr<Data> resumeData,
                         URLSessionDownloadCompletionHandler completion);

  // Cancels the task; `completion` receives, on the delegate queue, data that
  // downloadTaskWithResumeData can continue from, or null when the transfer
  // cannot be resumed (no answer yet, no strong entity tag or modification
  // date from the server, a method other than GET). With data, the partial
  // file stays for it to use.
  void cancelByProducingResumeData(std::function<void(const std::shared_ptr<Data>& resumeData)> completion);

  const URLSessionDownloadCompletionHandler& completionHandler() const { return completion_; }
  const std::shared_ptr<Data>& initialResumeData() const { return resumeData_; }

 private:
  const std::shared_ptr<Data> resumeData_;
  const URLSessionDownloadCompletionHandler completion_;
};

}  // namespace fnd
