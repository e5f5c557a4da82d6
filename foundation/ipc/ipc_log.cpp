#include "foundation/ipc/ipc_log.h"

#include <cstdio>
#include <mutex>

namespace fnd::ipc {
namespace {

std::mutex& handlerMutex() {
  static std::mutex mutex;
  return mutex;
}

LogHandler& installedHandler() {
  static LogHandler handler;
  return handler;
}

}  // namespace

void setLogHandler(LogHandler handler) {
  std::lock_guard lock(handlerMutex());
  installedHandler() = std::move(handler);
}

void log(LogLevel level, std::string_view message) {
  LogHandler handler;
  {
    std::lock_guard lock(handlerMutex());
    handler = installedHandler();
  }
  if (handler) {
    handler(level, std::string(message));
    return;
  }
  static constexpr const char* kPrefixes[] = {"error", "warning", "info"};
  std::fprintf(stderr, "ipc %s: %.*s\n", kPrefixes[static_cast<int>(level)], static_cast<int>(message.size()),
               message.data());
}

}  // namespace fnd::ipc
