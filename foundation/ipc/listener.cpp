#include "foundation/ipc/listener.h"

#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <atomic>

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/wire.h"
#include "foundation/queue.h"

namespace fnd::ipc {
namespace {

std::string anonymousPath() {
  static std::atomic<std::uint64_t> counter{0};
  return "/com/korvia/ipc/listener/" + std::to_string(++counter);
}

}  // namespace

std::string Listener::objectPathForServiceName(const std::string& serviceName) {
  std::string path = "/";
  for (char c : serviceName) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    path.push_back(c == '.' ? '/' : plain ? c : '_');
  }
  return path;
}

Listener::Listener(std::shared_ptr<Bus> bus, std::string serviceName, std::string objectPath,
                   std::shared_ptr<const Interface> interface)
    : bus_(std::move(bus)),
      serviceName_(std::move(serviceName)),
      objectPath_(std::move(objectPath)),
      interface_(std::move(interface)) {
  userLookup_ = [bus = bus_](const std::string& name) { return bus->unixUserOfName(name); };
}

Expected<std::shared_ptr<Listener>> Listener::createWithServiceName(std::string serviceName,
                                                                    std::shared_ptr<const Interface> interface) {
  FND_PARAMETER_ASSERT(!serviceName.empty());
  FND_PARAMETER_ASSERT(interface != nullptr);
  auto bus = Bus::shared();
  if (!bus) return bus.error();
  const std::string path = objectPathForServiceName(serviceName);
  return std::shared_ptr<Listener>(new Listener(*bus, std::move(serviceName), path, std::move(interface)));
}

Expected<std::shared_ptr<Listener>> Listener::anonymousListener(std::shared_ptr<const Interface> interface) {
  FND_PARAMETER_ASSERT(interface != nullptr);
  auto bus = Bus::shared();
  if (!bus) return bus.error();
  return std::shared_ptr<Listener>(new Listener(*bus, std::string(), anonymousPath(), std::move(interface)));
}

Listener::~Listener() { invalidate(); }

void Listener::setDelegate(std::weak_ptr<ListenerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void Listener::setUserLookupForTesting(UserLookup lookup) {
  std::lock_guard lock(mutex_);
  userLookup_ = std::move(lookup);
}

std::shared_ptr<Endpoint> Listener::endpoint() const {
  if (!serviceName_.empty()) return nullptr;
  return Endpoint::make(bus_->uniqueName(), objectPath_);
}

Expected<void> Listener::resume() {
  std::unique_lock lock(mutex_);
  if (invalid_) return invalidError("The listener was invalidated.");
  if (object_) return success();
  std::weak_ptr<Listener> weak = weak_from_this();
  try {
    auto object = sdbus::createObject(bus_->connection(), objectPath_);
    for (const auto& method : interface_->methods()) {
      const std::string name = method.name;
      const std::size_t count = method.argumentCount;
      object->registerMethod(interface_->busName(), name, Interface::signatureForCount(count),
                             Interface::signatureForCount(method.replyArgumentCount.value_or(0)),
                             [weak, name, count](sdbus::MethodCall call) {
                               if (auto self = weak.lock()) self->methodCalled(name, count, std::move(call));
                             });
    }
    object->registerMethod(wire::kBatchInterface, wire::kBatchMember, wire::kBatchSignature, "",
                           [weak](sdbus::MethodCall call) {
                             if (auto self = weak.lock()) self->batchCalled(std::move(call));
                           });
    object->finishRegistration();
    object_ = std::move(object);
  } catch (const sdbus::Error& error) {
    return invalidError("Cannot export " + objectPath_ + ": " + error.getMessage());
  }
  if (serviceName_.empty()) return success();
  // Not under the lock: a bus-activated peer's first call arrives while the
  // name is being taken, and the loop thread delivers it into methodCalled,
  // which needs the lock, before it delivers the replies this thread awaits.
  lock.unlock();
  if (auto owned = bus_->requestName(serviceName_); !owned) return owned.error();
  lock.lock();
  if (invalid_) {
    lock.unlock();
    bus_->releaseName(serviceName_);
    return invalidError("The listener was invalidated.");
  }
  ownsName_ = true;
  return success();
}

void Listener::invalidate() {
  std::unique_ptr<sdbus::IObject> object;
  std::map<std::string, std::shared_ptr<Connection>> peers;
  bool ownsName = false;
  {
    std::lock_guard lock(mutex_);
    if (invalid_) return;
    invalid_ = true;
    object = std::move(object_);
    peers = std::move(peers_);
    peers_.clear();
    ownsName = ownsName_;
    ownsName_ = false;
  }
  if (ownsName) bus_->releaseName(serviceName_);
  if (object) {
    // Away from the loop thread, which may be inside one of its calls.
    Queue::global().async([object = std::shared_ptr<sdbus::IObject>(std::move(object))]() mutable { object.reset(); });
  }
  for (auto& [name, connection] : peers) connection->invalidate();
}

std::shared_ptr<Connection> Listener::connectionForPeer(const std::string& peer) {
  std::lock_guard lock(mutex_);
  if (invalid_) return nullptr;
  auto& connection = peers_[peer];
  if (!connection) {
    connection.reset(new Connection(Connection::Kind::incoming, bus_, peer, objectPath_));
    connection->exportedInterface_ = interface_;
    connection->listener_ = weak_from_this();
  }
  return connection;
}

void Listener::methodCalled(const std::string& method, std::size_t argumentCount, sdbus::MethodCall call) {
  // On the loop thread: read the bytes and hand the call to its peer's queue.
  auto message = std::make_shared<sdbus::MethodCall>(std::move(call));
  auto archives = wire::readArchives(*message, argumentCount);
  if (!archives) {
    rejectOffLoop(std::move(message), std::string(kBusErrorDecoding), archives.error().description());
    return;
  }
  auto connection = connectionForPeer(message->getSender());
  if (!connection) {
    rejectOffLoop(std::move(message), "org.freedesktop.DBus.Error.UnknownObject", "The listener was invalidated.");
    return;
  }
  connection->queue().async([connection, method, archives = std::move(*archives), message]() mutable {
    connection->handleIncoming(method, std::move(archives), std::move(message));
  });
}

void Listener::batchCalled(sdbus::MethodCall call) {
  auto message = std::make_shared<sdbus::MethodCall>(std::move(call));
  const std::string sender = message->getSender();
  auto batch = wire::readBatch(*message);
  if (!batch) {
    log(LogLevel::error, "Rejected a batch of calls from " + sender + ": " + batch.error().description());
    return;
  }
  if (batch->interfaceName != interface_->busName()) {
    log(LogLevel::error, "Rejected a batch of calls from " + sender + ": " + objectPath_ + " does not export " +
                             batch->interfaceName + ".");
    return;
  }
  // Only what could have come alone: a declared one-way method with its
  // number of arguments.
  std::vector<wire::BatchedCall> calls;
  calls.reserve(batch->calls.size());
  for (auto& entry : batch->calls) {
    const Interface::Method* declared = interface_->methodNamed(entry.method);
    if (declared == nullptr || !declared->isOneWay() || declared->argumentCount != entry.archives.size()) {
      log(LogLevel::error, "Rejected a batched call of " + entry.method + " from " + sender +
                               ": the interface declares no such one-way method.");
      continue;
    }
    calls.push_back(std::move(entry));
  }
  if (calls.empty()) return;
  auto connection = connectionForPeer(sender);
  if (!connection) return;
  connection->queue().async([connection, calls = std::move(calls), message]() mutable {
    for (auto& entry : calls) connection->handleIncoming(entry.method, std::move(entry.archives), message);
  });
}

void Listener::rejectOffLoop(std::shared_ptr<sdbus::MethodCall> call, std::string name, std::string message) {
  if (call->doesntExpectReply()) return;
  Queue::global().async([bus = bus_, call = std::move(call), name = std::move(name), message = std::move(message)] {
    wire::replyWithError(bus->outbox(), *call, name, message);
  });
}

bool Listener::admit(const std::shared_ptr<Connection>& connection) {
  const std::string peer = connection->peerName();
  std::weak_ptr<Listener> weak = weak_from_this();
  std::weak_ptr<Connection> weakConnection = connection;
  // Watch before looking the peer up, so a peer that leaves meanwhile is seen
  // either way.
  auto watch = bus_->watchName(peer, [weakConnection](const std::string&, const std::string& newOwner) {
    if (!newOwner.empty()) return;
    if (auto gone = weakConnection.lock()) gone->invalidate();
  });
  if (watch) {
    std::lock_guard lock(connection->mutex_);
    connection->watch_ = *watch;
  }
  UserLookup lookup;
  std::shared_ptr<ListenerDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    lookup = userLookup_;
    delegate = delegate_.lock();
  }
  auto user = lookup(peer);
  if (!user) {
    log(LogLevel::error, "Rejected " + peer + " on " + objectPath_ + ": its user is unknown (" +
                             user.error().description() + ")");
    connection->invalidate();
    return false;
  }
  if (*user != ::geteuid()) {
    log(LogLevel::error, "Rejected " + peer + " on " + objectPath_ + ": it runs as user " + std::to_string(*user) +
                             ", not " + std::to_string(::geteuid()));
    connection->invalidate();
    return false;
  }
  {
    std::lock_guard lock(connection->mutex_);
    connection->peerUser_ = *user;
  }
  if (!delegate || !delegate->listenerShouldAcceptNewConnection(*this, connection)) {
    log(LogLevel::error, "Rejected " + peer + " on " + objectPath_ + ": the listener does not accept it");
    connection->invalidate();
    return false;
  }
  connection->resume();
  return true;
}

void Listener::forgetPeer(const std::string& peer, const Connection* connection) {
  std::lock_guard lock(mutex_);
  auto found = peers_.find(peer);
  if (found != peers_.end() && found->second.get() == connection) peers_.erase(found);
}

}  // namespace fnd::ipc
