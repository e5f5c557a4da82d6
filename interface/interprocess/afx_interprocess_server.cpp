#include "interface/interprocess/afx_interprocess_server.h"

#include "foundation/check.h"

AFXInterprocessServer::AFXInterprocessServer(Token, std::shared_ptr<fnd::ipc::Listener> listener,
                                             std::weak_ptr<AFXInterprocessServerDelegate> delegate,
                                             std::shared_ptr<const fnd::ipc::Interface> exportedInterface)
    : xpcListener_(std::move(listener)), delegate_(std::move(delegate)), exportedInterface_(std::move(exportedInterface)) {}

fnd::Expected<std::shared_ptr<AFXInterprocessServer>> AFXInterprocessServer::initWithXPCListener(
    std::shared_ptr<fnd::ipc::Listener> listener, std::weak_ptr<AFXInterprocessServerDelegate> delegate,
    std::shared_ptr<const fnd::ipc::Interface> exportedInterface) {
  FND_PARAMETER_ASSERT(listener != nullptr);
  FND_PARAMETER_ASSERT(exportedInterface != nullptr);
  auto server = std::make_shared<AFXInterprocessServer>(Token{}, std::move(listener), std::move(delegate),
                                                        std::move(exportedInterface));
  server->xpcListener_->setDelegate(server);
  if (auto resumed = server->xpcListener_->resume(); !resumed) return resumed.error();
  return server;
}

bool AFXInterprocessServer::listenerShouldAcceptNewConnection(fnd::ipc::Listener& listener,
                                                              const std::shared_ptr<fnd::ipc::Connection>& connection) {
  if (&listener != xpcListener_.get()) fnd::parameterAssertionFailed("self.xpcListener == listener");
  connection->setExportedInterface(exportedInterface_);
  auto delegate = this->delegate();
  auto object = delegate ? delegate->interprocessServerMakeExportedObjectForConnection(*this, connection) : nullptr;
  // The connection holds its object weakly; the server keeps it alive.
  if (object) exportedObject_ = object;
  connection->setExportedObject(object);
  connection->resume();
  return true;
}
