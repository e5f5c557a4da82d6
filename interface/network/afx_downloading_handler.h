#pragma once

// One requested download of the network service: the caller's progress and
// completion functions, the session task that carries the transfer and the
// priority holder through which the download's priority may change. The
// handler watches the holder and tells its delegate of each change.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/clock.h"
#include "foundation/error.h"
#include "foundation/url.h"
#include "foundation/url_response.h"
#include "foundation/url_session_task.h"
#include "interface/model/afx_resource_download_priority_holder.h"
#include "interface/network/afx_downloading_handler_delegate.h"

class AFXDownloadingHandler final : public std::enable_shared_from_this<AFXDownloadingHandler> {
 public:
  using ProgressHandler = std::function<void(double fraction)>;
  // Returns the error the download ended with as the caller was told it, so
  // that an answer the caller took as a failure is timed as one.
  using CompletionHandler = std::function<std::optional<fnd::Error>(
      const std::shared_ptr<fnd::URL>& location, const std::shared_ptr<fnd::HTTPURLResponse>& response,
      const std::optional<fnd::Error>& error)>;

  // `downloadTask` and `completionHandler` are required.
  static std::shared_ptr<AFXDownloadingHandler> create(ProgressHandler progressHandler,
                                                       CompletionHandler completionHandler,
                                                       std::optional<std::string> statsdID,
                                                       std::shared_ptr<fnd::URLSessionDownloadTask> downloadTask,
                                                       std::shared_ptr<AFXResourceDownloadPriorityHolder> priorityHolder,
                                                       std::weak_ptr<AFXDownloadingHandlerDelegate> delegate);
  AFXDownloadingHandler(const AFXDownloadingHandler&) = delete;
  AFXDownloadingHandler& operator=(const AFXDownloadingHandler&) = delete;

  const ProgressHandler& progressHandler() const { return progressHandler_; }
  const CompletionHandler& completionHandler() const { return completionHandler_; }
  const std::shared_ptr<fnd::URLSessionDownloadTask>& downloadTask() const { return downloadTask_; }
  std::uint64_t taskIdentifier() const { return downloadTask_->taskIdentifier(); }
  const std::optional<std::string>& statsdID() const { return statsdID_; }

  // None until the transfer first starts; reset each time it starts again.
  const std::optional<fnd::Clock::TimePoint>& startDate() const { return startDate_; }
  void setStartDate(fnd::Clock::TimePoint date) { startDate_ = date; }

  // The holder's priority; the default level without a holder.
  AFXResourceDownloadPriority priority() const;
  const std::shared_ptr<AFXResourceDownloadPriorityHolder>& priorityHolder() const { return priorityHolder_; }
  // Stops watching the earlier holder and watches this one, when there is one.
  void setPriorityHolder(std::shared_ptr<AFXResourceDownloadPriorityHolder> holder);

  std::shared_ptr<AFXDownloadingHandlerDelegate> delegate() const { return delegate_.lock(); }

 private:
  AFXDownloadingHandler(ProgressHandler progressHandler, CompletionHandler completionHandler,
                        std::optional<std::string> statsdID, std::shared_ptr<fnd::URLSessionDownloadTask> downloadTask,
                        std::weak_ptr<AFXDownloadingHandlerDelegate> delegate);
  void priorityDidChange(std::uint64_t observation);

  const ProgressHandler progressHandler_;
  const CompletionHandler completionHandler_;
  const std::optional<std::string> statsdID_;
  const std::shared_ptr<fnd::URLSessionDownloadTask> downloadTask_;
  const std::weak_ptr<AFXDownloadingHandlerDelegate> delegate_;
  // The start date is touched by the network service's queue only.
  std::optional<fnd::Clock::TimePoint> startDate_;
  std::shared_ptr<AFXResourceDownloadPriorityHolder> priorityHolder_;
  // Holders keep their observers for life; an observer whose number is no
  // longer this one belongs to an earlier holder and is ignored. Read on the
  // holder's queue.
  std::atomic<std::uint64_t> observation_{0};
};
