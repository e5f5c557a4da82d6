#pragma once

// The interprocess layer sits below the logging facility, so it reports
// rejected peers and undecodable messages through a handler the process
// installs (standard error until then).

#include <functional>
#include <string>
#include <string_view>

namespace fnd::ipc {

enum class LogLevel { error, warning, info };

using LogHandler = std::function<void(LogLevel level, const std::string& message)>;

// Replaces the handler; an empty one restores standard error.
void setLogHandler(LogHandler handler);
void log(LogLevel level, std::string_view message);

}  // namespace fnd::ipc
