#pragma once

// Makes the connection to one service: one attempt at a time, shared by
// everybody who waits for it, with one more attempt five seconds after a
// failure. The attempt is the default action of the proactor group
// "makeXPCConnection"; each fetch after it completed starts a new one.

#include <functional>
#include <memory>
#include <string>

#include "foundation/ipc/interface.h"
#include "interface/interprocess/afx_interprocess_client_delegate.h"
#include "tools/qv_proactor.h"

class AFXInterprocessClient final : public QVProactorDelegate, public std::enable_shared_from_this<AFXInterprocessClient> {
 public:
  using ConnectionCallback = AFXInterprocessClientDelegate::ConnectionCallback;

  // The key of the attempt's result in the proactor action.
  static constexpr const char* kConnectionOrErrorKey = "xpcConnectionOrError";
  static constexpr const char* kGroupID = "makeXPCConnection";
  // Between a failed attempt and the one retry.
  static constexpr fnd::Clock::Duration kRetryDelay = std::chrono::seconds(5);

  static std::shared_ptr<AFXInterprocessClient> initWithRemoteObjectInterface(
      std::shared_ptr<const fnd::ipc::Interface> remoteObjectInterface, std::string tierName,
      std::weak_ptr<AFXInterprocessClientDelegate> delegate);
  AFXInterprocessClient() = delete;

  // A resumed, set-up connection, or the attempt's error.
  void fetchXPCConnectionWithCallback(ConnectionCallback callback);

  std::shared_ptr<AFXInterprocessClientDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<const fnd::ipc::Interface>& remoteObjectInterface() const { return remoteObjectInterface_; }
  const std::string& tierName() const { return tierName_; }
  const std::shared_ptr<QVProactor>& proactor() const { return proactor_; }

 private:
  struct Token {};

 public:
  AFXInterprocessClient(Token, std::shared_ptr<const fnd::ipc::Interface> remoteObjectInterface, std::string tierName,
                        std::weak_ptr<AFXInterprocessClientDelegate> delegate);

 private:
  void makeXPCConnectionWithAction(const std::shared_ptr<QVProactorAction>& action);
  void dispatchedMakeXPCConnectionCanRetry(bool canRetry, ConnectionCallback callback);
  void dispatchedMakeXPCConnectionWithCallback(ConnectionCallback callback);

  const std::weak_ptr<AFXInterprocessClientDelegate> delegate_;
  const std::shared_ptr<const fnd::ipc::Interface> remoteObjectInterface_;
  const std::string tierName_;
  std::shared_ptr<QVProactor> proactor_;
};
