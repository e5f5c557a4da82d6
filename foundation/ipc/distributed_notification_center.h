#pragma once

// Notifications between the processes of one session: a post is one D-Bus
// signal (name, object string, user information as a keyed archive); an
// observer names what it wants and the bus daemon filters by match rules on
// name and object, so a process only wakes for what it observes. A process
// receives its own posts too.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/dictionary.h"
#include "foundation/expected.h"
#include "foundation/ipc/bus.h"
#include "foundation/queue.h"

namespace sdbus {
class IObject;
}

namespace fnd {

struct DistributedNotification {
  std::string name;
  // Empty when the poster named no object.
  std::optional<std::string> object;
  // Empty when none was posted; an archive that does not decode to a
  // dictionary of platform values is dropped before it gets here.
  std::shared_ptr<Dictionary> userInfo;
};

class DistributedNotificationCenter {
 public:
  using Observer = std::function<void(const DistributedNotification& notification)>;
  using ObserverToken = std::uint64_t;

  // The process's centre on the session bus; fails without a session bus.
  [[nodiscard]] static Expected<DistributedNotificationCenter*> defaultCenter();

  // An empty name is a programming error; an empty object string posts none.
  [[nodiscard]] Expected<void> postNotificationName(const std::string& name, const std::optional<std::string>& object,
                                                    const std::shared_ptr<Dictionary>& userInfo);

  // Calls `block` on `queue` for every notification of `name` (and, when
  // given, of `object` only).
  [[nodiscard]] Expected<ObserverToken> addObserverForName(const std::string& name,
                                                           const std::optional<std::string>& object, Queue queue,
                                                           Observer block);
  // No call of the observer starts after this returns.
  void removeObserver(ObserverToken token);

  // The bus match rule of an observation (for tests and diagnostics).
  static std::string matchRuleForName(const std::string& name, const std::optional<std::string>& object);

  DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
  DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

 private:
  struct Observation;
  explicit DistributedNotificationCenter(std::shared_ptr<ipc::Bus> bus);
  [[nodiscard]] Expected<void> exportPoster();

  const std::shared_ptr<ipc::Bus> bus_;
  std::mutex mutex_;
  std::unique_ptr<sdbus::IObject> poster_;
  ObserverToken nextToken_ = 1;
  std::map<ObserverToken, std::shared_ptr<Observation>> observations_;
};

}  // namespace fnd
