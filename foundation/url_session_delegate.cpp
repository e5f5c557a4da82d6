#include "foundation/url_session_delegate.h"

namespace fnd {

void URLSessionDelegate::URLSessionDidBecomeInvalidWithError(URLSession&, const std::optional<Error>&) {}

void URLSessionTaskDelegate::URLSessionTaskDidCompleteWithError(URLSession&, URLSessionTask&,
                                                                const std::optional<Error>&) {}

void URLSessionDataDelegate::URLSessionDataTaskDidReceiveResponse(URLSession&, URLSessionDataTask&,
                                                                  const std::shared_ptr<HTTPURLResponse>&) {}

void URLSessionDataDelegate::URLSessionDataTaskDidReceiveData(URLSession&, URLSessionDataTask&,
                                                              const std::shared_ptr<Data>&) {}

void URLSessionDownloadDelegate::URLSessionDownloadTaskDidWriteData(URLSession&, URLSessionDownloadTask&,
                                                                    std::int64_t, std::int64_t, std::int64_t) {}

void URLSessionDownloadDelegate::URLSessionDownloadTaskDidResumeAtOffset(URLSession&, URLSessionDownloadTask&,
                                                                         std::int64_t, std::int64_t) {}

}  // namespace fnd
