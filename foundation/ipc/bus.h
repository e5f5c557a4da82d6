#pragma once

// The process's one connection to the D-Bus session bus, shared by every
// interprocess connection, listener and the distributed notification centre.
// Its event loop runs on a thread of its own; handlers given here run on that
// thread and must only hand work to a queue. Methods that wait for the bus
// daemon must not be called from a handler.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/expected.h"
#include "foundation/queue.h"

namespace sdbus {
class IConnection;
class IProxy;
}  // namespace sdbus

namespace fnd::ipc {

class Outbox;

class Bus {
 public:
  using OwnerHandler = std::function<void(const std::string& oldOwner, const std::string& newOwner)>;
  using SignalHandler = std::function<void(const std::string& sender, const std::string& path,
                                           std::vector<std::string> strings, std::vector<std::uint8_t> bytes)>;
  using WatchID = std::uint64_t;

  // Connects on first use; fails in NSCocoaErrorDomain 4099 when there is no
  // session bus (DBUS_SESSION_BUS_ADDRESS unset or unreachable).
  [[nodiscard]] static Expected<std::shared_ptr<Bus>> shared();
  // Whether the environment names a session bus at all.
  static bool isSessionBusConfigured();

  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  sdbus::IConnection& connection() { return *connection_; }
  // Every message this process sends goes through it, in order.
  Outbox& outbox() { return *outbox_; }
  const std::string& uniqueName() const { return uniqueName_; }

  // Calls `handler` for every change of the owner of `name` from now on.
  [[nodiscard]] Expected<WatchID> watchName(const std::string& name, OwnerHandler handler);
  // Signals matching `rule` whose body is `stringCount` strings, then bytes
  // when `trailingBytes`; signals of another shape are skipped.
  [[nodiscard]] Expected<WatchID> watchSignals(const std::string& rule, std::size_t stringCount, bool trailingBytes,
                                               SignalHandler handler);
  // After it returns the handler is not called again.
  void unwatch(WatchID watch);

  // The unique name owning `name`; "" when nobody does.
  [[nodiscard]] Expected<std::string> nameOwner(const std::string& name);
  [[nodiscard]] Expected<uid_t> unixUserOfName(const std::string& name);
  [[nodiscard]] Expected<void> requestName(const std::string& name);
  void releaseName(const std::string& name);
  // The serial queue on which everything from one peer is delivered: its
  // calls, its replies and its one-way messages keep the order in which the
  // peer sent them, whichever connection object they belong to.
  Queue queueForPeer(const std::string& uniqueName);

  // Makes the daemon read its service files again (new activatable names).
  [[nodiscard]] Expected<void> reloadConfig();

 private:
  Bus() = default;
  [[nodiscard]] Expected<void> connect();

  std::unique_ptr<sdbus::IConnection> connection_;
  std::shared_ptr<Outbox> outbox_;
  std::unique_ptr<sdbus::IProxy> daemon_;
  std::string uniqueName_;
  // Runs the event loop; a bus that goes away ends it with a log line
  // instead of ending the process.
  std::thread loopThread_;
  void stopLoop();
  // Calls that wait on the socket outside the loop (adding a match, owning a
  // name) may read messages meant for the loop and leave them queued while
  // the loop sleeps; a plain proxy call ends by waking the loop for them.
  void wakeLoopForQueuedMessages();

  struct Watch;
  std::mutex mutex_;
  WatchID nextWatch_ = 1;
  std::map<WatchID, std::shared_ptr<Watch>> watches_;
  std::map<std::string, Queue, std::less<>> peerQueues_;
};

}  // namespace fnd::ipc
