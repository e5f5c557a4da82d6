#include "interface/interprocess/afx_interprocess_client.h"

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/queue.h"

void AFXInterprocessClientDelegate::interprocessClientSetupXPCConnection(
    AFXInterprocessClient&, const std::shared_ptr<fnd::ipc::Connection>& connection, ConnectionCallback callback) {
  callback(QVValueOrError::initWithValue(fnd::Value(connection)));
}

AFXInterprocessClient::AFXInterprocessClient(Token, std::shared_ptr<const fnd::ipc::Interface> remoteObjectInterface,
                                             std::string tierName, std::weak_ptr<AFXInterprocessClientDelegate> delegate)
    : delegate_(std::move(delegate)),
      remoteObjectInterface_(std::move(remoteObjectInterface)),
      tierName_(std::move(tierName)) {
  registerOperation("_makeXPCConnectionWithAction:", [this](const std::shared_ptr<QVProactorAction>& action) {
    makeXPCConnectionWithAction(action);
  });
}

std::shared_ptr<AFXInterprocessClient> AFXInterprocessClient::initWithRemoteObjectInterface(
    std::shared_ptr<const fnd::ipc::Interface> remoteObjectInterface, std::string tierName,
    std::weak_ptr<AFXInterprocessClientDelegate> delegate) {
  FND_PARAMETER_ASSERT(remoteObjectInterface != nullptr);
  auto client = std::make_shared<AFXInterprocessClient>(Token{}, std::move(remoteObjectInterface), std::move(tierName),
                                                        std::move(delegate));
  client->proactor_ = QVProactor::initWithDelegate(client);
  (void)client->proactor_->addGroupWithID(fnd::Value(kGroupID), true, "_makeXPCConnectionWithAction:");
  return client;
}

void AFXInterprocessClient::fetchXPCConnectionWithCallback(ConnectionCallback callback) {
  FND_PARAMETER_ASSERT(callback != nullptr);
  auto action = proactor_->groupWithID(fnd::Value(kGroupID))->defaultAction();
  action->addCompletionHandler([callback = std::move(callback)](const QVProactorResult& result) {
    auto connectionOrError = result.objectForKey(fnd::Value(kConnectionOrErrorKey)).as<QVValueOrError>();
    FND_PARAMETER_ASSERT(connectionOrError != nullptr);
    callback(connectionOrError);
  });
}

void AFXInterprocessClient::makeXPCConnectionWithAction(const std::shared_ptr<QVProactorAction>& action) {
  std::weak_ptr<AFXInterprocessClient> weak = weak_from_this();
  dispatchedMakeXPCConnectionCanRetry(true, [weak, action](const std::shared_ptr<QVValueOrError>& result) {
    action->setObject(fnd::Value(result), fnd::Value(kConnectionOrErrorKey));
    // The next fetch makes a new attempt.
    action->completeAndReset();
    auto self = weak.lock();
    auto connection = result->value().as<fnd::ipc::Connection>();
    if (!self || !connection) return;
    if (auto delegate = self->delegate()) delegate->interprocessClientDidEstablishConnection(*self, connection);
  });
}

void AFXInterprocessClient::dispatchedMakeXPCConnectionCanRetry(bool canRetry, ConnectionCallback callback) {
  std::weak_ptr<AFXInterprocessClient> weak = weak_from_this();
  dispatchedMakeXPCConnectionWithCallback([weak, canRetry, callback](const std::shared_ptr<QVValueOrError>& result) {
    auto self = weak.lock();
    if (!result->error() || !canRetry || !self || !self->delegate()) {
      callback(result);
      return;
    }
    fnd::Queue::main().after(kRetryDelay, [weak, callback] {
      auto again = weak.lock();
      if (!again) {
        callback(QVValueOrError::initWithError(fnd::ipc::invalidError("The interprocess client was released.")));
        return;
      }
      again->dispatchedMakeXPCConnectionCanRetry(false, callback);
    });
  });
}

void AFXInterprocessClient::dispatchedMakeXPCConnectionWithCallback(ConnectionCallback callback) {
  auto delegate = this->delegate();
  if (!delegate) {
    callback(QVValueOrError::initWithError(fnd::ipc::invalidError("The interprocess client has no delegate.")));
    return;
  }
  std::weak_ptr<AFXInterprocessClient> weak = weak_from_this();
  delegate->interprocessClientMakeXPCConnectionWithCallback(
      *this, [weak, callback](const std::shared_ptr<QVValueOrError>& made) {
        auto self = weak.lock();
        auto connection = made->value().as<fnd::ipc::Connection>();
        if (made->error() || !self || !connection) {
          callback(made->error() ? made
                                 : QVValueOrError::initWithError(fnd::ipc::invalidError("No connection was made.")));
          return;
        }
        connection->setRemoteObjectInterface(self->remoteObjectInterface_);
        // One handler for both: either way this connection is lost to us.
        auto lost = [weak, weakConnection = std::weak_ptr<fnd::ipc::Connection>(connection)] {
          auto client = weak.lock();
          auto lostConnection = weakConnection.lock();
          if (!client || !lostConnection) return;
          if (auto current = client->delegate()) current->interprocessClientDidLooseConnection(*client, lostConnection);
        };
        connection->setInvalidationHandler(lost);
        connection->setInterruptionHandler(lost);
        connection->resume();
        auto current = self->delegate();
        if (!current) {
          callback(made);
          return;
        }
        current->interprocessClientSetupXPCConnection(*self, connection, callback);
      });
}
