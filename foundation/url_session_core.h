#pragma once

// The machinery behind URLSession (internal): the worker thread that drives
// libcurl's multi handle, the commands tasks send it, and the delivery of
// reports to the delegate queue.
//
// Threads: tasks post commands from any thread (under `mutex_`); everything
// about libcurl handles and running transfers belongs to the worker thread.

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/error.h"
#include "foundation/queue.h"
#include "foundation/url_session_configuration.h"
#include "foundation/url_session_delegate.h"
#include "foundation/url_session_task.h"

namespace fnd::detail {

class URLTransfer;

// What a transfer's end delivers.
struct TransferOutcome {
  std::optional<Error> error;
  std::shared_ptr<HTTPURLResponse> response;
  // The body of a data task with a completion handler.
  std::shared_ptr<Data> body;
  // The finished download; removed once delivered.
  std::string filePath;
  std::shared_ptr<Data> resumeData;
};

using ResumeDataHandler = std::function<void(const std::shared_ptr<Data>&)>;

class URLSessionCore {
 public:
  URLSessionCore(const URLSessionConfiguration& configuration, std::shared_ptr<URLSessionDelegate> delegate,
                 Queue delegateQueue);
  ~URLSessionCore();
  URLSessionCore(const URLSessionCore&) = delete;
  URLSessionCore& operator=(const URLSessionCore&) = delete;

  // Starts the worker, which keeps the session alive until it is invalid.
  void start(std::shared_ptr<URLSession> session);

  const URLSessionConfiguration& configuration() const { return configuration_; }
  const Queue& delegateQueue() const { return delegateQueue_; }
  std::shared_ptr<URLSessionDelegate> delegate() const;
  // Extra trust anchors from $KORVIA_CA_FILE, or why they could not be read.
  const std::optional<std::string>& extraCertificates() const { return extraCertificates_; }
  const std::optional<std::string>& extraCertificatesProblem() const { return extraCertificatesProblem_; }
  CURLSH* share() const { return share_; }

  // A new identifier, with the task registered as outstanding.
  std::uint64_t nextTaskIdentifier();
  void registerTask(const std::shared_ptr<URLSessionTask>& task);

  void resumeTask(std::shared_ptr<URLSessionTask> task);
  void suspendTask(std::shared_ptr<URLSessionTask> task);
  void cancelTask(std::shared_ptr<URLSessionTask> task, bool produceResumeData, ResumeDataHandler handler);
  void invalidate(bool cancelTasks);
  // Makes the worker look at its tasks again.
  void wake();

  // Runs `block` on the delegate queue with the session.
  void deliver(std::function<void(URLSession&)> block);

 private:
  struct Command {
    enum class Kind { resume, suspend, cancel } kind;
    std::shared_ptr<URLSessionTask> task;
    bool produceResumeData = false;
    ResumeDataHandler handler;
  };

  void post(Command command);
  void run();
  void handle(Command& command);
  void startTransfer(const std::shared_ptr<URLSessionTask>& task);
  void collectFinishedTransfers();
  void failTimedOutTransfers();
  void cancelAllTasks();
  bool isDone();
  long pollTimeoutMilliseconds() const;
  std::unique_ptr<URLTransfer> removeTransfer(std::uint64_t identifier);
  void complete(const std::shared_ptr<URLSessionTask>& task, TransferOutcome outcome, ResumeDataHandler handler);

  const URLSessionConfiguration configuration_;
  const Queue delegateQueue_;
  std::optional<std::string> extraCertificates_;
  std::optional<std::string> extraCertificatesProblem_;
  CURLSH* share_ = nullptr;
  CURLM* multi_ = nullptr;
  std::weak_ptr<URLSession> session_;

  mutable std::mutex mutex_;
  std::shared_ptr<URLSessionDelegate> delegate_;
  std::vector<Command> commands_;
  std::map<std::uint64_t, std::weak_ptr<URLSessionTask>> outstanding_;
  std::uint64_t nextIdentifier_ = 1;
  bool invalidated_ = false;
  bool cancelAll_ = false;
  bool workerEnded_ = false;

  // Worker thread only.
  std::map<std::uint64_t, std::unique_ptr<URLTransfer>> transfers_;
};

}  // namespace fnd::detail
