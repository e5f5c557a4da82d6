#pragma once

// A connection to a peer on the session bus.
//
// - To a service: the peer is whoever owns the well-known name; a call to a
//   name nobody owns starts the service by D-Bus activation. When the owner
//   goes away the connection is interrupted: the interruption handler runs,
//   calls still waiting end with the interruption error, and the connection
//   stays usable, so the next call starts the service again.
// - To an endpoint: the peer is one anonymous listener; when its process
//   leaves the bus the connection is invalidated.
// - Incoming: made by a listener for each peer that calls it; invalidated when
//   the peer leaves the bus.
//
// Calls wait for their reply without a time-out. Replies, errors and
// handlers run on the serial queue of the peer they come from (Bus::
// queueForPeer), so they keep their order with everything else that peer
// sent this process, on any connection; failures seen before any peer
// answered run on the connection's own queue.
// Invalidation is final: waiting calls end with NSXPCConnectionInvalid, the
// invalidation handler runs once, and every handler is released.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/object.h"
#include "foundation/ipc/bus.h"
#include "foundation/ipc/endpoint.h"
#include "foundation/ipc/exported_object.h"
#include "foundation/ipc/interface.h"
#include "foundation/queue.h"

namespace sdbus {
class IProxy;
class MethodCall;
}  // namespace sdbus

namespace fnd::ipc {

class Connection;
class Listener;

// Sends the calls of the connection's remote interface.
class RemoteProxy {
 public:
  using ReplyHandler = std::function<void(std::vector<Value> replyArguments)>;
  using ErrorHandler = std::function<void(const Error& error)>;

  // For a method with a reply, exactly one of `reply` and the error handler
  // runs. A method the interface does not declare, or the wrong number of
  // arguments, is a programming error.
  void invoke(const std::string& method, std::vector<Value> arguments, ReplyHandler reply = {}) const;

  const std::shared_ptr<Connection>& connection() const { return connection_; }

 private:
  friend class Connection;
  RemoteProxy(std::shared_ptr<Connection> connection, ErrorHandler errorHandler)
      : connection_(std::move(connection)), errorHandler_(std::move(errorHandler)) {}

  std::shared_ptr<Connection> connection_;
  ErrorHandler errorHandler_;
};

// An object, so that it can travel inside values (value-or-error results).
class Connection final : public Object {
 public:
  static const Class& staticClass();
  const Class& objectClass() const override { return staticClass(); }

  enum class Kind { service, endpoint, incoming };
  using Handler = std::function<void()>;

  [[nodiscard]] static Expected<std::shared_ptr<Connection>> createWithServiceName(std::string serviceName);
  [[nodiscard]] static Expected<std::shared_ptr<Connection>> createWithEndpoint(const Endpoint& endpoint);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Kind kind() const { return kind_; }
  // The well-known name, the endpoint's unique name, or the calling peer's.
  const std::string& peerName() const { return peerName_; }
  // Incoming connections: the queue of their peer.
  const Queue& queue() const { return queue_; }

  void setRemoteObjectInterface(std::shared_ptr<const Interface> interface);
  std::shared_ptr<const Interface> remoteObjectInterface() const;
  // Incoming connections: the interface must have the listener's shape.
  void setExportedInterface(std::shared_ptr<const Interface> interface);
  // Held weakly: whoever exports an object owns the listener, not the reverse.
  void setExportedObject(std::weak_ptr<ExportedObject> object);
  void setInterruptionHandler(Handler handler);
  void setInvalidationHandler(Handler handler);

  // Outgoing connections watch their peer from here on; calls need it.
  void resume();
  void invalidate();
  bool isValid() const;

  RemoteProxy remoteObjectProxyWithErrorHandler(RemoteProxy::ErrorHandler errorHandler);

  // Incoming connections: the user the bus vouches for.
  std::optional<uid_t> peerUserIdentifier() const;

 private:
  friend class RemoteProxy;
  friend class Listener;

  struct Pending {
    RemoteProxy::ReplyHandler reply;
    RemoteProxy::ErrorHandler error;
    std::shared_ptr<const Interface> interface;
    std::string method;
  };
  enum class Admission { pending, accepted, rejected };

  Connection(Kind kind, std::shared_ptr<Bus> bus, std::string peerName, std::string objectPath);

  void send(const std::string& method, std::vector<Value> arguments, RemoteProxy::ReplyHandler reply,
            RemoteProxy::ErrorHandler errorHandler);
  // Loop-thread events of outgoing connections.
  void ownerChanged(const std::string& oldOwner, const std::string& newOwner);
  void callReplied(std::uint64_t call, const std::string& sender, std::vector<std::vector<std::uint8_t>> archives);
  Queue deliveryQueueLocked() const;
  void callFailed(std::uint64_t call, const std::string& name, const std::string& message);
  void interruptLocked(std::unique_lock<std::mutex>& lock, const Queue& queue);
  static void failPending(std::map<std::uint64_t, Pending> pending, const Queue& queue, const Error& error);
  void invalidateWithLock(std::unique_lock<std::mutex>& lock);
  std::shared_ptr<Connection> self() { return std::static_pointer_cast<Connection>(shared_from_this()); }
  std::weak_ptr<Connection> weakSelf() { return self(); }
  void failOnQueue(RemoteProxy::ErrorHandler handler, Error error);

  // Incoming calls, on the queue.
  void handleIncoming(const std::string& method, std::vector<std::vector<std::uint8_t>> archives,
                      std::shared_ptr<sdbus::MethodCall> call);

  const Kind kind_;
  const std::shared_ptr<Bus> bus_;
  const std::string peerName_;
  const std::string objectPath_;
  const Queue queue_;

  mutable std::mutex mutex_;
  std::shared_ptr<sdbus::IProxy> proxy_;
  std::shared_ptr<const Interface> remoteInterface_;
  std::shared_ptr<const Interface> exportedInterface_;
  std::weak_ptr<ExportedObject> exportedObject_;
  Handler interruptionHandler_;
  Handler invalidationHandler_;
  bool resumed_ = false;
  bool invalid_ = false;
  std::optional<Bus::WatchID> watch_;
  std::string currentOwner_;
  std::string lastLostOwner_;
  std::uint64_t nextCall_ = 1;
  std::map<std::uint64_t, Pending> pending_;

  // Incoming connections only; touched on the queue.
  std::weak_ptr<Listener> listener_;
  Admission admission_ = Admission::pending;
  std::optional<uid_t> peerUser_;
};

}  // namespace fnd::ipc
