#pragma once

// Downloads the resources of the catalogue for the whole process through one
// URL session: three priority levels, at most four transfers at a time, and
// running transfers of priority 0 and 1 paused to make room for waiting
// transfers of priority 2. A priority changed through the holder a request
// returns, here or in another process holding the same resource, reorders
// the work. The service also forwards two record look-ups to the services
// factory that owns it.
//
// All scheduling state lives on the internal queue, where the session's
// reports arrive and where progress and completion functions are called.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/queue.h"
#include "foundation/url.h"
#include "foundation/url_response.h"
#include "foundation/url_session.h"
#include "foundation/url_session_delegate.h"
#include "interface/model/afx_resource_download_priority_holder.h"
#include "interface/network/afx_downloading_handler.h"
#include "interface/network/afx_downloading_handler_delegate.h"
#include "interface/network/afx_network_service_factory.h"
#include "tools/qv_cancellation.h"

// "com.korvia.network-service.queue", formed into the internal-queue label.
inline constexpr std::string_view AFXNetworkServiceQueueName = "com.korvia.network-service.queue";

class AFXNetworkService final : public fnd::URLSessionDownloadDelegate,
                                public AFXDownloadingHandlerDelegate,
                                public std::enable_shared_from_this<AFXNetworkService> {
 public:
  static constexpr std::size_t kMaximumRunningDownloads = 4;
  static constexpr double kRequestTimeout = 30.0;

  using ProgressHandler = std::function<void(double fraction)>;
  // The file at `location` exists only during the call. Either a location
  // and a response, or an error alone.
  using Callback = std::function<void(const std::shared_ptr<fnd::URL>& location,
                                      const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                      const std::optional<fnd::Error>& error)>;

  // Which downloads wait and which run, by URL, for diagnostics and tests.
  struct SchedulingState {
    std::array<std::vector<std::string>, 3> waiting;
    std::vector<std::string> running;
  };

  // The factory is held weakly.
  static std::shared_ptr<AFXNetworkService> create(std::weak_ptr<AFXNetworkServiceFactory> servicesFactory);
  ~AFXNetworkService() override;
  AFXNetworkService(const AFXNetworkService&) = delete;
  AFXNetworkService& operator=(const AFXNetworkService&) = delete;

  const std::shared_ptr<fnd::URLSession>& urlSession() const { return urlSession_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }
  std::shared_ptr<AFXNetworkServiceFactory> servicesFactory() const { return servicesFactory_.lock(); }

  // Queues a download of `url`. `kind` names the resource kind in the
  // request identifier "v1/resource/<kind>" under which answers are read;
  // `statsdID`, when given, names the download's timing metric. A token
  // cancelled already calls back at once with afx_cancel.
  std::shared_ptr<AFXResourceDownloadPriorityHolder> downloadResourceAtURL(
      const std::shared_ptr<fnd::URL>& url, AFXResourceDownloadPriority priority, std::string_view kind,
      std::optional<std::string> statsdID, const std::shared_ptr<QVCancellation>& cancellation,
      ProgressHandler progressHandler, Callback callback);

  void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                              AFXNetworkServiceFactory::Callback callback) const;
  void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                           AFXNetworkServiceFactory::Callback callback) const;

  // Cancels every transfer; their callbacks still come with the cancellation.
  void invalidate();

  // Not from the internal queue.
  SchedulingState schedulingState() const;

  // AFXDownloadingHandlerDelegate.
  void handlerDidChangeDownloadingPriority(AFXDownloadingHandler& handler) override;

  // fnd::URLSessionDownloadDelegate, on the internal queue.
  void URLSessionDownloadTaskDidFinishDownloadingToURL(fnd::URLSession& session, fnd::URLSessionDownloadTask& task,
                                                       const std::shared_ptr<fnd::URL>& location) override;
  void URLSessionDownloadTaskDidWriteData(fnd::URLSession& session, fnd::URLSessionDownloadTask& task,
                                          std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                          std::int64_t totalBytesExpectedToWrite) override;
  void URLSessionTaskDidCompleteWithError(fnd::URLSession& session, fnd::URLSessionTask& task,
                                          const std::optional<fnd::Error>& error) override;

 private:
  using Handler = std::shared_ptr<AFXDownloadingHandler>;

  explicit AFXNetworkService(std::weak_ptr<AFXNetworkServiceFactory> servicesFactory);
  void makeSession();

  // All on the internal queue.
  void enqueueDownloadingHandler(const Handler& handler);
  std::deque<Handler>& downloadingHandlersQueueForPriority(AFXResourceDownloadPriority priority);
  void pickNextDownloadingHandlerIfNeeded();
  void suspendRunningHandlersForWaitingHighPriorityHandlers();
  Handler takeNextWaitingHandler();
  void startDownloadingHandler(const Handler& handler);
  bool suspendDownloadingHandler(const Handler& handler);
  void priorityDidChange(const Handler& handler);
  Handler takeHandlerWithTaskIdentifier(std::uint64_t taskIdentifier);
  void reportCompletion(fnd::URLSessionTask& task, const std::shared_ptr<fnd::URL>& location,
                        const std::shared_ptr<fnd::HTTPURLResponse>& response, const std::optional<fnd::Error>& error);
  void recordTiming(const AFXDownloadingHandler& handler, bool failed) const;

  const std::weak_ptr<AFXNetworkServiceFactory> servicesFactory_;
  const fnd::Queue internalQueue_;
  std::shared_ptr<fnd::URLSession> urlSession_;
  // Confined to the internal queue.
  std::array<std::deque<Handler>, 3> scheduledDownloadingHandlersQueue_;
  std::map<std::uint64_t, Handler> downloadingHandlerByTaskID_;
  // Handlers whose tasks ended before they could start: they hold no
  // transfer slot but still owe their caller the completion.
  std::map<std::uint64_t, Handler> endingHandlerByTaskID_;
};
