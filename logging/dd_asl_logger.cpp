#include "logging/dd_asl_logger.h"

#include <syslog.h>

#include <string>

std::shared_ptr<DDASLLogger> DDASLLogger::sharedInstance() {
  // Leaked, so lines logged while the process exits still have their logger.
  static auto* instance = new std::shared_ptr<DDASLLogger>(std::make_shared<DDASLLogger>());
  return *instance;
}

DDASLLogger::DDASLLogger() : DDAbstractLogger("cocoa.lumberjack.aslLogger") {}

int DDASLLogger::priorityForFlag(DDLogFlag flag) {
  if (flag & DDLogFlagError) return LOG_ERR;
  if (flag & DDLogFlagWarning) return LOG_WARNING;
  if (flag & DDLogFlagInfo) return LOG_INFO;
  return LOG_DEBUG;
}

void DDASLLogger::logMessage(const DDLogMessage& logMessage) {
  std::string line;
  if (auto formatter = logFormatter()) {
    auto formatted = formatter->formatLogMessage(logMessage);
    if (!formatted) return;
    line = std::move(*formatted);
  } else {
    line = logMessage.message();
  }
  // Through "%s", so a line's own percent signs are not conversions.
  ::syslog(LOG_USER | priorityForFlag(logMessage.flag()), "%s", line.c_str());
}
