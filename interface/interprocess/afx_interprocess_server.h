#pragma once

// Serves one listener: every connecting peer gets the exported interface and
// the object the delegate makes for it. The listener has already checked
// that the peer runs as this user.

#include <memory>

#include "foundation/ipc/listener.h"

class AFXInterprocessServer;

class AFXInterprocessServerDelegate {
 public:
  virtual ~AFXInterprocessServerDelegate() = default;
  virtual std::shared_ptr<fnd::ipc::ExportedObject> interprocessServerMakeExportedObjectForConnection(
      AFXInterprocessServer& server, const std::shared_ptr<fnd::ipc::Connection>& connection) = 0;
};

class AFXInterprocessServer final : public fnd::ipc::ListenerDelegate,
                                    public std::enable_shared_from_this<AFXInterprocessServer> {
 public:
  // Makes itself the listener's delegate and resumes it; fails when the
  // listener cannot take its name.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<AFXInterprocessServer>> initWithXPCListener(
      std::shared_ptr<fnd::ipc::Listener> listener, std::weak_ptr<AFXInterprocessServerDelegate> delegate,
      std::shared_ptr<const fnd::ipc::Interface> exportedInterface);
  AFXInterprocessServer() = delete;

  bool listenerShouldAcceptNewConnection(fnd::ipc::Listener& listener,
                                         const std::shared_ptr<fnd::ipc::Connection>& connection) override;

  // Not used by the listener logic.
  const std::shared_ptr<fnd::ipc::ExportedObject>& exportedObject() const { return exportedObject_; }
  const std::shared_ptr<const fnd::ipc::Interface>& exportedInterface() const { return exportedInterface_; }
  std::shared_ptr<AFXInterprocessServerDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<fnd::ipc::Listener>& xpcListener() const { return xpcListener_; }

 private:
  struct Token {};

 public:
  AFXInterprocessServer(Token, std::shared_ptr<fnd::ipc::Listener> listener,
                        std::weak_ptr<AFXInterprocessServerDelegate> delegate,
                        std::shared_ptr<const fnd::ipc::Interface> exportedInterface);

 private:
  const std::shared_ptr<fnd::ipc::Listener> xpcListener_;
  const std::weak_ptr<AFXInterprocessServerDelegate> delegate_;
  const std::shared_ptr<const fnd::ipc::Interface> exportedInterface_;
  std::shared_ptr<fnd::ipc::ExportedObject> exportedObject_;
};
