#include "logging/dd_tty_logger.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "foundation/format.h"

std::shared_ptr<DDTTYLogger> DDTTYLogger::sharedInstance() {
  // Leaked, so lines logged while the process exits still have their logger.
  static auto* instance = new std::shared_ptr<DDTTYLogger>(std::make_shared<DDTTYLogger>(STDERR_FILENO));
  return *instance;
}

DDTTYLogger::DDTTYLogger(int fileDescriptor)
    : DDAbstractLogger("cocoa.lumberjack.ttyLogger"),
      fileDescriptor_(fileDescriptor),
      processName_(program_invocation_short_name),
      processID_(static_cast<long>(getpid())) {}

void DDTTYLogger::logMessage(const DDLogMessage& logMessage) {
  std::string line;
  if (auto formatter = logFormatter()) {
    auto formatted = formatter->formatLogMessage(logMessage);
    if (!formatted) return;
    line = std::move(*formatted);
  } else {
    line = defaultLine(logMessage);
  }
  line.push_back('\n');

  const char* next = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    ssize_t written = ::write(fileDescriptor_, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // a closed console is no reason to stop the process
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
}

std::string DDTTYLogger::defaultLine(const DDLogMessage& logMessage) const {
  // Whole microseconds first, so a time stored as ...0.123 is not shown as .122.
  auto micros = static_cast<long long>(std::llround(logMessage.timestamp()->timeIntervalSince1970() * 1e6));
  long long seconds = micros >= 0 ? micros / 1000000 : -((-micros + 999999) / 1000000);
  long long millis = (micros - seconds * 1000000) / 1000;
  std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  localtime_r(&time, &parts);
  return fnd::StringWithFormat("%04d-%02d-%02d %02d:%02d:%02d.%03lld %@[%ld:%@] %@", parts.tm_year + 1900,
                               parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, millis,
                               processName_, processID_, logMessage.threadID(), logMessage.message());
}
