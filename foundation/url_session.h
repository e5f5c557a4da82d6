#pragma once

// URL sessions on libcurl's multi interface: one worker thread per session
// runs every transfer; the delegate and completion handlers are called on the
// session's delegate queue, which should be serial so reports keep their
// order. Errors are those of NSURLErrorDomain (foundation/url_error.h) with
// the failing URL in the user information; HTTP status codes are answers,
// not errors.
//
// TLS is always verified: against the system's trust store and, when
// $KORVIA_CA_FILE names a PEM bundle (read when the session is made), its
// certificates too.
//
// Download tasks write into a file "KorviaDownload_XXXXXX.tmp" in the
// temporary folder; the delegate (or the completion handler) must move it
// before its call returns, after which it is removed. An interrupted download
// whose server named an entity tag or a modification date carries resume
// data under NSURLSessionDownloadTaskResumeData in its error.
//
// As on the platform, a session lives, with its worker and its delegate,
// until it is invalidated: call finishTasksAndInvalidate or
// invalidateAndCancel when done with it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/data.h"
#include "foundation/queue.h"
#include "foundation/url.h"
#include "foundation/url_request.h"
#include "foundation/url_session_configuration.h"
#include "foundation/url_session_delegate.h"
#include "foundation/url_session_task.h"

namespace fnd {

class URLSession final : public std::enable_shared_from_this<URLSession> {
 public:
  // Without a queue, the session makes a serial one of its own.
  static std::shared_ptr<URLSession> sessionWithConfiguration(const URLSessionConfiguration& configuration,
                                                              std::shared_ptr<URLSessionDelegate> delegate = nullptr,
                                                              std::optional<Queue> delegateQueue = std::nullopt);
  ~URLSession();
  URLSession(const URLSession&) = delete;
  URLSession& operator=(const URLSession&) = delete;

  const URLSessionConfiguration& configuration() const;
  const Queue& delegateQueue() const;
  std::shared_ptr<URLSessionDelegate> delegate() const;

  // Tasks start suspended. A task made after invalidation completes with
  // NSURLErrorCancelled as soon as it is resumed.
  std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(const URLRequest& request,
                                                          URLSessionDataCompletionHandler completion = nullptr);
  std::shared_ptr<URLSessionDataTask> dataTaskWithURL(const std::shared_ptr<URL>& url,
                                                      URLSessionDataCompletionHandler completion = nullptr);
  std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(
      const URLRequest& request, URLSessionDownloadCompletionHandler completion = nullptr);
  std::shared_ptr<URLSessionDownloadTask> downloadTaskWithURL(
      const std::shared_ptr<URL>& url, URLSessionDownloadCompletionHandler completion = nullptr);
  // Continues a download that was cancelled for resume data or interrupted.
  // Data that is not resume data of this layer fails the task with
  // NSURLErrorCannotDecodeRawData; a partial file that is gone, shorter than
  // recorded or not one of this layer's fails it with NSURLErrorCannotOpenFile.
  std::shared_ptr<URLSessionDownloadTask> downloadTaskWithResumeData(
      const std::shared_ptr<Data>& resumeData, URLSessionDownloadCompletionHandler completion = nullptr);

  // Lets the tasks run to their end, then invalidates the session.
  void finishTasksAndInvalidate();
  // Cancels every task, then invalidates the session.
  void invalidateAndCancel();

 private:
  friend class URLSessionTask;
  friend class URLSessionDownloadTask;
  friend class detail::URLSessionCore;

  URLSession() = default;

  std::unique_ptr<detail::URLSessionCore> core_;
};

}  // namespace fnd
