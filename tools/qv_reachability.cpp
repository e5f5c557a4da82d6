#include "tools/qv_reachability.h"

#include <arpa/inet.h>

#include <cstring>
#include <utility>

#include "foundation/check.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

QVReachabilityStatus statusOfFlags(fnd::NetworkReachabilityFlags flags) {
  if ((flags & fnd::kNetworkReachabilityFlagsReachable) == 0) return QVReachabilityStatusNotReachable;
  if ((flags & fnd::kNetworkReachabilityFlagsConnectionRequired) == 0) return QVReachabilityStatusReachable;
  const bool connectsByItself = (flags & (fnd::kNetworkReachabilityFlagsConnectionOnTraffic |
                                          fnd::kNetworkReachabilityFlagsConnectionOnDemand)) != 0;
  const bool needsUser = (flags & fnd::kNetworkReachabilityFlagsInterventionRequired) != 0;
  return connectsByItself && !needsUser ? QVReachabilityStatusReachable : QVReachabilityStatusNotReachable;
}

}  // namespace

fnd::Queue QVReachability::sharedQueue() {
  static const fnd::Queue queue = QVQueueBuilder::internalQueueWithName("reachability");
  return queue;
}

QVReachability::QVReachability(std::shared_ptr<fnd::NetworkReachability> target) : target_(std::move(target)) {}

std::shared_ptr<QVReachability> QVReachability::initWithReachabilityRef(
    std::shared_ptr<fnd::NetworkReachability> target) {
  FND_PARAMETER_ASSERT_TEXT(target != nullptr, "reachabilityRef");
  return std::shared_ptr<QVReachability>(new QVReachability(std::move(target)));
}

std::shared_ptr<QVReachability> QVReachability::initWithHostName(std::string_view hostName) {
  auto target = fnd::NetworkReachability::createWithName(hostName);
  return target ? initWithReachabilityRef(std::move(target)) : nullptr;
}

std::shared_ptr<QVReachability> QVReachability::initWithAddress(const sockaddr* address, socklen_t length) {
  auto target = fnd::NetworkReachability::createWithAddress(address, length);
  return target ? initWithReachabilityRef(std::move(target)) : nullptr;
}

std::shared_ptr<QVReachability> QVReachability::initForInternetConnection() {
  sockaddr_in zeroAddress{};
  zeroAddress.sin_family = AF_INET;
  zeroAddress.sin_port = 0;
  zeroAddress.sin_addr.s_addr = htonl(INADDR_ANY);
  return initWithAddress(reinterpret_cast<const sockaddr*>(&zeroAddress), sizeof zeroAddress);
}

QVReachability::~QVReachability() {
  // The last reference may go on any thread, the shared queue included; the
  // target outlives nothing that could still call into this monitor, since
  // its callback holds the monitor only weakly.
  target_->setDispatchQueue(std::nullopt);
  target_->setCallback(nullptr);
}

std::shared_ptr<fnd::UUID> QVReachability::subscribeForChangesWithBlock(ChangesBlock block) {
  FND_PARAMETER_ASSERT(block != nullptr);
  auto token = fnd::UUID::make();
  sharedQueue().async([self = shared_from_this(), key = token->UUIDString(), block = std::move(block)]() mutable {
    if (self->changesBlockByToken_.empty()) self->startNotifier();
    self->changesBlockByToken_[key] = std::move(block);
  });
  return token;
}

void QVReachability::unsubscribeForChangesWithToken(const std::shared_ptr<fnd::UUID>& token) {
  if (!token) return;
  sharedQueue().async([self = shared_from_this(), key = token->UUIDString()] {
    const bool hadSubscribers = !self->changesBlockByToken_.empty();
    self->changesBlockByToken_.erase(key);
    if (hadSubscribers && self->changesBlockByToken_.empty()) self->stopNotifier();
  });
}

void QVReachability::startNotifier() {
  FND_PARAMETER_ASSERT(sharedQueue().isCurrent());
  std::weak_ptr<QVReachability> weak = weak_from_this();
  const bool didSetCallback = target_->setCallback([weak](fnd::NetworkReachabilityFlags) {
    // A change queued just before the monitor went away finds nobody to tell.
    if (auto self = weak.lock()) self->notifySubscribers();
  });
  const bool didSchedule = didSetCallback && target_->setDispatchQueue(sharedQueue());
  // Without the system's notices the monitor still answers direct reads;
  // subscribers then hear of no change rather than the process stopping.
  if (!didSchedule) DDLogError("Reachability notifier could not be scheduled; no changes will be reported");
  isNotifying_ = didSchedule;
}

void QVReachability::stopNotifier() {
  FND_PARAMETER_ASSERT(sharedQueue().isCurrent());
  if (!isNotifying_) return;
  target_->setDispatchQueue(std::nullopt);
  isNotifying_ = false;
}

void QVReachability::notifySubscribers() {
  FND_PARAMETER_ASSERT(sharedQueue().isCurrent());
  const QVReachabilityStatus current = status();
  const fnd::Queue utility = fnd::Queue::global(fnd::QualityOfService::utility);
  for (const auto& [key, block] : changesBlockByToken_) {
    utility.async([block = block, current] { block(current); });
  }
}

QVReachabilityStatus QVReachability::status() const { return statusOfFlags(reachabilityFlags()); }

bool QVReachability::connectionRequired() const {
  return (reachabilityFlags() & fnd::kNetworkReachabilityFlagsConnectionRequired) != 0;
}

fnd::NetworkReachabilityFlags QVReachability::reachabilityFlags() const {
  // Flags that cannot be read say nothing is reachable, as the platform does.
  return target_->flags().value_or(0);
}
