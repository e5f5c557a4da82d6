#pragma once

// Watches whether a network destination can be reached and tells any number of
// subscribers the new status on every change the system reports.

#include <netinet/in.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/network_reachability.h"
#include "foundation/queue.h"
#include "foundation/uuid.h"

enum QVReachabilityStatus : long {
  QVReachabilityStatusNotReachable = 0,
  QVReachabilityStatusReachable = 1,
};

class QVReachability : public std::enable_shared_from_this<QVReachability> {
 public:
  using ChangesBlock = std::function<void(QVReachabilityStatus)>;

  static std::shared_ptr<QVReachability> initWithReachabilityRef(std::shared_ptr<fnd::NetworkReachability> target);
  // Null when the platform cannot watch the destination.
  static std::shared_ptr<QVReachability> initWithHostName(std::string_view hostName);
  static std::shared_ptr<QVReachability> initWithAddress(const sockaddr* address, socklen_t length);
  // The internet in general: 0.0.0.0.
  static std::shared_ptr<QVReachability> initForInternetConnection();
  ~QVReachability();
  QVReachability(const QVReachability&) = delete;
  QVReachability& operator=(const QVReachability&) = delete;

  // The subscriber runs on the global utility queue for every later change.
  std::shared_ptr<fnd::UUID> subscribeForChangesWithBlock(ChangesBlock block);
  void unsubscribeForChangesWithToken(const std::shared_ptr<fnd::UUID>& token);

  // Read now, on the caller's thread.
  QVReachabilityStatus status() const;
  bool connectionRequired() const;
  fnd::NetworkReachabilityFlags reachabilityFlags() const;

  // The queue all monitors share.
  static fnd::Queue sharedQueue();

 private:
  explicit QVReachability(std::shared_ptr<fnd::NetworkReachability> target);

  // On the shared queue.
  void startNotifier();
  void stopNotifier();
  void notifySubscribers();

  const std::shared_ptr<fnd::NetworkReachability> target_;
  // Keyed by the token's text; confined to the shared queue.
  std::map<std::string, ChangesBlock> changesBlockByToken_;
  bool isNotifying_ = false;
};
