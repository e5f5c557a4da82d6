#pragma once

// A destination whose flags the test sets; a change is delivered the way the
// system delivers it, on the queue the monitor asked for.

#include <gtest/gtest.h>

#include <mutex>
#include <optional>

#include "foundation/network_reachability.h"

class FakeNetworkReachability final : public fnd::NetworkReachability {
 public:
  explicit FakeNetworkReachability(fnd::NetworkReachabilityFlags flags) : flags_(flags) {}

  std::optional<fnd::NetworkReachabilityFlags> flags() const override {
    std::lock_guard lock(mutex_);
    return flags_;
  }
  bool setCallback(Callback callback) override {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
    return true;
  }
  bool setDispatchQueue(std::optional<fnd::Queue> queue) override {
    std::lock_guard lock(mutex_);
    if (failsToSchedule_ && queue) return false;
    queue_ = std::move(queue);
    return true;
  }

  bool isScheduled() const {
    std::lock_guard lock(mutex_);
    return queue_.has_value();
  }
  void setFailsToSchedule(bool fails) {
    std::lock_guard lock(mutex_);
    failsToSchedule_ = fails;
  }

  // Sets the flags and tells the monitor, if it listens.
  void change(fnd::NetworkReachabilityFlags flags) {
    Callback callback;
    std::optional<fnd::Queue> queue;
    {
      std::lock_guard lock(mutex_);
      flags_ = flags;
      callback = callback_;
      queue = queue_;
    }
    if (!callback || !queue) return;
    queue->async([callback, flags] { callback(flags); });
  }

 private:
  mutable std::mutex mutex_;
  fnd::NetworkReachabilityFlags flags_;
  Callback callback_;
  std::optional<fnd::Queue> queue_;
  bool failsToSchedule_ = false;
};
