#pragma once

#include <functional>
#include <memory>

#include "foundation/ipc/connection.h"
#include "tools/qv_value_or_error.h"

class AFXInterprocessClient;

// Makes and finishes the connections of an AFXInterprocessClient.
class AFXInterprocessClientDelegate {
 public:
  using ConnectionCallback = std::function<void(const std::shared_ptr<QVValueOrError>& connectionOrError)>;

  virtual ~AFXInterprocessClientDelegate() = default;

  // A new connection, not yet resumed.
  virtual void interprocessClientMakeXPCConnectionWithCallback(AFXInterprocessClient& client,
                                                               ConnectionCallback callback) = 0;
  // The client itself never calls it.
  virtual void interprocessClientHandleSystemIntegrityViolationWithCallback(AFXInterprocessClient& client,
                                                                            std::function<void(bool)> callback) = 0;
  virtual void interprocessClientDidEstablishConnection(AFXInterprocessClient&,
                                                        const std::shared_ptr<fnd::ipc::Connection>&) {}
  virtual void interprocessClientDidLooseConnection(AFXInterprocessClient&,
                                                    const std::shared_ptr<fnd::ipc::Connection>&) {}
  // Finishes a resumed connection; the default passes it on as it is.
  virtual void interprocessClientSetupXPCConnection(AFXInterprocessClient& client,
                                                    const std::shared_ptr<fnd::ipc::Connection>& connection,
                                                    ConnectionCallback callback);
};
