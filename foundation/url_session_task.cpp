#include "foundation/url_session_task.h"

#include "foundation/url_session.h"
#include "foundation/url_session_core.h"

namespace fnd {

URLSessionTask::URLSessionTask(std::shared_ptr<URLSession> session, std::uint64_t identifier,
                               std::optional<URLRequest> request)
    : session_(std::move(session)), identifier_(identifier), request_(std::move(request)) {}

// The worker waits for outstanding tasks; one that goes away unstarted
// should not keep an invalidated session waiting.
URLSessionTask::~URLSessionTask() { session_->core_->wake(); }

URLSessionTaskState URLSessionTask::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::shared_ptr<HTTPURLResponse> URLSessionTask::response() const {
  std::lock_guard lock(mutex_);
  return response_;
}

std::optional<Error> URLSessionTask::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::int64_t URLSessionTask::countOfBytesReceived() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::int64_t URLSessionTask::countOfBytesExpectedToReceive() const {
  std::lock_guard lock(mutex_);
  return expected_;
}

std::string URLSessionTask::taskDescription() const {
  std::lock_guard lock(mutex_);
  return description_;
}

void URLSessionTask::setTaskDescription(std::string description) {
  std::lock_guard lock(mutex_);
  description_ = std::move(description);
}

void URLSessionTask::resume() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != URLSessionTaskState::suspended) return;
    state_ = URLSessionTaskState::running;
  }
  session_->core_->resumeTask(shared_from_this());
}

void URLSessionTask::suspend() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != URLSessionTaskState::running) return;
    state_ = URLSessionTaskState::suspended;
  }
  session_->core_->suspendTask(shared_from_this());
}

void URLSessionTask::cancel() {
  if (!beginCanceling()) return;
  session_->core_->cancelTask(shared_from_this(), false, nullptr);
}

bool URLSessionTask::beginCanceling() {
  std::lock_guard lock(mutex_);
  if (state_ != URLSessionTaskState::running && state_ != URLSessionTaskState::suspended) return false;
  state_ = URLSessionTaskState::canceling;
  return true;
}

void URLSessionTask::setResponse(std::shared_ptr<HTTPURLResponse> response) {
  std::lock_guard lock(mutex_);
  response_ = std::move(response);
}

void URLSessionTask::setCounts(std::int64_t received, std::int64_t expected) {
  std::lock_guard lock(mutex_);
  received_ = received;
  expected_ = expected;
}

bool URLSessionTask::markCompleted(const std::optional<Error>& error) {
  std::lock_guard lock(mutex_);
  if (state_ == URLSessionTaskState::completed) return false;
  state_ = URLSessionTaskState::completed;
  error_ = error;
  return true;
}

URLSessionDataTask::URLSessionDataTask(std::shared_ptr<URLSession> session, std::uint64_t identifier,
                                       URLRequest request, URLSessionDataCompletionHandler completion)
    : URLSessionTask(std::move(session), identifier, std::move(request)), completion_(std::move(completion)) {}

URLSessionDownloadTask::URLSessionDownloadTask(std::shared_ptr<URLSession> session, std::uint64_t identifier,
                                               std::optional<URLRequest> request, std::shared_ptr<Data> resumeData,
                                               URLSessionDownloadCompletionHandler completion)
    : URLSessionTask(std::move(session), identifier, std::move(request)),
      resumeData_(std::move(resumeData)),
      completion_(std::move(completion)) {}

void URLSessionDownloadTask::cancelByProducingResumeData(
    std::function<void(const std::shared_ptr<Data>& resumeData)> completion) {
  if (!beginCanceling()) {
    if (completion) session().core_->deliver([completion = std::move(completion)](URLSession&) { completion(nullptr); });
    return;
  }
  session().core_->cancelTask(shared_from_this(), true, std::move(completion));
}

}  // namespace fnd
