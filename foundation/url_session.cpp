#include "foundation/url_session.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "foundation/check.h"
#include "foundation/process.h"
#include "foundation/url_error.h"
#include "foundation/url_session_core.h"
#include "foundation/url_session_errors.h"
#include "foundation/url_session_resume_data.h"
#include "foundation/url_transfer.h"

namespace fnd {
namespace detail {
namespace {

constexpr long kLongestPollMilliseconds = 1000;

void initializeLibraryOnce() {
  static const bool initialized = [] { return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; }();
  FND_PARAMETER_ASSERT_TEXT(initialized, "curl_global_init() == CURLE_OK");
}

// Name lookups and TLS sessions shared by every default session of the
// process. libcurl asks for a lock per kind of shared data.
class SharedConnectionState {
 public:
  static CURLSH* handle() {
    static SharedConnectionState state;
    return state.share_;
  }

 private:
  SharedConnectionState() {
    share_ = curl_share_init();
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* context) {
    static_cast<SharedConnectionState*>(context)->mutexes_[index(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* context) {
    static_cast<SharedConnectionState*>(context)->mutexes_[index(data)].unlock();
  }
  static std::size_t index(curl_lock_data data) {
    const auto value = static_cast<std::size_t>(data);
    return value < kKinds ? value : 0;
  }

  static constexpr std::size_t kKinds = CURL_LOCK_DATA_LAST;
  CURLSH* share_ = nullptr;
  std::array<std::mutex, kKinds> mutexes_;
};

void removeFile(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace

URLSessionCore::URLSessionCore(const URLSessionConfiguration& configuration,
                               std::shared_ptr<URLSessionDelegate> delegate, Queue delegateQueue)
    : configuration_(configuration), delegateQueue_(std::move(delegateQueue)), delegate_(std::move(delegate)) {
  initializeLibraryOnce();
  if (const auto path = environmentValue("KORVIA_CA_FILE")) {
    std::ifstream file(*path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    if (!file || contents.str().find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
      extraCertificatesProblem_ = "KORVIA_CA_FILE names no readable PEM certificates: " + *path;
    } else {
      extraCertificates_ = contents.str();
    }
  }
  if (!configuration_.isEphemeral()) share_ = SharedConnectionState::handle();
  multi_ = curl_multi_init();
  FND_PARAMETER_ASSERT(multi_ != nullptr);
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS,
                    static_cast<long>(std::max(1, configuration_.HTTPMaximumConnectionsPerHost())));
}

URLSessionCore::~URLSessionCore() {
  transfers_.clear();
  curl_multi_cleanup(multi_);
}

void URLSessionCore::start(std::shared_ptr<URLSession> session) {
  session_ = session;
  // The worker holds the session until it has become invalid.
  std::thread([session = std::move(session)]() mutable {
    session->core_->run();
    session.reset();
  }).detach();
}

std::shared_ptr<URLSessionDelegate> URLSessionCore::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

std::uint64_t URLSessionCore::nextTaskIdentifier() {
  std::lock_guard lock(mutex_);
  return nextIdentifier_++;
}

void URLSessionCore::registerTask(const std::shared_ptr<URLSessionTask>& task) {
  std::lock_guard lock(mutex_);
  // A task made after invalidation is not waited for; it can only be cancelled.
  if (!invalidated_) outstanding_[task->taskIdentifier()] = task;
}

void URLSessionCore::resumeTask(std::shared_ptr<URLSessionTask> task) {
  post({Command::Kind::resume, std::move(task), false, nullptr});
}

void URLSessionCore::suspendTask(std::shared_ptr<URLSessionTask> task) {
  post({Command::Kind::suspend, std::move(task), false, nullptr});
}

void URLSessionCore::cancelTask(std::shared_ptr<URLSessionTask> task, bool produceResumeData,
                                ResumeDataHandler handler) {
  post({Command::Kind::cancel, std::move(task), produceResumeData, std::move(handler)});
}

void URLSessionCore::post(Command command) {
  {
    std::lock_guard lock(mutex_);
    if (!workerEnded_) {
      commands_.push_back(std::move(command));
      curl_multi_wakeup(multi_);
      return;
    }
  }
  // The session has ended: a task made since can only be cancelled.
  if (command.kind != Command::Kind::suspend) {
    complete(command.task, {makeURLError(NSURLErrorCancelled, command.task->originalRequest()
                                                                  ? command.task->originalRequest()->URL()
                                                                  : nullptr),
                            nullptr, nullptr, {}, nullptr},
             std::move(command.handler));
  }
}

void URLSessionCore::invalidate(bool cancelTasks) {
  std::lock_guard lock(mutex_);
  invalidated_ = true;
  cancelAll_ = cancelAll_ || cancelTasks;
  if (!workerEnded_) curl_multi_wakeup(multi_);
}

void URLSessionCore::wake() {
  std::lock_guard lock(mutex_);
  if (!workerEnded_) curl_multi_wakeup(multi_);
}

void URLSessionCore::deliver(std::function<void(URLSession&)> block) {
  auto session = session_.lock();
  if (!session) return;
  delegateQueue_.async([session = std::move(session), block = std::move(block)] { block(*session); });
}

void URLSessionCore::run() {
  while (true) {
    std::vector<Command> commands;
    bool cancelAll = false;
    {
      std::lock_guard lock(mutex_);
      commands.swap(commands_);
      cancelAll = std::exchange(cancelAll_, false);
    }
    for (auto& command : commands) handle(command);
    if (cancelAll) cancelAllTasks();
    int running = 0;
    curl_multi_perform(multi_, &running);
    collectFinishedTransfers();
    failTimedOutTransfers();
    if (isDone()) break;
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(pollTimeoutMilliseconds()), nullptr);
  }
  deliver([](URLSession& session) {
    // Let go of the delegate before telling it, so that whoever hears of the
    // invalidation already sees a session without one.
    std::shared_ptr<URLSessionDelegate> delegate;
    {
      std::lock_guard lock(session.core_->mutex_);
      delegate = std::move(session.core_->delegate_);
      session.core_->delegate_.reset();
    }
    if (delegate) delegate->URLSessionDidBecomeInvalidWithError(session, std::nullopt);
  });
}

bool URLSessionCore::isDone() {
  std::lock_guard lock(mutex_);
  if (!invalidated_ || !commands_.empty() || cancelAll_ || !transfers_.empty()) return false;
  std::erase_if(outstanding_, [](const auto& entry) { return entry.second.expired(); });
  if (!outstanding_.empty()) return false;
  workerEnded_ = true;
  return true;
}

long URLSessionCore::pollTimeoutMilliseconds() const {
  const auto now = std::chrono::steady_clock::now();
  long timeout = kLongestPollMilliseconds;
  for (const auto& [identifier, transfer] : transfers_) {
    for (const auto deadline : {transfer->deadline(), transfer->reportDue()}) {
      if (!deadline) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
      timeout = std::clamp<long>(static_cast<long>(left), 0, timeout);
    }
  }
  return timeout;
}

void URLSessionCore::handle(Command& command) {
  const auto& task = command.task;
  const auto found = transfers_.find(task->taskIdentifier());
  URLTransfer* transfer = found == transfers_.end() ? nullptr : found->second.get();
  switch (command.kind) {
    case Command::Kind::resume:
      if (transfer) {
        if (task->state() == URLSessionTaskState::running) transfer->unpause();
      } else if (task->state() == URLSessionTaskState::running) {
        startTransfer(task);
      }
      return;
    case Command::Kind::suspend:
      if (transfer && task->state() == URLSessionTaskState::suspended) transfer->pause();
      return;
    case Command::Kind::cancel:
      if (transfer) {
        auto removed = removeTransfer(task->taskIdentifier());
        complete(task, removed->cancel(command.produceResumeData), std::move(command.handler));
        return;
      }
      {
        TransferOutcome outcome;
        const auto* download = dynamic_cast<const URLSessionDownloadTask*>(task.get());
        // Never started: the data it was made from is still good.
        if (command.produceResumeData && download) outcome.resumeData = download->initialResumeData();
        auto url = task->originalRequest() ? task->originalRequest()->URL() : nullptr;
        outcome.error = makeURLError(NSURLErrorCancelled, url, {}, outcome.resumeData);
        complete(task, std::move(outcome), std::move(command.handler));
      }
      return;
  }
}

void URLSessionCore::startTransfer(const std::shared_ptr<URLSessionTask>& task) {
  bool invalidated = false;
  {
    std::lock_guard lock(mutex_);
    invalidated = invalidated_ && !outstanding_.contains(task->taskIdentifier());
  }
  auto url = task->originalRequest() ? task->originalRequest()->URL() : nullptr;
  if (invalidated) {
    complete(task, {makeURLError(NSURLErrorCancelled, url), nullptr, nullptr, {}, nullptr}, nullptr);
    return;
  }
  auto transfer = URLTransfer::make(*this, task);
  if (!transfer) {
    complete(task, {transfer.error(), nullptr, nullptr, {}, nullptr}, nullptr);
    return;
  }
  if (curl_multi_add_handle(multi_, (*transfer)->handle()) != CURLM_OK) {
    complete(task, {makeURLError(NSURLErrorUnknown, url, "the transfer could not start"), nullptr, nullptr, {}, nullptr},
             nullptr);
    return;
  }
  transfers_.emplace(task->taskIdentifier(), std::move(transfer).value());
}

std::unique_ptr<URLTransfer> URLSessionCore::removeTransfer(std::uint64_t identifier) {
  auto node = transfers_.extract(identifier);
  if (node.empty()) return nullptr;
  curl_multi_remove_handle(multi_, node.mapped()->handle());
  return std::move(node.mapped());
}

void URLSessionCore::collectFinishedTransfers() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    URLTransfer* finished = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &finished);
    const CURLcode result = message->data.result;
    auto transfer = removeTransfer(finished->task()->taskIdentifier());
    complete(transfer->task(), transfer->finish(result), nullptr);
  }
}

void URLSessionCore::failTimedOutTransfers() {
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::uint64_t> expired;
  for (const auto& [identifier, transfer] : transfers_) {
    if (transfer->hasTimedOut(now)) expired.push_back(identifier);
    transfer->deliverDueReports(now);
  }
  for (const auto identifier : expired) {
    auto transfer = removeTransfer(identifier);
    complete(transfer->task(), transfer->timeOut(), nullptr);
  }
}

void URLSessionCore::cancelAllTasks() {
  std::vector<std::shared_ptr<URLSessionTask>> tasks;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [identifier, weak] : outstanding_) {
      if (auto task = weak.lock()) tasks.push_back(std::move(task));
    }
  }
  for (auto& task : tasks) {
    if (!task->beginCanceling()) continue;
    Command command{Command::Kind::cancel, task, false, nullptr};
    handle(command);
  }
}

void URLSessionCore::complete(const std::shared_ptr<URLSessionTask>& task, TransferOutcome outcome,
                              ResumeDataHandler handler) {
  if (!task->markCompleted(outcome.error)) {
    // Already ended: a late cancellation gets no data.
    removeFile(outcome.filePath);
    if (handler) deliver([handler = std::move(handler)](URLSession&) { handler(nullptr); });
    return;
  }
  if (outcome.response) task->setResponse(outcome.response);
  {
    std::lock_guard lock(mutex_);
    outstanding_.erase(task->taskIdentifier());
  }
  auto block = [task, outcome = std::move(outcome), handler = std::move(handler)](URLSession& session) {
    if (handler) handler(outcome.resumeData);
    const auto delegate = session.delegate();
    auto* taskDelegate = dynamic_cast<URLSessionTaskDelegate*>(delegate.get());
    if (auto* download = dynamic_cast<URLSessionDownloadTask*>(task.get())) {
      const auto location = outcome.filePath.empty() ? nullptr : URL::fileURLWithPath(outcome.filePath);
      if (download->completionHandler()) {
        download->completionHandler()(location, outcome.response, outcome.error);
        taskDelegate = nullptr;
      } else if (location) {
        if (auto* receiver = dynamic_cast<URLSessionDownloadDelegate*>(delegate.get())) {
          receiver->URLSessionDownloadTaskDidFinishDownloadingToURL(session, *download, location);
        }
      }
      removeFile(outcome.filePath);
    } else if (auto* data = dynamic_cast<URLSessionDataTask*>(task.get()); data && data->completionHandler()) {
      data->completionHandler()(outcome.error ? nullptr : (outcome.body ? outcome.body : Data::make(std::string_view())),
                                outcome.response, outcome.error);
      taskDelegate = nullptr;
    }
    if (taskDelegate) taskDelegate->URLSessionTaskDidCompleteWithError(session, *task, outcome.error);
  };
  deliver(std::move(block));
}

}  // namespace detail

std::shared_ptr<URLSession> URLSession::sessionWithConfiguration(const URLSessionConfiguration& configuration,
                                                                 std::shared_ptr<URLSessionDelegate> delegate,
                                                                 std::optional<Queue> delegateQueue) {
  std::shared_ptr<URLSession> session(new URLSession());
  Queue queue = delegateQueue ? *delegateQueue : Queue::serial("com.korvia.url-session.delegate-queue");
  session->core_ = std::make_unique<detail::URLSessionCore>(configuration, std::move(delegate), std::move(queue));
  session->core_->start(session);
  return session;
}

URLSession::~URLSession() = default;

const URLSessionConfiguration& URLSession::configuration() const { return core_->configuration(); }
const Queue& URLSession::delegateQueue() const { return core_->delegateQueue(); }
std::shared_ptr<URLSessionDelegate> URLSession::delegate() const { return core_->delegate(); }

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithRequest(const URLRequest& request,
                                                                    URLSessionDataCompletionHandler completion) {
  auto task = std::make_shared<URLSessionDataTask>(shared_from_this(), core_->nextTaskIdentifier(), request,
                                                   std::move(completion));
  core_->registerTask(task);
  return task;
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithURL(const std::shared_ptr<URL>& url,
                                                                URLSessionDataCompletionHandler completion) {
  return dataTaskWithRequest(URLRequest(url, configuration().requestCachePolicy()), std::move(completion));
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(
    const URLRequest& request, URLSessionDownloadCompletionHandler completion) {
  auto task = std::make_shared<URLSessionDownloadTask>(shared_from_this(), core_->nextTaskIdentifier(), request,
                                                       nullptr, std::move(completion));
  core_->registerTask(task);
  return task;
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithURL(
    const std::shared_ptr<URL>& url, URLSessionDownloadCompletionHandler completion) {
  return downloadTaskWithRequest(URLRequest(url, configuration().requestCachePolicy()), std::move(completion));
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithResumeData(
    const std::shared_ptr<Data>& resumeData, URLSessionDownloadCompletionHandler completion) {
  std::optional<URLRequest> request;
  auto blob = resumeData ? resumeData : Data::make(std::string_view());
  if (auto state = detail::decodeDownloadResumeData(*blob)) {
    request.emplace(URL::URLWithString(state->url), configuration().requestCachePolicy(), state->requestTimeout);
    for (const auto& [name, value] : state->requestHeaders) request->setValueForHTTPHeaderField(value, name);
  }
  auto task = std::make_shared<URLSessionDownloadTask>(shared_from_this(), core_->nextTaskIdentifier(),
                                                       std::move(request), blob, std::move(completion));
  core_->registerTask(task);
  return task;
}

void URLSession::finishTasksAndInvalidate() { core_->invalidate(false); }
void URLSession::invalidateAndCancel() { core_->invalidate(true); }

}  // namespace fnd
