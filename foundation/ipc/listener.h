#pragma once

// Answers calls on the session bus.
//
// - Named (server side): owns a well-known name and exports its interface at
//   the path derived from it; D-Bus activation starts the owning process.
// - Anonymous (client side): an object path on the process's own bus
//   connection, reached through its endpoint.
//
// Each calling peer becomes one incoming Connection. Before its first call is
// answered the peer is checked: only a process of this user (as the bus
// daemon vouches, GetConnectionUnixUser) that the delegate accepts is
// answered; anything else gets AccessDenied and is logged. A peer that leaves
// the bus invalidates its connection.
//
// A listener knows its interface from the start, since the bus needs the
// methods before the first call; accepted connections may narrow the
// whitelists with an interface of the same shape.

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/ipc/bus.h"
#include "foundation/ipc/connection.h"
#include "foundation/ipc/endpoint.h"
#include "foundation/ipc/interface.h"

namespace sdbus {
class IObject;
class MethodCall;
}  // namespace sdbus

namespace fnd::ipc {

class Listener;

class ListenerDelegate {
 public:
  virtual ~ListenerDelegate() = default;
  // Sets the connection's exported object (and interface) and resumes it;
  // false rejects the peer.
  virtual bool listenerShouldAcceptNewConnection(Listener& listener, const std::shared_ptr<Connection>& connection) = 0;
};

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  using UserLookup = std::function<Expected<uid_t>(const std::string& uniqueName)>;

  [[nodiscard]] static Expected<std::shared_ptr<Listener>> createWithServiceName(
      std::string serviceName, std::shared_ptr<const Interface> interface);
  [[nodiscard]] static Expected<std::shared_ptr<Listener>> anonymousListener(std::shared_ptr<const Interface> interface);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // "/com/korvia/SystemManagementService" for "com.korvia.SystemManagementService".
  static std::string objectPathForServiceName(const std::string& serviceName);

  // Held weakly.
  void setDelegate(std::weak_ptr<ListenerDelegate> delegate);
  // Exports the object, then (named listeners) takes the name. Fails when
  // the name is owned already.
  [[nodiscard]] Expected<void> resume();
  // Gives up the name and the path and invalidates every peer's connection.
  void invalidate();

  // Empty for a named listener.
  const std::string& serviceName() const { return serviceName_; }
  const std::string& objectPath() const { return objectPath_; }
  std::shared_ptr<Endpoint> endpoint() const;
  std::shared_ptr<const Interface> interface() const { return interface_; }

  // How peers' users are found out; tests stand in for the bus daemon.
  void setUserLookupForTesting(UserLookup lookup);

 private:
  friend class Connection;

  Listener(std::shared_ptr<Bus> bus, std::string serviceName, std::string objectPath,
           std::shared_ptr<const Interface> interface);

  void methodCalled(const std::string& method, std::size_t argumentCount, sdbus::MethodCall call);
  // One-way calls that travelled in one message: delivered as if each had
  // come alone, in their order.
  void batchCalled(sdbus::MethodCall call);
  // Error replies leave the loop thread first: replies queue behind earlier
  // messages, and the loop thread must not wait for those.
  void rejectOffLoop(std::shared_ptr<sdbus::MethodCall> call, std::string name, std::string message);
  std::shared_ptr<Connection> connectionForPeer(const std::string& peer);
  // On the peer's queue, before its first call: watch it, check its user,
  // ask the delegate.
  bool admit(const std::shared_ptr<Connection>& connection);
  void forgetPeer(const std::string& peer, const Connection* connection);

  const std::shared_ptr<Bus> bus_;
  const std::string serviceName_;
  const std::string objectPath_;
  const std::shared_ptr<const Interface> interface_;

  mutable std::mutex mutex_;
  std::unique_ptr<sdbus::IObject> object_;
  std::weak_ptr<ListenerDelegate> delegate_;
  UserLookup userLookup_;
  bool invalid_ = false;
  bool ownsName_ = false;
  std::map<std::string, std::shared_ptr<Connection>> peers_;
};

}  // namespace fnd::ipc
