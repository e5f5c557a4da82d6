#include "foundation/ipc/ipc_error.h"

#include "foundation/dictionary.h"

namespace fnd::ipc {
namespace {

Error cocoaError(std::int64_t code, std::string_view debugDescription) {
  return Error(NSCocoaErrorDomain, code, {{Value(NSDebugDescriptionErrorKey), Value(debugDescription)}});
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

Error interruptedError() { return cocoaError(NSXPCConnectionInterrupted, "The connection was interrupted."); }

Error invalidError(std::string_view reason) { return cocoaError(NSXPCConnectionInvalid, reason); }

Error decodingError(std::string_view reason, const Error* underlying) {
  Error error = cocoaError(kDecodingErrorCode, reason);
  if (underlying != nullptr) {
    error = error.errorBySettingUserInfoValue(Value(*underlying), NSUnderlyingErrorKey);
  }
  return error;
}

Error replyInvalidError(std::string_view reason) { return cocoaError(NSXPCConnectionReplyInvalid, reason); }

BusFailure classifyBusError(std::string_view name) {
  // The daemon answers NoReply for every call still waiting when the peer
  // leaves the bus; calls carry no time-out, so it means nothing else.
  if (name == "org.freedesktop.DBus.Error.NoReply") return BusFailure::interrupted;
  if (name == kBusErrorDecoding) return BusFailure::decoding;
  if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      name == "org.freedesktop.DBus.Error.UnknownObject" || name == "org.freedesktop.DBus.Error.UnknownMethod" ||
      name == "org.freedesktop.DBus.Error.UnknownInterface" || name == "org.freedesktop.DBus.Error.Disconnected" ||
      name == kBusErrorAccessDenied || startsWith(name, "org.freedesktop.DBus.Error.Spawn")) {
    return BusFailure::invalid;
  }
  return BusFailure::other;
}

Error errorFromBusError(std::string_view name, std::string_view message) {
  std::string reason(name);
  if (!message.empty()) reason += ": " + std::string(message);
  switch (classifyBusError(name)) {
    case BusFailure::interrupted:
      return interruptedError();
    case BusFailure::invalid:
      return invalidError(reason);
    case BusFailure::decoding:
      return decodingError(reason);
    case BusFailure::other:
      break;
  }
  return replyInvalidError(reason);
}

bool isInterruptedError(const Error& error) { return error.is(NSCocoaErrorDomain, NSXPCConnectionInterrupted); }
bool isInvalidError(const Error& error) { return error.is(NSCocoaErrorDomain, NSXPCConnectionInvalid); }
bool isDecodingError(const Error& error) { return error.is(NSCocoaErrorDomain, kDecodingErrorCode); }

}  // namespace fnd::ipc
