#pragma once

// What a URL session tells its delegate, on the session's delegate queue. A
// delegate implements the protocols of the tasks it runs; every operation is
// optional except where a download's file must be taken.

#include <cstdint>
#include <memory>
#include <optional>

#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/url.h"
#include "foundation/url_response.h"

namespace fnd {

class URLSession;
class URLSessionTask;
class URLSessionDataTask;
class URLSessionDownloadTask;

class URLSessionDelegate {
 public:
  virtual ~URLSessionDelegate() = default;
  // The last call of the session: every task has ended. The error is none
  // after finishTasksAndInvalidate and invalidateAndCancel.
  virtual void URLSessionDidBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error);
};

class URLSessionTaskDelegate : public virtual URLSessionDelegate {
 public:
  // The last call about a task. HTTP status codes are not errors.
  virtual void URLSessionTaskDidCompleteWithError(URLSession& session, URLSessionTask& task,
                                                  const std::optional<Error>& error);
};

class URLSessionDataDelegate : public virtual URLSessionTaskDelegate {
 public:
  virtual void URLSessionDataTaskDidReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                    const std::shared_ptr<HTTPURLResponse>& response);
  // The body in pieces, in order.
  virtual void URLSessionDataTaskDidReceiveData(URLSession& session, URLSessionDataTask& task,
                                                const std::shared_ptr<Data>& data);
};

class URLSessionDownloadDelegate : public virtual URLSessionTaskDelegate {
 public:
  // The downloaded file exists only during this call: move or read it before
  // returning.
  virtual void URLSessionDownloadTaskDidFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task,
                                                               const std::shared_ptr<URL>& location) = 0;
  // Bytes written since the last report, in all, and expected in all (-1
  // when the server did not say). Reports are coalesced while the delegate
  // queue is busy, so the totals are exact while `bytesWritten` spans calls.
  virtual void URLSessionDownloadTaskDidWriteData(URLSession& session, URLSessionDownloadTask& task,
                                                  std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                                  std::int64_t totalBytesExpectedToWrite);
  // A task made from resume data continues at `fileOffset` (0 when the
  // server sent the whole file again).
  virtual void URLSessionDownloadTaskDidResumeAtOffset(URLSession& session, URLSessionDownloadTask& task,
                                                       std::int64_t fileOffset, std::int64_t expectedTotalBytes);
};

}  // namespace fnd
