#include "foundation/ipc/outbox.h"

#include <sdbus-c++/sdbus-c++.h>

#include <vector>

#include "foundation/ipc/ipc_error.h"

namespace fnd::ipc {
namespace {

// One proxy addresses one destination and object.
bool sameObject(const Outbox::OneWayCall& a, const Outbox::OneWayCall& b) {
  return a.proxy == b.proxy && a.interfaceName == b.interfaceName;
}

std::size_t archivedBytes(const wire::BatchedCall& call) {
  std::size_t bytes = 0;
  for (const auto& archive : call.archives) bytes += archive.size();
  return bytes;
}

// How many calls from the front go in the next message.
std::size_t nextGroupSize(const std::deque<Outbox::OneWayCall>& calls) {
  std::size_t count = 1;
  std::size_t bytes = archivedBytes(calls.front().call);
  while (count < calls.size() && count < Outbox::kMaximumBatchCalls && sameObject(calls[count], calls.front())) {
    bytes += archivedBytes(calls[count].call);
    if (bytes > Outbox::kMaximumBatchBytes) break;
    ++count;
  }
  return count;
}

}  // namespace

std::shared_ptr<Outbox> Outbox::create() { return std::shared_ptr<Outbox>(new Outbox); }

void Outbox::post(OneWayCall call) {
  {
    std::lock_guard lock(pendingMutex_);
    pending_.push_back(std::move(call));
    if (flushScheduled_) return;
    flushScheduled_ = true;
  }
  queue_.async([self = shared_from_this()] { self->flush(); });
}

void Outbox::flush() {
  std::lock_guard sending(sendMutex_);
  sendPendingWhileSending();
}

void Outbox::sendPendingWhileSending() {
  std::deque<OneWayCall> calls;
  {
    std::lock_guard lock(pendingMutex_);
    calls.swap(pending_);
    // Calls posted from now on need a flush of their own.
    flushScheduled_ = false;
  }
  while (!calls.empty()) {
    const std::size_t count = nextGroupSize(calls);
    sendGroup(calls, count);
    calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(count));
  }
}

void Outbox::sendGroup(std::deque<OneWayCall>& calls, std::size_t count) {
  const OneWayCall& first = calls.front();
  try {
    if (count == 1) {
      auto message = first.proxy->createMethodCall(first.interfaceName, first.call.method);
      for (const auto& bytes : first.call.archives) wire::appendBytes(message, bytes);
      message.dontExpectReply();
      (void)first.proxy->callMethod(message);
      return;
    }
    std::vector<const wire::BatchedCall*> batched;
    batched.reserve(count);
    for (std::size_t index = 0; index < count; ++index) batched.push_back(&calls[index].call);
    auto message = first.proxy->createMethodCall(wire::kBatchInterface, wire::kBatchMember);
    wire::appendBatch(message, first.interfaceName, batched);
    message.dontExpectReply();
    (void)first.proxy->callMethod(message);
  } catch (const sdbus::Error& error) {
    const Error failure = errorFromBusError(error.getName(), error.getMessage());
    for (std::size_t index = 0; index < count; ++index) {
      if (calls[index].failed) calls[index].failed(failure);
    }
  }
}

}  // namespace fnd::ipc
