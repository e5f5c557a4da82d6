#pragma once

// Where records that share state between processes post and observe
// notifications by name. The system-wide notification centre implements it;
// until one is installed, records keep their changes to this process.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/value.h"

class AFXDistributedNotifier {
 public:
  // Called on the notifier's own thread with the notification's object.
  using Observer = std::function<void(const fnd::Value& object)>;

  virtual ~AFXDistributedNotifier() = default;

  // Posts to every observer of `name` in every process, delivered at once
  // even to processes in the background.
  virtual void postNotification(const std::string& name, const fnd::Value& object) = 0;
  // A token for removeObserver.
  virtual std::uint64_t addObserver(const std::string& name, Observer observer) = 0;
  // After this returns the observer is not called again.
  virtual void removeObserver(std::uint64_t token) = 0;

  // The notifier records use; null when none is installed.
  static std::shared_ptr<AFXDistributedNotifier> defaultNotifier();
  static void setDefaultNotifier(std::shared_ptr<AFXDistributedNotifier> notifier);
};
