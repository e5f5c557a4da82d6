#pragma once

// The errors of interprocess connections, in the platform's Cocoa codes so
// that callers test them as they would on the platform.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/error.h"

namespace fnd::ipc {

// The peer went away; the connection stays usable and the next message
// starts the service again.
inline constexpr std::int64_t NSXPCConnectionInterrupted = 4097;
// The connection can carry no more messages.
inline constexpr std::int64_t NSXPCConnectionInvalid = 4099;
// The reply could not be read as the interface describes it.
inline constexpr std::int64_t NSXPCConnectionReplyInvalid = 4101;
// An argument or reply that failed secure decoding (NSCoderReadCorruptError).
inline constexpr std::int64_t kDecodingErrorCode = 4864;

// D-Bus error names our own side sends.
inline constexpr std::string_view kBusErrorDecoding = "com.korvia.ipc.Error.Decoding";
inline constexpr std::string_view kBusErrorAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";

[[nodiscard]] Error interruptedError();
[[nodiscard]] Error invalidError(std::string_view reason);
// NSCocoaErrorDomain 4864; `underlying` (the decoder's own error) travels
// under NSUnderlyingErrorKey.
[[nodiscard]] Error decodingError(std::string_view reason, const Error* underlying = nullptr);
[[nodiscard]] Error replyInvalidError(std::string_view reason);

// What a failed D-Bus call means for the connection that made it.
enum class BusFailure { interrupted, invalid, decoding, other };
BusFailure classifyBusError(std::string_view name);
[[nodiscard]] Error errorFromBusError(std::string_view name, std::string_view message);

bool isInterruptedError(const Error& error);
bool isInvalidError(const Error& error);
bool isDecodingError(const Error& error);

}  // namespace fnd::ipc
