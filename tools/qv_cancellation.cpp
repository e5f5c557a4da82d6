#include "tools/qv_cancellation.h"

#include <utility>

#include "foundation/check.h"
#include "tools/qv_queue_builder.h"

namespace {

using Handler = QVCancellation::Handler;

fnd::Queue handlerQueue() { return fnd::Queue::global(fnd::QualityOfService::utility); }

// One task per cancel: the handlers run one after another, in registration
// order.
void scheduleHandlers(std::vector<Handler> handlers) {
  if (handlers.empty()) return;
  handlerQueue().async([handlers = std::move(handlers)] {
    for (const Handler& handler : handlers) handler();
  });
}

void notifyObservers(std::vector<Handler> observers) {
  for (const Handler& observer : observers) observer();
}

}  // namespace

// MARK: - QVCancellation

QVCancellation::~QVCancellation() = default;

bool QVCancellation::addCancellationObserver(Handler) { return false; }

// MARK: - QVCancellationManager

QVCancellationManager& QVCancellationManager::sharedInstance() {
  // Leaked: tokens may be cancelled while the process exits.
  static QVCancellationManager* manager = new QVCancellationManager;
  return *manager;
}

QVCancellationManager::QVCancellationManager()
    : queue_(QVQueueBuilder::internalQueueWithName("cancellation-manager")) {}

void QVCancellationManager::performBlock(const std::function<void()>& block) const {
  FND_PARAMETER_ASSERT(block != nullptr);
  if (queue_.isCurrent()) {
    block();
  } else {
    queue_.sync(block);
  }
}

// MARK: - QVCancellationToken

std::shared_ptr<QVCancellationToken> QVCancellationToken::create() {
  return std::shared_ptr<QVCancellationToken>(new QVCancellationToken);
}

QVCancellationToken::QVCancellationToken() : manager_(QVCancellationManager::sharedInstance()) {}

void QVCancellationToken::addCancellationHandler(Handler handler) {
  FND_PARAMETER_ASSERT(handler != nullptr);
  manager_.performBlock([&] {
    if (isCancelled_) {
      handlerQueue().async(std::move(handler));
    } else {
      cancellationHandlers_.push_back(std::move(handler));
    }
  });
}

void QVCancellationToken::cancel() {
  manager_.performBlock([&] {
    if (isCancelled_) return;
    isCancelled_ = true;
    scheduleHandlers(std::exchange(cancellationHandlers_, {}));
    notifyObservers(std::exchange(observers_, {}));
  });
}

bool QVCancellationToken::isCancelled() const {
  bool cancelled = false;
  manager_.performBlock([&] { cancelled = isCancelled_; });
  return cancelled;
}

bool QVCancellationToken::addCancellationObserver(Handler observer) {
  FND_PARAMETER_ASSERT(manager_.queue().isCurrent());
  if (isCancelled_) {
    observer();
  } else {
    observers_.push_back(std::move(observer));
  }
  return true;
}

// MARK: - QVCancellationGroup

std::shared_ptr<QVCancellationGroup> QVCancellationGroup::initWithPolicy(long policy) {
  return std::shared_ptr<QVCancellationGroup>(new QVCancellationGroup(policy));
}

QVCancellationGroup::QVCancellationGroup(long policy)
    : policy_(policy), manager_(QVCancellationManager::sharedInstance()) {}

void QVCancellationGroup::addChild(std::shared_ptr<QVCancellation> child) {
  FND_PARAMETER_ASSERT(child != nullptr);
  FND_PARAMETER_ASSERT(child.get() != this);
  manager_.performBlock([&] {
    if (child->isCancelled()) {
      cancelledChildren_.insert(child);
      checkChildren();
    } else if (isCancelled_) {
      child->cancel();
      cancelledChildren_.insert(child);
    } else {
      nonCancelledChildren_.insert(child);
      observe(child);
    }
  });
}

void QVCancellationGroup::observe(const std::shared_ptr<QVCancellation>& child) {
  // Weak: children may outlive the group.
  std::weak_ptr<QVCancellationGroup> weak = weak_from_this();
  child->addCancellationObserver([weak] {
    if (auto self = weak.lock()) self->checkChildren();
  });
}

void QVCancellationGroup::addCancellationHandler(Handler handler) {
  FND_PARAMETER_ASSERT(handler != nullptr);
  manager_.performBlock([&] {
    if (isCancelled_) {
      handlerQueue().async(std::move(handler));
    } else {
      cancellationHandlers_.push_back(std::move(handler));
    }
  });
}

void QVCancellationGroup::cancel() {
  manager_.performBlock([&] { cancelOnQueue(); });
}

bool QVCancellationGroup::isCancelled() const {
  bool cancelled = false;
  manager_.performBlock([&] { cancelled = isCancelled_; });
  return cancelled;
}

bool QVCancellationGroup::addCancellationObserver(Handler observer) {
  FND_PARAMETER_ASSERT(manager_.queue().isCurrent());
  if (isCancelled_) {
    observer();
  } else {
    observers_.push_back(std::move(observer));
  }
  return true;
}

void QVCancellationGroup::cancelOnQueue() {
  if (isCancelled_) return;
  isCancelled_ = true;
  // The children report their cancellation back here; that changes nothing now.
  const bool wasSuppressed = std::exchange(suppressCheckChildren_, true);
  moveLiveChildrenToCancelled(/*cancellingThem=*/true);
  suppressCheckChildren_ = wasSuppressed;
  scheduleHandlers(std::exchange(cancellationHandlers_, {}));
  notifyObservers(std::exchange(observers_, {}));
}

void QVCancellationGroup::moveLiveChildrenToCancelled(bool cancellingThem) {
  // A copy: cancelling a child may report back into this group.
  const std::vector<std::shared_ptr<QVCancellation>> live(nonCancelledChildren_.begin(), nonCancelledChildren_.end());
  for (const std::shared_ptr<QVCancellation>& child : live) {
    if (cancellingThem) child->cancel();
    if (cancellingThem || child->isCancelled()) {
      nonCancelledChildren_.erase(child);
      cancelledChildren_.insert(child);
    }
  }
}

void QVCancellationGroup::checkChildren() {
  FND_PARAMETER_ASSERT(manager_.queue().isCurrent());
  if (suppressCheckChildren_) return;
  suppressCheckChildren_ = true;
  if (isCancelled_) {
    moveLiveChildrenToCancelled(/*cancellingThem=*/true);
  } else {
    moveLiveChildrenToCancelled(/*cancellingThem=*/false);
    const bool anyCancelled = !cancelledChildren_.empty();
    if (anyCancelled && (policy_ == kPolicyAny || nonCancelledChildren_.empty())) cancelOnQueue();
  }
  suppressCheckChildren_ = false;
}
