#pragma once

// A notifier for tests: delivers every post to the observers of its name in
// this process, on the global queue as the system-wide centre delivers on its
// own thread, and lets a test wait until everything posted has arrived.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/group.h"
#include "foundation/queue.h"
#include "interface/model/afx_distributed_notifier.h"

class InProcessNotifier final : public AFXDistributedNotifier {
 public:
  struct Post {
    std::string name;
    fnd::Value object;
  };

  void postNotification(const std::string& name, const fnd::Value& object) override {
    std::vector<Observer> observers;
    {
      std::lock_guard lock(mutex_);
      posts_.push_back({name, object});
      for (const auto& [token, entry] : observers_) {
        if (entry.first == name) observers.push_back(entry.second);
      }
    }
    for (auto& observer : observers) {
      fnd::Queue::global().async(delivered_, [observer, object] { observer(object); });
    }
  }
  std::uint64_t addObserver(const std::string& name, Observer observer) override {
    std::lock_guard lock(mutex_);
    observers_[++lastToken_] = {name, std::move(observer)};
    return lastToken_;
  }
  void removeObserver(std::uint64_t token) override {
    std::lock_guard lock(mutex_);
    observers_.erase(token);
  }

  // Waits for the deliveries of every post so far.
  void waitForDeliveries() const { delivered_.wait(); }
  std::vector<Post> posts() const {
    std::lock_guard lock(mutex_);
    return posts_;
  }
  std::size_t observerCount() const {
    std::lock_guard lock(mutex_);
    return observers_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::uint64_t, std::pair<std::string, Observer>> observers_;
  std::uint64_t lastToken_ = 0;
  std::vector<Post> posts_;
  fnd::Group delivered_;
};
