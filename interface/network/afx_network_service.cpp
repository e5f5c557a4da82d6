#include "interface/network/afx_network_service.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "foundation/check.h"
#include "interface/errors/afx_errors.h"
#include "interface/errors/afx_network_response.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

// The session holds its delegate until it is invalidated; this one lets the
// service go with its owner and end the session from its destructor.
class SessionDelegate final : public fnd::URLSessionDownloadDelegate {
 public:
  explicit SessionDelegate(std::weak_ptr<AFXNetworkService> service) : service_(std::move(service)) {}

  void URLSessionDownloadTaskDidFinishDownloadingToURL(fnd::URLSession& session, fnd::URLSessionDownloadTask& task,
                                                       const std::shared_ptr<fnd::URL>& location) override {
    if (auto service = service_.lock()) service->URLSessionDownloadTaskDidFinishDownloadingToURL(session, task, location);
  }
  void URLSessionDownloadTaskDidWriteData(fnd::URLSession& session, fnd::URLSessionDownloadTask& task,
                                          std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                          std::int64_t totalBytesExpectedToWrite) override {
    if (auto service = service_.lock()) {
      service->URLSessionDownloadTaskDidWriteData(session, task, bytesWritten, totalBytesWritten,
                                                  totalBytesExpectedToWrite);
    }
  }
  void URLSessionTaskDidCompleteWithError(fnd::URLSession& session, fnd::URLSessionTask& task,
                                          const std::optional<fnd::Error>& error) override {
    if (auto service = service_.lock()) service->URLSessionTaskDidCompleteWithError(session, task, error);
  }

 private:
  const std::weak_ptr<AFXNetworkService> service_;
};

bool hasEnded(const fnd::URLSessionTask& task) {
  const auto state = task.state();
  return state == fnd::URLSessionTaskState::canceling || state == fnd::URLSessionTaskState::completed;
}

std::string URLTextOf(const fnd::URLSessionTask& task) {
  const auto& request = task.originalRequest();
  return request && request->URL() ? request->URL()->absoluteString() : std::string();
}

}  // namespace

std::shared_ptr<AFXNetworkService> AFXNetworkService::create(std::weak_ptr<AFXNetworkServiceFactory> servicesFactory) {
  std::shared_ptr<AFXNetworkService> service(new AFXNetworkService(std::move(servicesFactory)));
  service->makeSession();
  return service;
}

AFXNetworkService::AFXNetworkService(std::weak_ptr<AFXNetworkServiceFactory> servicesFactory)
    : servicesFactory_(std::move(servicesFactory)),
      internalQueue_(QVQueueBuilder::internalQueueWithName(AFXNetworkServiceQueueName)) {}

void AFXNetworkService::makeSession() {
  auto configuration = fnd::URLSessionConfiguration::defaultSessionConfiguration();
  configuration.setRequestCachePolicy(fnd::URLRequestCachePolicy::reloadIgnoringLocalCacheData);
  configuration.setTimeoutIntervalForRequest(kRequestTimeout);
  urlSession_ = fnd::URLSession::sessionWithConfiguration(
      configuration, std::make_shared<SessionDelegate>(weak_from_this()), internalQueue_);
}

AFXNetworkService::~AFXNetworkService() {
  // Ends the session's worker; reports still on their way find no service.
  urlSession_->invalidateAndCancel();
}

void AFXNetworkService::invalidate() { urlSession_->invalidateAndCancel(); }

std::shared_ptr<AFXResourceDownloadPriorityHolder> AFXNetworkService::downloadResourceAtURL(
    const std::shared_ptr<fnd::URL>& url, AFXResourceDownloadPriority priority, std::string_view kind,
    std::optional<std::string> statsdID, const std::shared_ptr<QVCancellation>& cancellation,
    ProgressHandler progressHandler, Callback callback) {
  FND_PARAMETER_ASSERT(url != nullptr);
  FND_PARAMETER_ASSERT(callback != nullptr);
  // The holder accepts the three levels only; anything else is the default.
  if (priority > AFXResourceDownloadPriorityHigh) priority = AFXResourceDownloadPriorityDefault;
  auto holder = AFXResourceDownloadPriorityHolder::initWithPriority(priority, url);
  if (cancellation && cancellation->isCancelled()) {
    callback(nullptr, nullptr, afx_cancel());
    return holder;
  }
  auto task = urlSession_->downloadTaskWithURL(url);
  if (cancellation) {
    std::weak_ptr<fnd::URLSessionDownloadTask> weakTask = task;
    cancellation->addCancellationHandler([weakTask] {
      if (auto running = weakTask.lock()) running->cancel();
    });
  }
  std::string requestID = "v1/resource/" + std::string(kind);
  AFXDownloadingHandler::CompletionHandler completion =
      [callback = std::move(callback), requestID = std::move(requestID)](
          const std::shared_ptr<fnd::URL>& location, const std::shared_ptr<fnd::HTTPURLResponse>& response,
          const std::optional<fnd::Error>& error) -> std::optional<fnd::Error> {
    std::optional<AFXURLResponse> answer;
    if (response) answer = AFXURLResponse{response->URL(), response->statusCode()};
    auto failure = afx_interpretNetworkResponse(answer, requestID, error);
    if (failure) {
      callback(nullptr, nullptr, failure);
    } else {
      callback(location, response, std::nullopt);
    }
    return failure;
  };
  auto handler = AFXDownloadingHandler::create(std::move(progressHandler), std::move(completion), std::move(statsdID),
                                               std::move(task), holder, weak_from_this());
  internalQueue_.async([self = shared_from_this(), handler] { self->enqueueDownloadingHandler(handler); });
  return holder;
}

void AFXNetworkService::enqueueDownloadingHandler(const Handler& handler) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  downloadingHandlersQueueForPriority(handler->priority()).push_back(handler);
  pickNextDownloadingHandlerIfNeeded();
}

std::deque<AFXNetworkService::Handler>& AFXNetworkService::downloadingHandlersQueueForPriority(
    AFXResourceDownloadPriority priority) {
  if (priority == AFXResourceDownloadPriorityLow) return scheduledDownloadingHandlersQueue_[0];
  if (priority == AFXResourceDownloadPriorityHigh) return scheduledDownloadingHandlersQueue_[2];
  return scheduledDownloadingHandlersQueue_[1];
}

void AFXNetworkService::pickNextDownloadingHandlerIfNeeded() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  suspendRunningHandlersForWaitingHighPriorityHandlers();
  while (downloadingHandlerByTaskID_.size() < kMaximumRunningDownloads) {
    auto handler = takeNextWaitingHandler();
    if (!handler) return;
    startDownloadingHandler(handler);
  }
}

void AFXNetworkService::suspendRunningHandlersForWaitingHighPriorityHandlers() {
  // Free slots take waiting high-priority work without pausing anyone:
  // pausing a transfer only to start it again would lose its place for
  // nothing and restart its timing.
  const std::size_t freeSlots = kMaximumRunningDownloads - std::min(kMaximumRunningDownloads,
                                                                     downloadingHandlerByTaskID_.size());
  const std::size_t waiting = scheduledDownloadingHandlersQueue_[2].size();
  if (waiting <= freeSlots) return;
  std::size_t needed = waiting - freeSlots;

  std::vector<std::pair<AFXResourceDownloadPriority, Handler>> running;
  for (const auto& [identifier, handler] : downloadingHandlerByTaskID_) running.emplace_back(handler->priority(), handler);
  std::stable_sort(running.begin(), running.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [priority, handler] : running) {
    if (priority > AFXResourceDownloadPriorityDefault) return;
    if (suspendDownloadingHandler(handler) && --needed == 0) return;
  }
}

AFXNetworkService::Handler AFXNetworkService::takeNextWaitingHandler() {
  for (auto list = scheduledDownloadingHandlersQueue_.rbegin(); list != scheduledDownloadingHandlersQueue_.rend();
       ++list) {
    if (list->empty()) continue;
    auto handler = list->front();
    list->pop_front();
    return handler;
  }
  return nullptr;
}

void AFXNetworkService::startDownloadingHandler(const Handler& handler) {
  const auto& task = handler->downloadTask();
  if (hasEnded(*task)) {
    // Its completion is on the way; keep it to deliver that.
    endingHandlerByTaskID_[handler->taskIdentifier()] = handler;
    return;
  }
  if (task->state() == fnd::URLSessionTaskState::suspended) handler->setStartDate(fnd::Clock::current().now());
  downloadingHandlerByTaskID_[handler->taskIdentifier()] = handler;
  task->resume();
}

bool AFXNetworkService::suspendDownloadingHandler(const Handler& handler) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  const auto found = downloadingHandlerByTaskID_.find(handler->taskIdentifier());
  if (found == downloadingHandlerByTaskID_.end()) return false;
  auto running = found->second;
  if (hasEnded(*running->downloadTask())) return false;
  running->downloadTask()->suspend();
  downloadingHandlerByTaskID_.erase(found);
  downloadingHandlersQueueForPriority(running->priority()).push_front(running);
  return true;
}

void AFXNetworkService::handlerDidChangeDownloadingPriority(AFXDownloadingHandler& handler) {
  internalQueue_.async([self = shared_from_this(), handler = handler.shared_from_this()] {
    self->priorityDidChange(handler);
  });
}

void AFXNetworkService::priorityDidChange(const Handler& handler) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (handler->priority() < AFXResourceDownloadPriorityHigh) (void)suspendDownloadingHandler(handler);
  pickNextDownloadingHandlerIfNeeded();
}

void AFXNetworkService::URLSessionDownloadTaskDidWriteData(fnd::URLSession&, fnd::URLSessionDownloadTask& task,
                                                           std::int64_t, std::int64_t totalBytesWritten,
                                                           std::int64_t totalBytesExpectedToWrite) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  const auto found = downloadingHandlerByTaskID_.find(task.taskIdentifier());
  if (found != downloadingHandlerByTaskID_.end() && found->second->progressHandler()) {
    const double fraction = totalBytesExpectedToWrite > 0
                                ? static_cast<double>(totalBytesWritten) / static_cast<double>(totalBytesExpectedToWrite)
                                : 0.0;
    found->second->progressHandler()(fraction);
  }
  pickNextDownloadingHandlerIfNeeded();
}

void AFXNetworkService::URLSessionDownloadTaskDidFinishDownloadingToURL(fnd::URLSession&,
                                                                        fnd::URLSessionDownloadTask& task,
                                                                        const std::shared_ptr<fnd::URL>& location) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (task.error()) return;
  reportCompletion(task, location, task.response(), std::nullopt);
}

void AFXNetworkService::URLSessionTaskDidCompleteWithError(fnd::URLSession&, fnd::URLSessionTask& task,
                                                           const std::optional<fnd::Error>& error) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (error) {
    reportCompletion(task, nullptr, task.response(), error);
    return;
  }
  // A download that ended well has reported its file already; one still
  // here ended without a file, and its caller must not wait for ever.
  if (downloadingHandlerByTaskID_.contains(task.taskIdentifier()) ||
      endingHandlerByTaskID_.contains(task.taskIdentifier())) {
    DDLogError("Download of %@ ended without a file", URLTextOf(task));
    reportCompletion(task, nullptr, task.response(), afx_makeErrorOfMissingObjectOfKind("downloaded file"));
  }
}

AFXNetworkService::Handler AFXNetworkService::takeHandlerWithTaskIdentifier(std::uint64_t taskIdentifier) {
  for (auto* map : {&downloadingHandlerByTaskID_, &endingHandlerByTaskID_}) {
    if (auto found = map->find(taskIdentifier); found != map->end()) {
      auto handler = found->second;
      map->erase(found);
      return handler;
    }
  }
  for (auto& list : scheduledDownloadingHandlersQueue_) {
    const auto found = std::find_if(list.begin(), list.end(), [taskIdentifier](const Handler& handler) {
      return handler->taskIdentifier() == taskIdentifier;
    });
    if (found != list.end()) {
      auto handler = *found;
      list.erase(found);
      return handler;
    }
  }
  return nullptr;
}

void AFXNetworkService::reportCompletion(fnd::URLSessionTask& task, const std::shared_ptr<fnd::URL>& location,
                                         const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                         const std::optional<fnd::Error>& error) {
  auto handler = takeHandlerWithTaskIdentifier(task.taskIdentifier());
  if (!handler) return;
  if (handler->progressHandler()) handler->progressHandler()(1.0);
  const auto failure = handler->completionHandler()(location, response, error);
  if (failure && !afx_isCancelled(*failure)) DDLogError("Download of %@ failed: %@", URLTextOf(task), *failure);
  recordTiming(*handler, failure.has_value());
  pickNextDownloadingHandlerIfNeeded();
}

void AFXNetworkService::recordTiming(const AFXDownloadingHandler& handler, bool failed) const {
  // A download that never started has no transfer time to report.
  if (!handler.statsdID() || !handler.startDate()) return;
  auto factory = servicesFactory_.lock();
  auto statsd = factory ? factory->statsdClient() : nullptr;
  if (!statsd) return;
  const std::chrono::duration<double> elapsed = fnd::Clock::current().now() - *handler.startDate();
  statsd->metricsNamedRecordTiming(*handler.statsdID() + (failed ? "-failure" : ""), elapsed.count());
}

void AFXNetworkService::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                               AFXNetworkServiceFactory::Callback callback) const {
  auto factory = servicesFactory_.lock();
  if (!factory) {
    callback(QVValueOrError::initWithError(
        afx_makeErrorOfMissingServiceNamed("services factory", "fetch environment with ID")));
    return;
  }
  factory->fetchEnvironmentWithID(environmentID, std::move(callback));
}

void AFXNetworkService::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                            AFXNetworkServiceFactory::Callback callback) const {
  auto factory = servicesFactory_.lock();
  if (!factory) {
    callback(QVValueOrError::initWithError(
        afx_makeErrorOfMissingServiceNamed("services factory", "fetch customer with ID")));
    return;
  }
  factory->fetchCustomerWithID(customerID, false, std::move(callback));
}

AFXNetworkService::SchedulingState AFXNetworkService::schedulingState() const {
  FND_PARAMETER_ASSERT(!internalQueue_.isCurrent());
  return internalQueue_.sync([this] {
    SchedulingState state;
    for (std::size_t level = 0; level < state.waiting.size(); ++level) {
      for (const auto& handler : scheduledDownloadingHandlersQueue_[level]) {
        state.waiting[level].push_back(URLTextOf(*handler->downloadTask()));
      }
    }
    for (const auto& [identifier, handler] : downloadingHandlerByTaskID_) {
      state.running.push_back(URLTextOf(*handler->downloadTask()));
    }
    return state;
  });
}
