#include "foundation/ipc/bus.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdlib>

#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/outbox.h"
#include "foundation/ipc/wire.h"
#include "foundation/queue.h"

namespace fnd::ipc {

struct Bus::Watch {
  // Held while the handler runs, so unwatch waits for a call in flight. It is
  // recursive because a handler may end its own watch.
  std::recursive_mutex mutex;
  bool active = true;
  std::function<void(sdbus::Message&)> handler;
  sdbus::Slot slot;
};

namespace {

constexpr const char* kDaemonName = "org.freedesktop.DBus";
constexpr const char* kDaemonPath = "/org/freedesktop/DBus";
constexpr const char* kDaemonInterface = "org.freedesktop.DBus";

Error errorFromException(const sdbus::Error& error) { return errorFromBusError(error.getName(), error.getMessage()); }

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

bool Bus::isSessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  return address != nullptr && *address != '\0';
}

Expected<std::shared_ptr<Bus>> Bus::shared() {
  std::lock_guard lock(sharedMutex());
  // Kept for the whole process: connections and listeners anywhere may hold
  // on to it until exit.
  static std::shared_ptr<Bus>* bus = nullptr;
  if (bus != nullptr) return *bus;
  if (!isSessionBusConfigured()) return invalidError("No session bus: DBUS_SESSION_BUS_ADDRESS is not set.");
  std::shared_ptr<Bus> made(new Bus);
  if (auto connected = made->connect(); !connected) return connected.error();
  bus = new std::shared_ptr<Bus>(std::move(made));
  // Stop the loop thread before the queues it feeds are torn down at exit.
  (void)Queue::global();
  std::atexit([] {
    if (bus == nullptr || !*bus) return;
    // One-way calls posted just before exit still go out.
    (*bus)->outbox().flush();
    (*bus)->stopLoop();
  });
  return *bus;
}

Expected<void> Bus::connect() {
  try {
    connection_ = sdbus::createSessionBusConnection();
    outbox_ = Outbox::create();
    uniqueName_ = connection_->getUniqueName();
    daemon_ = sdbus::createProxy(*connection_, kDaemonName, kDaemonPath);
    loopThread_ = std::thread([connection = connection_.get()] {
      try {
        connection->enterEventLoop();
      } catch (const sdbus::Error& error) {
        log(LogLevel::error, "The session bus connection ended: " + error.getMessage());
      }
    });
  } catch (const sdbus::Error& error) {
    return invalidError("Cannot connect to the session bus: " + error.getMessage());
  }
  return success();
}

Bus::~Bus() { stopLoop(); }

void Bus::stopLoop() {
  if (!loopThread_.joinable()) return;
  try {
    connection_->leaveEventLoop();
  } catch (const sdbus::Error&) {
    // The loop has ended already.
  }
  if (loopThread_.get_id() == std::this_thread::get_id()) {
    loopThread_.detach();
  } else {
    loopThread_.join();
  }
}

Expected<Bus::WatchID> Bus::watchName(const std::string& name, OwnerHandler handler) {
  const std::string rule = "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                           "member='NameOwnerChanged',arg0='" + name + "'";
  return watchSignals(rule, 3, false, [handler = std::move(handler)](const std::string&, const std::string&,
                                                              std::vector<std::string> strings,
                                                              std::vector<std::uint8_t>) {
    if (strings.size() == 3) handler(strings[1], strings[2]);
  });
}

Expected<Bus::WatchID> Bus::watchSignals(const std::string& rule, std::size_t stringCount, bool trailingBytes,
                                         SignalHandler handler) {
  auto watch = std::make_shared<Watch>();
  watch->handler = [handler = std::move(handler), stringCount, trailingBytes](sdbus::Message& message) {
    // A signal of another shape under the same name is not ours.
    std::vector<std::string> strings(stringCount);
    std::vector<std::uint8_t> bytes;
    try {
      for (auto& text : strings) message >> text;
    } catch (const sdbus::Error&) {
      return;
    }
    if (trailingBytes) {
      auto read = wire::readBytes(message);
      if (!read) return;
      bytes = std::move(*read);
    }
    handler(message.getSender(), message.getPath(), std::move(strings), std::move(bytes));
  };
  std::weak_ptr<Watch> weakWatch = watch;
  try {
    watch->slot = connection_->addMatch(rule, [weakWatch](sdbus::Message& message) {
      auto strong = weakWatch.lock();
      if (!strong) return;
      std::lock_guard lock(strong->mutex);
      if (strong->active) strong->handler(message);
    });
  } catch (const sdbus::Error& error) {
    return errorFromException(error);
  }
  wakeLoopForQueuedMessages();
  std::lock_guard lock(mutex_);
  const WatchID id = nextWatch_++;
  watches_.emplace(id, std::move(watch));
  return id;
}

void Bus::unwatch(WatchID id) {
  std::shared_ptr<Watch> watch;
  {
    std::lock_guard lock(mutex_);
    auto found = watches_.find(id);
    if (found == watches_.end()) return;
    watch = std::move(found->second);
    watches_.erase(found);
  }
  sdbus::Slot slot;
  {
    std::lock_guard lock(watch->mutex);
    watch->active = false;
    slot = std::move(watch->slot);
  }
  // The slot goes away on a worker: a handler may be ending its own watch on
  // the loop thread, where removing the match from inside its call is unsafe.
  Queue::global().async([slot = std::make_shared<sdbus::Slot>(std::move(slot))] { slot->reset(); });
}

Expected<std::string> Bus::nameOwner(const std::string& name) {
  try {
    std::string owner;
    daemon_->callMethod("GetNameOwner").onInterface(kDaemonInterface).withArguments(name).storeResultsTo(owner);
    return owner;
  } catch (const sdbus::Error& error) {
    if (error.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner") return std::string();
    return errorFromException(error);
  }
}

Expected<uid_t> Bus::unixUserOfName(const std::string& name) {
  try {
    std::uint32_t user = 0;
    daemon_->callMethod("GetConnectionUnixUser").onInterface(kDaemonInterface).withArguments(name).storeResultsTo(user);
    return static_cast<uid_t>(user);
  } catch (const sdbus::Error& error) {
    return errorFromException(error);
  }
}

Expected<void> Bus::requestName(const std::string& name) {
  try {
    connection_->requestName(name);
  } catch (const sdbus::Error& error) {
    wakeLoopForQueuedMessages();
    return invalidError("Cannot own the name " + name + ": " + error.getMessage());
  }
  wakeLoopForQueuedMessages();
  return success();
}

void Bus::releaseName(const std::string& name) {
  try {
    connection_->releaseName(name);
  } catch (const sdbus::Error&) {
    // Not owned (any more): nothing to release.
  }
  wakeLoopForQueuedMessages();
}

void Bus::wakeLoopForQueuedMessages() {
  try {
    auto ping = daemon_->createMethodCall("org.freedesktop.DBus.Peer", "Ping");
    (void)daemon_->callMethod(ping);
  } catch (const sdbus::Error&) {
    // No daemon to ask: then nothing is queued for the loop either.
  }
}

Queue Bus::queueForPeer(const std::string& uniqueName) {
  std::lock_guard lock(mutex_);
  auto found = peerQueues_.find(uniqueName);
  if (found != peerQueues_.end()) return found->second;
  Queue queue = Queue::serial("com.korvia.ipc.peer." + uniqueName, QualityOfService::utility);
  peerQueues_.emplace(uniqueName, queue);
  return queue;
}

Expected<void> Bus::reloadConfig() {
  try {
    auto call = daemon_->createMethodCall(kDaemonInterface, "ReloadConfig");
    (void)daemon_->callMethod(call);
  } catch (const sdbus::Error& error) {
    return errorFromException(error);
  }
  return success();
}

}  // namespace fnd::ipc
