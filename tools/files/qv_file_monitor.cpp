#include "tools/files/qv_file_monitor.h"

#include <algorithm>
#include <utility>

#include "foundation/check.h"
#include "tools/qv_queue_builder.h"

QVFileMonitor::QVFileMonitor(std::shared_ptr<fnd::URL> url)
    : fileURL_(std::move(url)), internalQueue_(QVQueueBuilder::internalQueueWithName("file-monitor")) {}

QVFileMonitor::~QVFileMonitor() {
  if (monitor_) monitor_->cancel();
}

fnd::Expected<std::shared_ptr<QVFileMonitor>> QVFileMonitor::monitorWithFileURL(std::shared_ptr<fnd::URL> url) {
  FND_PARAMETER_ASSERT(url);
  std::shared_ptr<QVFileMonitor> monitor(new QVFileMonitor(url));
  auto watching = fnd::FileMonitor::create(url->path(), monitor->internalQueue_,
                                           [weak = std::weak_ptr<QVFileMonitor>(monitor)] {
                                             if (auto self = weak.lock()) self->notifyObservers();
                                           });
  if (!watching) return watching.error();
  monitor->monitor_ = std::move(*watching);
  return monitor;
}

void QVFileMonitor::addObserver(std::weak_ptr<QVFileObserver> observer) {
  internalQueue_.async([weak = weak_from_this(), observer = std::move(observer)] {
    if (auto self = weak.lock()) self->observers_.push_back(observer);
  });
}

void QVFileMonitor::removeObserver(const std::shared_ptr<QVFileObserver>& observer) {
  internalQueue_.async([weak = weak_from_this(), raw = observer.get()] {
    auto self = weak.lock();
    if (!self) return;
    std::erase_if(self->observers_, [raw](const auto& held) {
      auto strong = held.lock();
      return !strong || strong.get() == raw;
    });
  });
}

void QVFileMonitor::notifyObservers() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  auto observers = observers_;
  for (const auto& held : observers) {
    if (auto observer = held.lock()) observer->fileMonitorDidObserveChange(*this, *fileURL_);
  }
}
