#include "foundation/ipc/wire.h"

#include <sdbus-c++/sdbus-c++.h>

#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"

namespace fnd::ipc::wire {

Expected<Archives> archiveArguments(const std::vector<Value>& arguments) {
  Archives archives;
  archives.reserve(arguments.size());
  for (const auto& argument : arguments) {
    auto bytes = KeyedArchiver::archivedDataWithRootObject(argument);
    if (!bytes) return bytes.error();
    archives.push_back(std::move(*bytes));
  }
  return archives;
}

Expected<std::vector<Value>> unarchiveArguments(const Interface& interface, const std::string& method, bool ofReply,
                                                const Archives& archives) {
  const Interface::Method* declared = interface.methodNamed(method);
  if (declared == nullptr) return decodingError("The interface declares no method " + method + ".");
  const std::size_t expected = ofReply ? declared->replyArgumentCount.value_or(0) : declared->argumentCount;
  if (archives.size() != expected) return decodingError("The message of " + method + " has the wrong shape.");
  std::vector<Value> values;
  values.reserve(archives.size());
  for (std::size_t index = 0; index < archives.size(); ++index) {
    auto value = KeyedUnarchiver::unarchivedObjectOfClasses(interface.classes(method, index, ofReply), archives[index]);
    if (!value) {
      const Error underlying = value.error();
      return decodingError("Argument " + std::to_string(index) + " of " + method + " could not be decoded.", &underlying);
    }
    values.push_back(std::move(*value));
  }
  return values;
}

Expected<Archives> readArchives(sdbus::Message& message, std::size_t count) {
  Archives archives(count);
  try {
    for (auto& bytes : archives) message >> bytes;
  } catch (const sdbus::Error& error) {
    return decodingError("The message does not have the declared shape: " + error.getMessage());
  }
  return archives;
}

void reply(const sdbus::MethodCall& call, const Interface& interface, const std::string& method,
           const std::vector<Value>& values) {
  const Interface::Method* declared = interface.methodNamed(method);
  if (declared == nullptr || values.size() != declared->replyArgumentCount.value_or(0)) {
    replyWithError(call, std::string(kBusErrorDecoding), "The reply of " + method + " has the wrong shape.");
    return;
  }
  auto archives = archiveArguments(values);
  if (!archives) {
    log(LogLevel::error, "Cannot archive the reply of " + method + ": " + archives.error().description());
    replyWithError(call, "com.korvia.ipc.Error.Archiving", archives.error().description());
    return;
  }
  try {
    auto message = call.createReply();
    for (const auto& bytes : *archives) message << bytes;
    message.send();
  } catch (const sdbus::Error& error) {
    // The caller left the bus: nobody waits for this reply any more.
    log(LogLevel::warning, "Cannot send the reply of " + method + ": " + error.getMessage());
  }
}

void replyWithError(const sdbus::MethodCall& call, const std::string& name, const std::string& message) {
  if (call.doesntExpectReply()) return;
  try {
    call.createErrorReply(sdbus::Error(name, message)).send();
  } catch (const sdbus::Error& error) {
    log(LogLevel::warning, "Cannot send an error reply: " + error.getMessage());
  }
}

}  // namespace fnd::ipc::wire
