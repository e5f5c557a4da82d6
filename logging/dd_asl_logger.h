#pragma once

#include <memory>

#include "logging/dd_abstract_logger.h"

// The system-log logger: every line goes to syslog(3) under the program's
// name, errors at LOG_ERR, warnings at LOG_WARNING, information at LOG_INFO
// and the rest at LOG_DEBUG.
class DDASLLogger final : public DDAbstractLogger {
 public:
  static std::shared_ptr<DDASLLogger> sharedInstance();

  DDASLLogger();

  void logMessage(const DDLogMessage& logMessage) override;

  // The syslog priority of a line's flag.
  static int priorityForFlag(DDLogFlag flag);
};
