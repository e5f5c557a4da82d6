#include "foundation/ipc/wire.h"

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

#include "foundation/ipc/archived_argument.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/outbox.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"

namespace fnd::ipc::wire {
namespace {

// sdbus-c++ keeps the sd-bus message it wraps in a protected member; a
// member pointer formed inside a derived class reads it from any message.
struct MessageAccess : sdbus::Message {
  static sd_bus_message* raw(sdbus::Message& message) {
    return static_cast<sd_bus_message*>(message.*(&MessageAccess::msg_));
  }
};

std::string errnoText(int negativeErrno) { return std::strerror(-negativeErrno); }

void check(int result, const char* what) {
  if (result < 0) throw sdbus::Error("org.freedesktop.DBus.Error.NoMemory", std::string(what) + ": " + errnoText(result));
}

Expected<Batch> readBatchBody(sd_bus_message* message) {
  Batch batch;
  const char* interfaceName = nullptr;
  if (sd_bus_message_read_basic(message, 's', &interfaceName) <= 0 || interfaceName == nullptr) {
    return decodingError("The batch names no interface.");
  }
  batch.interfaceName = interfaceName;
  std::vector<BatchedCall>& calls = batch.calls;
  if (sd_bus_message_enter_container(message, 'a', "(saay)") <= 0) return decodingError("The batch holds no calls.");
  for (;;) {
    const int entered = sd_bus_message_enter_container(message, 'r', "saay");
    if (entered == 0) break;
    if (entered < 0) return decodingError("A batched call is malformed: " + errnoText(entered));
    const char* method = nullptr;
    if (sd_bus_message_read_basic(message, 's', &method) <= 0 || method == nullptr) {
      return decodingError("A batched call names no method.");
    }
    BatchedCall call{method, {}};
    if (sd_bus_message_enter_container(message, 'a', "ay") <= 0) return decodingError("A batched call has no arguments.");
    for (;;) {
      const void* data = nullptr;
      std::size_t size = 0;
      const int read = sd_bus_message_read_array(message, 'y', &data, &size);
      if (read == 0) break;
      if (read < 0) return decodingError("A batched argument is malformed: " + errnoText(read));
      const auto* first = static_cast<const std::uint8_t*>(data);
      call.archives.emplace_back(first, first + size);
    }
    if (sd_bus_message_exit_container(message) < 0 || sd_bus_message_exit_container(message) < 0) {
      return decodingError("A batched call is malformed.");
    }
    calls.push_back(std::move(call));
  }
  if (sd_bus_message_exit_container(message) < 0) return decodingError("The batch is malformed.");
  return batch;
}

}  // namespace

void appendBytes(sdbus::Message& message, const std::vector<std::uint8_t>& bytes) {
  check(sd_bus_message_append_array(MessageAccess::raw(message), 'y', bytes.data(), bytes.size()), "Cannot append bytes");
}

Expected<std::vector<std::uint8_t>> readBytes(sdbus::Message& message) {
  const void* data = nullptr;
  std::size_t size = 0;
  const int result = sd_bus_message_read_array(MessageAccess::raw(message), 'y', &data, &size);
  if (result <= 0) {
    return decodingError(result == 0 ? std::string("The message ends before a byte array.")
                                     : "The message holds no byte array here: " + errnoText(result));
  }
  const auto* first = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(first, first + size);
}

void appendBatch(sdbus::Message& message, const std::string& interfaceName,
                 const std::vector<const BatchedCall*>& calls) {
  sd_bus_message* raw = MessageAccess::raw(message);
  check(sd_bus_message_append_basic(raw, 's', interfaceName.c_str()), "Cannot name a batch's interface");
  check(sd_bus_message_open_container(raw, 'a', "(saay)"), "Cannot open a batch");
  for (const BatchedCall* call : calls) {
    check(sd_bus_message_open_container(raw, 'r', "saay"), "Cannot open a batched call");
    check(sd_bus_message_append_basic(raw, 's', call->method.c_str()), "Cannot name a batched call");
    check(sd_bus_message_open_container(raw, 'a', "ay"), "Cannot open batched arguments");
    for (const auto& bytes : call->archives) {
      check(sd_bus_message_append_array(raw, 'y', bytes.data(), bytes.size()), "Cannot append a batched argument");
    }
    check(sd_bus_message_close_container(raw), "Cannot close batched arguments");
    check(sd_bus_message_close_container(raw), "Cannot close a batched call");
  }
  check(sd_bus_message_close_container(raw), "Cannot close a batch");
}

Expected<Batch> readBatch(sdbus::Message& message) {
  return readBatchBody(MessageAccess::raw(message));
}

Expected<Archives> archiveArguments(const std::vector<Value>& arguments) {
  Archives archives;
  archives.reserve(arguments.size());
  for (const auto& argument : arguments) {
    if (const auto* archived = objectCast<ArchivedArgument>(argument.get())) {
      archives.push_back(archived->bytes());
      continue;
    }
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
  Archives archives;
  archives.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    auto bytes = readBytes(message);
    if (!bytes) {
      const Error underlying = bytes.error();
      return decodingError("The message does not have the declared shape.", &underlying);
    }
    archives.push_back(std::move(*bytes));
  }
  return archives;
}

void reply(Outbox& outbox, const sdbus::MethodCall& call, const Interface& interface, const std::string& method,
           const std::vector<Value>& values) {
  const Interface::Method* declared = interface.methodNamed(method);
  if (declared == nullptr || values.size() != declared->replyArgumentCount.value_or(0)) {
    replyWithError(outbox, call, std::string(kBusErrorDecoding), "The reply of " + method + " has the wrong shape.");
    return;
  }
  auto archives = archiveArguments(values);
  if (!archives) {
    log(LogLevel::error, "Cannot archive the reply of " + method + ": " + archives.error().description());
    replyWithError(outbox, call, "com.korvia.ipc.Error.Archiving", archives.error().description());
    return;
  }
  try {
    auto message = call.createReply();
    for (const auto& bytes : *archives) appendBytes(message, bytes);
    outbox.sendInOrder([&] { message.send(); });
  } catch (const sdbus::Error& error) {
    // The caller left the bus: nobody waits for this reply any more.
    log(LogLevel::warning, "Cannot send the reply of " + method + ": " + error.getMessage());
  }
}

void replyWithError(Outbox& outbox, const sdbus::MethodCall& call, const std::string& name, const std::string& message) {
  if (call.doesntExpectReply()) return;
  try {
    auto reply = call.createErrorReply(sdbus::Error(name, message));
    outbox.sendInOrder([&] { reply.send(); });
  } catch (const sdbus::Error& error) {
    log(LogLevel::warning, "Cannot send an error reply: " + error.getMessage());
  }
}

}  // namespace fnd::ipc::wire
