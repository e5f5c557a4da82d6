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

namespace fnd::ipc::wire {

using Archives = std::vector<std::vector<std::uint8_t>>;

[[nodiscard]] Expected<Archives> archiveArguments(const std::vector<Value>& arguments);
// Fails with the decoding error when the count is wrong or any archive does
// not decode to an allowed class.
[[nodiscard]] Expected<std::vector<Value>> unarchiveArguments(const Interface& interface, const std::string& method,
                                                              bool ofReply, const Archives& archives);
// `count` byte arrays from the message body; fails on any other shape.
[[nodiscard]] Expected<Archives> readArchives(sdbus::Message& message, std::size_t count);

void reply(const sdbus::MethodCall& call, const Interface& interface, const std::string& method,
           const std::vector<Value>& values);
void replyWithError(const sdbus::MethodCall& call, const std::string& name, const std::string& message);

}  // namespace fnd::ipc::wire
