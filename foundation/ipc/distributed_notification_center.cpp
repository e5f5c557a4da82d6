#include "foundation/ipc/distributed_notification_center.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/outbox.h"
#include "foundation/ipc/wire.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"

namespace fnd {
namespace {

constexpr const char* kPath = "/com/korvia/DistributedNotificationCenter";
constexpr const char* kInterface = "com.korvia.DistributedNotificationCenter";
constexpr const char* kMember = "Notification";

// Match rule values are quoted with apostrophes. Not every parser on the
// way takes the escaped form of an apostrophe, so values holding one are
// left out of the rule and checked here instead.
bool quotable(const std::string& value) { return value.find('\'') == std::string::npos; }
std::string quoted(const std::string& value) { return "'" + value + "'"; }

std::shared_ptr<Dictionary> decodeUserInfo(const std::vector<std::uint8_t>& bytes, bool& ok) {
  ok = true;
  if (bytes.empty()) return nullptr;
  auto value = KeyedUnarchiver::unarchivedObjectOfClasses(KeyedUnarchiver::platformClasses(), bytes);
  auto dictionary = value ? value->as<Dictionary>() : nullptr;
  if (!dictionary) {
    ok = false;
    ipc::log(ipc::LogLevel::warning, "Dropped a notification whose user information does not decode");
  }
  return dictionary;
}

}  // namespace

struct DistributedNotificationCenter::Observation {
  Observation(Queue observerQueue, Observer observerBlock)
      : queue(std::move(observerQueue)), block(std::move(observerBlock)) {}
  Queue queue;
  Observer block;
  std::atomic<bool> active{true};
  ipc::Bus::WatchID watch = 0;
};

DistributedNotificationCenter::DistributedNotificationCenter(std::shared_ptr<ipc::Bus> bus) : bus_(std::move(bus)) {}

Expected<DistributedNotificationCenter*> DistributedNotificationCenter::defaultCenter() {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  // Lives as long as the process, like the bus connection under it.
  static DistributedNotificationCenter* center = nullptr;
  if (center != nullptr) return center;
  auto bus = ipc::Bus::shared();
  if (!bus) return bus.error();
  center = new DistributedNotificationCenter(*bus);
  return center;
}

std::string DistributedNotificationCenter::matchRuleForName(const std::string& name,
                                                            const std::optional<std::string>& object) {
  std::string rule = "type='signal',interface='" + std::string(kInterface) + "',member='" + kMember +
                     "',path='" + kPath + "'";
  if (quotable(name)) rule += ",arg0=" + quoted(name);
  if (object && !object->empty() && quotable(*object)) rule += ",arg1=" + quoted(*object);
  return rule;
}

Expected<void> DistributedNotificationCenter::exportPoster() {
  if (poster_) return success();
  try {
    auto object = sdbus::createObject(bus_->connection(), kPath);
    object->registerSignal(kInterface, kMember, "ssay");
    object->finishRegistration();
    poster_ = std::move(object);
  } catch (const sdbus::Error& error) {
    return ipc::invalidError("Cannot post notifications: " + error.getMessage());
  }
  return success();
}

Expected<void> DistributedNotificationCenter::postNotificationName(const std::string& name,
                                                                   const std::optional<std::string>& object,
                                                                   const std::shared_ptr<Dictionary>& userInfo) {
  FND_PARAMETER_ASSERT(!name.empty());
  std::vector<std::uint8_t> archive;
  if (userInfo) {
    auto bytes = KeyedArchiver::archivedDataWithRootObject(Value(userInfo));
    if (!bytes) return bytes.error();
    archive = std::move(*bytes);
  }
  std::lock_guard lock(mutex_);
  if (auto exported = exportPoster(); !exported) return exported.error();
  try {
    auto signal = poster_->createSignal(kInterface, kMember);
    signal << name << object.value_or(std::string());
    ipc::wire::appendBytes(signal, archive);
    bus_->outbox().sendInOrder([&] { poster_->emitSignal(signal); });
  } catch (const sdbus::Error& error) {
    return ipc::invalidError("Cannot post " + name + ": " + error.getMessage());
  }
  return success();
}

Expected<DistributedNotificationCenter::ObserverToken> DistributedNotificationCenter::addObserverForName(
    const std::string& name, const std::optional<std::string>& object, Queue queue, Observer block) {
  FND_PARAMETER_ASSERT(!name.empty());
  FND_PARAMETER_ASSERT(block != nullptr);
  auto observation = std::make_shared<Observation>(std::move(queue), std::move(block));
  std::weak_ptr<Observation> weak = observation;
  auto watch = bus_->watchSignals(
      matchRuleForName(name, object), 2, true,
      [weak, name, object](const std::string&, const std::string&, std::vector<std::string> strings,
                           std::vector<std::uint8_t> bytes) {
        auto strong = weak.lock();
        if (!strong || !strong->active) return;
        if (strings[0] != name || (object && !object->empty() && strings[1] != *object)) return;
        bool ok = true;
        DistributedNotification notification{std::move(strings[0]), std::nullopt, decodeUserInfo(bytes, ok)};
        if (!ok) return;
        if (!strings[1].empty()) notification.object = std::move(strings[1]);
        strong->queue.async([strong, notification = std::move(notification)] {
          if (strong->active) strong->block(notification);
        });
      });
  if (!watch) return watch.error();
  observation->watch = *watch;
  std::lock_guard lock(mutex_);
  const ObserverToken token = nextToken_++;
  observations_.emplace(token, std::move(observation));
  return token;
}

void DistributedNotificationCenter::removeObserver(ObserverToken token) {
  std::shared_ptr<Observation> observation;
  {
    std::lock_guard lock(mutex_);
    auto found = observations_.find(token);
    if (found == observations_.end()) return;
    observation = std::move(found->second);
    observations_.erase(found);
  }
  observation->active = false;
  bus_->unwatch(observation->watch);
}

}  // namespace fnd
