#pragma once

// Dispatch queues. A serial queue runs its blocks one at a time in submission
// order; the global queues run blocks concurrently; the main queue runs blocks
// on the main thread, driven by MainLoop (or by the Qt event loop through it).
// All worker queues share one process-wide thread pool.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "foundation/clock.h"

namespace fnd {

class Group;

enum class QualityOfService { userInteractive, userInitiated, defaultQoS, utility, background };

namespace detail {
class QueueImpl;
}

class Queue {
 public:
  using Block = std::function<void()>;

  static Queue serial(std::string label, QualityOfService qos = QualityOfService::defaultQoS);
  // The process-wide concurrent queue of that quality of service.
  static Queue global(QualityOfService qos = QualityOfService::utility);
  static Queue main();

  const std::string& label() const;
  QualityOfService qualityOfService() const;

  void async(Block block) const;
  // Enters the group now and leaves it when the block has run.
  void async(const Group& group, Block block) const;

  // Runs the block on this queue and waits for it. Waiting on a queue the
  // caller already holds would deadlock; that is a programming error.
  void sync(const Block& block) const;
  template <class F>
    requires(!std::is_void_v<std::invoke_result_t<F&>>)
  std::invoke_result_t<F&> sync(F&& f) const {
    std::optional<std::invoke_result_t<F&>> result;
    sync(Block([&] { result.emplace(f()); }));
    return std::move(*result);
  }

  // Runs the block on this queue once `delay` has passed on the current clock.
  void after(Clock::Duration delay, Block block) const;

  // True while the calling thread runs a block of this queue, or waits in a
  // sync onto it (so outer queues stay current inside nested syncs). The main
  // queue is also current on the main thread.
  bool isCurrent() const;

  // The label of the innermost queue the caller runs on; "" when none.
  static std::string currentLabel();

  friend bool operator==(const Queue& a, const Queue& b) { return a.impl_ == b.impl_; }

 private:
  explicit Queue(std::shared_ptr<detail::QueueImpl> impl) : impl_(std::move(impl)) {}
  std::shared_ptr<detail::QueueImpl> impl_;
};

// The main thread's loop: runs main-queue blocks. Non-GUI processes and tests
// call run() or runUntilIdle(); a GUI installs a wake-up handler that schedules
// drain() on its own event loop.
class MainLoop {
 public:
  // Runs main-queue blocks until quit(). Only on the main thread.
  static void run();
  static void quit();
  // Runs the blocks queued now and those they queue, until none is left.
  // Returns how many ran. Only on the main thread.
  static std::size_t runUntilIdle();
  // Called, from any thread, whenever a block is queued on the main queue.
  static void setWakeUpHandler(std::function<void()> handler);
  static bool isMainThread();
};

}  // namespace fnd
