#include "foundation/ipc/connection.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <limits>

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/listener.h"
#include "foundation/ipc/outbox.h"
#include "foundation/ipc/wire.h"

namespace fnd::ipc {
namespace {

// sd-bus reads the largest time-out as none: calls wait as long as the peer.
constexpr std::uint64_t kNoTimeout = std::numeric_limits<std::uint64_t>::max();

std::string queueLabel(Connection::Kind kind, const std::string& peer) {
  switch (kind) {
    case Connection::Kind::service:
      return "com.korvia.ipc.connection." + peer;
    case Connection::Kind::endpoint:
      return "com.korvia.ipc.endpoint-connection." + peer;
    case Connection::Kind::incoming:
      break;
  }
  return "com.korvia.ipc.incoming-connection." + peer;
}

// Destroys a bus proxy away from the loop thread, where it may be running one
// of the proxy's own callbacks.
void retireProxy(std::shared_ptr<sdbus::IProxy> proxy) {
  if (proxy) Queue::global().async([proxy = std::move(proxy)]() mutable { proxy.reset(); });
}

}  // namespace

// RemoteProxy

void RemoteProxy::invoke(const std::string& method, std::vector<Value> arguments, ReplyHandler reply) const {
  connection_->send(method, std::move(arguments), std::move(reply), errorHandler_);
}

// Connection

const Class& Connection::staticClass() {
  static const Class& cls = Class::define("NSXPCConnection", &Object::staticClass());
  return cls;
}

Connection::Connection(Kind kind, std::shared_ptr<Bus> bus, std::string peerName, std::string objectPath)
    : kind_(kind),
      bus_(std::move(bus)),
      peerName_(std::move(peerName)),
      objectPath_(std::move(objectPath)),
      queue_(kind_ == Kind::incoming ? bus_->queueForPeer(peerName_)
                                     : Queue::serial(queueLabel(kind_, peerName_), QualityOfService::utility)) {}

Expected<std::shared_ptr<Connection>> Connection::createWithServiceName(std::string serviceName) {
  FND_PARAMETER_ASSERT(!serviceName.empty());
  auto bus = Bus::shared();
  if (!bus) return bus.error();
  const std::string path = Listener::objectPathForServiceName(serviceName);
  std::shared_ptr<Connection> connection(new Connection(Kind::service, *bus, std::move(serviceName), path));
  try {
    connection->proxy_ = sdbus::createProxy((*bus)->connection(), connection->peerName_, path);
  } catch (const sdbus::Error& error) {
    return invalidError(error.getMessage());
  }
  return connection;
}

Expected<std::shared_ptr<Connection>> Connection::createWithEndpoint(const Endpoint& endpoint) {
  auto bus = Bus::shared();
  if (!bus) return bus.error();
  std::shared_ptr<Connection> connection(
      new Connection(Kind::endpoint, *bus, endpoint.uniqueName(), endpoint.objectPath()));
  try {
    connection->proxy_ = sdbus::createProxy((*bus)->connection(), endpoint.uniqueName(), endpoint.objectPath());
  } catch (const sdbus::Error& error) {
    return invalidError(error.getMessage());
  }
  return connection;
}

Connection::~Connection() {
  // A call still waiting would otherwise be dropped with its reply: the reply
  // callback cannot reach a connection that is gone.
  if (!pending_.empty()) {
    failPending(std::move(pending_), deliveryQueueLocked(), invalidError("The connection was released."));
  }
  if (watch_) bus_->unwatch(*watch_);
  retireProxy(std::move(proxy_));
}

void Connection::setRemoteObjectInterface(std::shared_ptr<const Interface> interface) {
  std::lock_guard lock(mutex_);
  remoteInterface_ = std::move(interface);
}

std::shared_ptr<const Interface> Connection::remoteObjectInterface() const {
  std::lock_guard lock(mutex_);
  return remoteInterface_;
}

void Connection::setExportedInterface(std::shared_ptr<const Interface> interface) {
  FND_PARAMETER_ASSERT(kind_ == Kind::incoming);
  std::lock_guard lock(mutex_);
  FND_PARAMETER_ASSERT(interface && exportedInterface_ && interface->hasSameShapeAs(*exportedInterface_));
  exportedInterface_ = std::move(interface);
}

void Connection::setExportedObject(std::weak_ptr<ExportedObject> object) {
  std::lock_guard lock(mutex_);
  exportedObject_ = std::move(object);
}

void Connection::setInterruptionHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  if (!invalid_) interruptionHandler_ = std::move(handler);
}

void Connection::setInvalidationHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  if (!invalid_) invalidationHandler_ = std::move(handler);
}

bool Connection::isValid() const {
  std::lock_guard lock(mutex_);
  return !invalid_;
}

std::optional<uid_t> Connection::peerUserIdentifier() const {
  std::lock_guard lock(mutex_);
  return peerUser_;
}

void Connection::resume() {
  {
    std::lock_guard lock(mutex_);
    if (resumed_ || invalid_) return;
    resumed_ = true;
  }
  if (kind_ == Kind::incoming) return;
  // Watch first, then ask who owns the name now, so no change slips between.
  std::weak_ptr<Connection> weak = weakSelf();
  auto watch = bus_->watchName(peerName_, [weak](const std::string& oldOwner, const std::string& newOwner) {
    if (auto self = weak.lock()) self->ownerChanged(oldOwner, newOwner);
  });
  auto owner = watch ? bus_->nameOwner(peerName_) : Expected<std::string>(watch.error());
  std::unique_lock lock(mutex_);
  if (watch) watch_ = *watch;
  if (!owner) {
    invalidateWithLock(lock);
    return;
  }
  if (kind_ == Kind::endpoint && owner->empty()) {
    // The listener's process has already left the bus.
    invalidateWithLock(lock);
    return;
  }
  if (currentOwner_.empty()) currentOwner_ = *owner;
}

void Connection::invalidate() {
  std::unique_lock lock(mutex_);
  invalidateWithLock(lock);
}

RemoteProxy Connection::remoteObjectProxyWithErrorHandler(RemoteProxy::ErrorHandler errorHandler) {
  FND_PARAMETER_ASSERT(kind_ != Kind::incoming);
  return RemoteProxy(self(), std::move(errorHandler));
}

void Connection::failOnQueue(RemoteProxy::ErrorHandler handler, Error error) {
  if (!handler) return;
  queue_.async([handler = std::move(handler), error = std::move(error)] { handler(error); });
}

void Connection::send(const std::string& method, std::vector<Value> arguments, RemoteProxy::ReplyHandler reply,
                      RemoteProxy::ErrorHandler errorHandler) {
  std::shared_ptr<const Interface> interface = remoteObjectInterface();
  FND_PARAMETER_ASSERT(interface != nullptr);
  const Interface::Method* declared = interface->methodNamed(method);
  FND_PARAMETER_ASSERT(declared != nullptr);
  FND_PARAMETER_ASSERT(arguments.size() == declared->argumentCount);

  auto archives = wire::archiveArguments(arguments);
  if (!archives) {
    failOnQueue(std::move(errorHandler), archives.error());
    return;
  }
  std::uint64_t id = 0;
  std::shared_ptr<sdbus::IProxy> proxy;
  {
    std::lock_guard lock(mutex_);
    FND_PARAMETER_ASSERT_TEXT(resumed_ || invalid_, "connection.resumed");
    if (invalid_) {
      failOnQueue(std::move(errorHandler), invalidError("The connection was invalidated."));
      return;
    }
    proxy = proxy_;
    id = nextCall_++;
    if (!declared->isOneWay()) {
      pending_.emplace(id, Pending{std::move(reply), errorHandler, interface, method});
    }
  }
  if (declared->isOneWay()) {
    std::weak_ptr<Connection> weak = weakSelf();
    Outbox::OneWayCall oneWay{proxy, interface->busName(),
                              wire::BatchedCall{method, std::move(*archives)}, nullptr};
    oneWay.failed = [weak, errorHandler = std::move(errorHandler)](const Error& error) {
      if (auto self = weak.lock()) self->failOnQueue(errorHandler, error);
    };
    bus_->outbox().post(std::move(oneWay));
    return;
  }
  std::weak_ptr<Connection> weak = weakSelf();
  auto replied = [weak, id, count = *declared->replyArgumentCount](sdbus::MethodReply& message,
                                                                   const sdbus::Error* error) {
    auto self = weak.lock();
    if (!self) return;
    if (error != nullptr) {
      self->callFailed(id, error->getName(), error->getMessage());
      return;
    }
    auto replyArchives = wire::readArchives(message, count);
    if (!replyArchives) {
      self->callFailed(id, std::string(kBusErrorDecoding), "The reply does not have the declared shape.");
      return;
    }
    self->callReplied(id, message.getSender(), std::move(*replyArchives));
  };
  try {
    bus_->outbox().sendInOrder([&] {
      auto call = proxy->createMethodCall(interface->busName(), method);
      for (const auto& bytes : *archives) wire::appendBytes(call, bytes);
      (void)proxy->callMethod(call, std::move(replied), kNoTimeout);
    });
  } catch (const sdbus::Error& error) {
    callFailed(id, error.getName(), error.getMessage());
  }
}

Queue Connection::deliveryQueueLocked() const {
  if (kind_ == Kind::service) {
    // After a loss, the lost owner's queue: where its interruption went.
    const std::string& owner = currentOwner_.empty() ? lastLostOwner_ : currentOwner_;
    return owner.empty() ? queue_ : bus_->queueForPeer(owner);
  }
  return kind_ == Kind::endpoint ? bus_->queueForPeer(peerName_) : queue_;
}

void Connection::callReplied(std::uint64_t call, const std::string& sender,
                             std::vector<std::vector<std::uint8_t>> archives) {
  Pending pending;
  {
    std::lock_guard lock(mutex_);
    auto found = pending_.find(call);
    if (found == pending_.end()) return;
    pending = std::move(found->second);
    pending_.erase(found);
  }
  bus_->queueForPeer(sender).async([pending = std::move(pending), archives = std::move(archives)] {
    auto values = wire::unarchiveArguments(*pending.interface, pending.method, true, archives);
    if (!values) {
      log(LogLevel::error, "Rejected the reply of " + pending.method + ": " + values.error().description());
      if (pending.error) pending.error(values.error());
      return;
    }
    if (pending.reply) pending.reply(std::move(*values));
  });
}

void Connection::callFailed(std::uint64_t call, const std::string& name, const std::string& message) {
  std::unique_lock lock(mutex_);
  const BusFailure failure = classifyBusError(name);
  // The call's error follows whatever its peer sent before it.
  const Queue queue = deliveryQueueLocked();
  if (failure == BusFailure::interrupted && kind_ == Kind::service) interruptLocked(lock, queue);
  if (failure == BusFailure::invalid || (failure == BusFailure::interrupted && kind_ != Kind::service)) {
    // Ends this call too, with the invalidation error.
    invalidateWithLock(lock);
    return;
  }
  auto found = pending_.find(call);
  if (found == pending_.end()) return;
  Pending pending = std::move(found->second);
  pending_.erase(found);
  lock.unlock();
  if (pending.error) queue.async([handler = std::move(pending.error), error = errorFromBusError(name, message)] { handler(error); });
}

void Connection::ownerChanged(const std::string& oldOwner, const std::string& newOwner) {
  std::unique_lock lock(mutex_);
  if (invalid_) return;
  if (kind_ == Kind::endpoint) {
    if (newOwner.empty()) invalidateWithLock(lock);
    return;
  }
  if (!oldOwner.empty() && oldOwner != lastLostOwner_) {
    currentOwner_ = oldOwner;
    interruptLocked(lock, bus_->queueForPeer(oldOwner));
  }
  currentOwner_ = newOwner;
}

void Connection::interruptLocked(std::unique_lock<std::mutex>& lock, const Queue& queue) {
  // One loss of one owner is one interruption, however many calls and
  // signals report it.
  if (invalid_ || currentOwner_.empty()) return;
  lastLostOwner_ = currentOwner_;
  currentOwner_.clear();
  Handler handler = interruptionHandler_;
  // Whatever was sent to the lost owner gets no answer now; its callers hear
  // of it after the interruption handler, and the daemon's late NoReply for
  // each finds nothing left to end.
  auto pending = std::move(pending_);
  pending_.clear();
  lock.unlock();
  if (handler) queue.async(std::move(handler));
  failPending(std::move(pending), queue, interruptedError());
  lock.lock();
}

void Connection::failPending(std::map<std::uint64_t, Pending> pending, const Queue& queue, const Error& error) {
  for (auto& [id, call] : pending) {
    if (call.error) queue.async([handler = std::move(call.error), error] { handler(error); });
  }
}

void Connection::invalidateWithLock(std::unique_lock<std::mutex>& lock) {
  if (invalid_) return;
  invalid_ = true;
  const Queue queue = deliveryQueueLocked();
  auto pending = std::move(pending_);
  pending_.clear();
  Handler handler = std::move(invalidationHandler_);
  interruptionHandler_ = nullptr;
  invalidationHandler_ = nullptr;
  exportedObject_.reset();
  auto watch = watch_;
  watch_.reset();
  auto proxy = std::move(proxy_);
  auto listener = listener_.lock();
  lock.unlock();
  if (watch) bus_->unwatch(*watch);
  retireProxy(std::move(proxy));
  failPending(std::move(pending), queue, invalidError("The connection was invalidated."));
  if (handler) queue.async(std::move(handler));
  if (listener) listener->forgetPeer(peerName_, this);
  lock.lock();
}

void Connection::handleIncoming(const std::string& method, std::vector<std::vector<std::uint8_t>> archives,
                                std::shared_ptr<sdbus::MethodCall> call) {
  FND_PARAMETER_ASSERT(queue_.isCurrent());
  auto listener = listener_.lock();
  if (admission_ == Admission::pending) {
    admission_ = listener && listener->admit(self()) ? Admission::accepted : Admission::rejected;
  }
  if (admission_ == Admission::rejected) {
    wire::replyWithError(bus_->outbox(), *call, std::string(kBusErrorAccessDenied), "The listener does not accept this peer.");
    return;
  }
  std::shared_ptr<const Interface> interface;
  std::shared_ptr<ExportedObject> object;
  {
    std::lock_guard lock(mutex_);
    interface = exportedInterface_;
    object = exportedObject_.lock();
  }
  auto arguments = wire::unarchiveArguments(*interface, method, false, archives);
  if (!arguments) {
    log(LogLevel::error, "Rejected a call of " + method + " from " + peerName_ + ": " + arguments.error().description());
    wire::replyWithError(bus_->outbox(), *call, std::string(kBusErrorDecoding), arguments.error().description());
    return;
  }
  if (!object) {
    wire::replyWithError(bus_->outbox(), *call, "org.freedesktop.DBus.Error.UnknownObject", "Nothing is exported on this connection.");
    return;
  }
  const Interface::Method* declared = interface->methodNamed(method);
  ExportedObject::Reply reply;
  if (!declared->isOneWay() && !call->doesntExpectReply()) {
    reply = [bus = bus_, call, interface, method, once = std::make_shared<std::atomic<bool>>(false)](
                std::vector<Value> values) {
      if (once->exchange(true)) return;
      wire::reply(bus->outbox(), *call, *interface, method, values);
    };
  }
  object->invokeMethod(self(), method, std::move(*arguments), std::move(reply));
}

}  // namespace fnd::ipc
