#include "interface/logging/afx_log_formatter.h"

#include <utility>

AFXLogFormatter::AFXLogFormatter(std::string prefix, std::shared_ptr<DDDateFormatter> dateFormatter)
    : DDLogFileFormatterDefault(std::move(dateFormatter)), prefix_(std::move(prefix)) {}

std::optional<std::string> AFXLogFormatter::formatLogMessage(const DDLogMessage& logMessage) {
  auto line = DDLogFileFormatterDefault::formatLogMessage(logMessage);
  if (!line) return line;
  return prefix_ + *line;
}
