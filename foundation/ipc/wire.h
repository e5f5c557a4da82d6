#pragma once

// How arguments cross the bus: each one a keyed archive in an `ay`, decoded
// on receipt against the classes its interface allows. Internal to fnd::ipc.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/ipc/interface.h"
#include "foundation/value.h"

namespace sdbus {
class Message;
class MethodCall;
}  // namespace sdbus

namespace fnd::ipc {
class Outbox;
}  // namespace fnd::ipc

namespace fnd::ipc::wire {

using Archives = std::vector<std::vector<std::uint8_t>>;

// One-way calls for one object carried in one message: their interface, then
// an array of (method, its archives).
inline constexpr const char* kBatchInterface = "com.korvia.ipc.Batch";
inline constexpr const char* kBatchMember = "Deliver";
inline constexpr const char* kBatchSignature = "sa(saay)";

struct BatchedCall {
  std::string method;
  Archives archives;
};

[[nodiscard]] Expected<Archives> archiveArguments(const std::vector<Value>& arguments);
// Fails with the decoding error when the count is wrong or any archive does
// not decode to an allowed class.
[[nodiscard]] Expected<std::vector<Value>> unarchiveArguments(const Interface& interface, const std::string& method,
                                                              bool ofReply, const Archives& archives);
// `count` byte arrays from the message body; fails on any other shape.
[[nodiscard]] Expected<Archives> readArchives(sdbus::Message& message, std::size_t count);

// One `ay` in one copy. sdbus-c++ marshals a byte vector one element at a
// time, which costs more than the rest of a small call together.
void appendBytes(sdbus::Message& message, const std::vector<std::uint8_t>& bytes);
// Fails with the decoding error when the next item is not an `ay`.
[[nodiscard]] Expected<std::vector<std::uint8_t>> readBytes(sdbus::Message& message);

// The calls' own interface travels with them, so the receiver holds them to
// it as it would hold each call that came alone.
struct Batch {
  std::string interfaceName;
  std::vector<BatchedCall> calls;
};

void appendBatch(sdbus::Message& message, const std::string& interfaceName,
                 const std::vector<const BatchedCall*>& calls);
// Fails with the decoding error when the body is not a batch.
[[nodiscard]] Expected<Batch> readBatch(sdbus::Message& message);

// Replies go out through the outbox, behind everything sent before them; so
// never from the bus's loop thread, which holds the bus while it delivers.
void reply(Outbox& outbox, const sdbus::MethodCall& call, const Interface& interface, const std::string& method,
           const std::vector<Value>& values);
void replyWithError(Outbox& outbox, const sdbus::MethodCall& call, const std::string& name, const std::string& message);

}  // namespace fnd::ipc::wire
