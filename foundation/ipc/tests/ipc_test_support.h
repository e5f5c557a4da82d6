#pragma once

// Waiting for what another thread or process delivers, bounded in real time
// so that a lost message fails the test instead of hanging it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/ipc/bus.h"

namespace fnd::ipc::testing {

inline constexpr std::chrono::seconds kDeliveryBound{10};

template <class T>
class Inbox {
 public:
  void put(T value) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(value));
    condition_.notify_all();
  }
  // Waits until `count` items arrived; false when the bound passed first.
  bool waitForCount(std::size_t count, std::chrono::milliseconds bound = kDeliveryBound) {
    std::unique_lock lock(mutex_);
    return condition_.wait_for(lock, bound, [&] { return items_.size() >= count; });
  }
  std::optional<T> first(std::chrono::milliseconds bound = kDeliveryBound) {
    if (!waitForCount(1, bound)) return std::nullopt;
    std::lock_guard lock(mutex_);
    return items_.front();
  }
  std::vector<T> items() const {
    std::lock_guard lock(mutex_);
    return items_;
  }
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::vector<T> items_;
};

}  // namespace fnd::ipc::testing

#define FND_REQUIRE_SESSION_BUS()                                                       \
  do {                                                                                  \
    if (!::fnd::ipc::Bus::isSessionBusConfigured())                                     \
      GTEST_SKIP() << "No session bus: DBUS_SESSION_BUS_ADDRESS is unset (run under "   \
                      "dbus-run-session)";                                              \
  } while (false)
