#pragma once

// The order in which this process's messages leave for the bus. Internal to
// fnd::ipc.
//
// One-way calls wait here for the outbox's queue to send them; the calls for
// one object that gathered meanwhile travel as one batch message, which the
// receiving listener takes apart into the same calls in the same order. Any
// other message goes out through sendInOrder, which first sends whatever
// waits, so no message overtakes one sent before it: a reply never arrives
// ahead of the reports its request sent.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "foundation/error.h"
#include "foundation/ipc/wire.h"
#include "foundation/queue.h"

namespace sdbus {
class IProxy;
}  // namespace sdbus

namespace fnd::ipc {

class Outbox : public std::enable_shared_from_this<Outbox> {
 public:
  struct OneWayCall {
    // Addresses the destination and object; calls through one proxy to one
    // interface share a batch.
    std::shared_ptr<sdbus::IProxy> proxy;
    std::string interfaceName;
    wire::BatchedCall call;
    // Runs, on the sender's thread of choice, when the call cannot be sent.
    std::function<void(const Error&)> failed;
  };

  // Calls in one batch message at most, and archive bytes at most: far below
  // the bus's message limit, and small enough that a batch does not hold up
  // a reply behind it for long.
  static constexpr std::size_t kMaximumBatchCalls = 256;
  static constexpr std::size_t kMaximumBatchBytes = 1 << 20;

  static std::shared_ptr<Outbox> create();

  void post(OneWayCall call);

  // Runs `send` once every call posted before has gone out, with no other
  // message in between.
  template <class Send>
  decltype(auto) sendInOrder(Send&& send) {
    std::lock_guard sending(sendMutex_);
    sendPendingWhileSending();
    return std::forward<Send>(send)();
  }

  // Sends what waits now (at exit, so nothing posted is lost).
  void flush();

 private:
  Outbox() : queue_(Queue::serial("com.korvia.ipc.outbox", QualityOfService::utility)) {}
  // With sendMutex_ held.
  void sendPendingWhileSending();
  static void sendGroup(std::deque<OneWayCall>& calls, std::size_t count);

  const Queue queue_;
  // Held while a message is being sent: keeps the order of the wire.
  std::mutex sendMutex_;
  // Held only to add or take calls, so posting never waits for a send.
  std::mutex pendingMutex_;
  std::deque<OneWayCall> pending_;
  bool flushScheduled_ = false;
};

}  // namespace fnd::ipc
