#include "interface/network/afx_downloading_handler.h"

#include "foundation/check.h"

std::shared_ptr<AFXDownloadingHandler> AFXDownloadingHandler::create(
    ProgressHandler progressHandler, CompletionHandler completionHandler, std::optional<std::string> statsdID,
    std::shared_ptr<fnd::URLSessionDownloadTask> downloadTask,
    std::shared_ptr<AFXResourceDownloadPriorityHolder> priorityHolder,
    std::weak_ptr<AFXDownloadingHandlerDelegate> delegate) {
  FND_PARAMETER_ASSERT(downloadTask != nullptr);
  FND_PARAMETER_ASSERT(completionHandler != nullptr);
  std::shared_ptr<AFXDownloadingHandler> handler(new AFXDownloadingHandler(
      std::move(progressHandler), std::move(completionHandler), std::move(statsdID), std::move(downloadTask),
      std::move(delegate)));
  handler->setPriorityHolder(std::move(priorityHolder));
  return handler;
}

AFXDownloadingHandler::AFXDownloadingHandler(ProgressHandler progressHandler, CompletionHandler completionHandler,
                                             std::optional<std::string> statsdID,
                                             std::shared_ptr<fnd::URLSessionDownloadTask> downloadTask,
                                             std::weak_ptr<AFXDownloadingHandlerDelegate> delegate)
    : progressHandler_(std::move(progressHandler)),
      completionHandler_(std::move(completionHandler)),
      statsdID_(std::move(statsdID)),
      downloadTask_(std::move(downloadTask)),
      delegate_(std::move(delegate)) {}

AFXResourceDownloadPriority AFXDownloadingHandler::priority() const {
  return priorityHolder_ ? priorityHolder_->priority() : AFXResourceDownloadPriorityDefault;
}

void AFXDownloadingHandler::setPriorityHolder(std::shared_ptr<AFXResourceDownloadPriorityHolder> holder) {
  const std::uint64_t observation = observation_.fetch_add(1) + 1;
  priorityHolder_ = std::move(holder);
  if (!priorityHolder_) return;
  std::weak_ptr<AFXDownloadingHandler> weakSelf = weak_from_this();
  // The holder only reports a priority that differs from the one it had.
  priorityHolder_->addPriorityObserver([weakSelf, observation](AFXResourceDownloadPriority) {
    if (auto self = weakSelf.lock()) self->priorityDidChange(observation);
  });
}

void AFXDownloadingHandler::priorityDidChange(std::uint64_t observation) {
  if (observation != observation_.load()) return;
  if (auto delegate = delegate_.lock()) delegate->handlerDidChangeDownloadingPriority(*this);
}
