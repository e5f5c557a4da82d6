#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/date.h"
#include "foundation/value.h"
#include "logging/dd_log_level.h"

// Bits a caller may attach to a message; the facility passes them through.
using DDLogMessageOptions = std::uint32_t;

// One log line as loggers receive it. Construction records where it was made:
// the calling thread's identifier and name and the queue it ran on, so build
// the message on the thread that logs.
class DDLogMessage {
 public:
  // A null timestamp means now, on the installed clock.
  DDLogMessage(std::string message, DDLogLevel level, DDLogFlag flag, long context, std::string file,
               std::string function, unsigned line, fnd::Value tag = {}, DDLogMessageOptions options = 0,
               std::shared_ptr<fnd::Date> timestamp = nullptr);

  const std::string& message() const { return message_; }
  DDLogLevel level() const { return level_; }
  DDLogFlag flag() const { return flag_; }
  long context() const { return context_; }
  // The source path as the call site gave it.
  const std::string& file() const { return file_; }
  // The last path component without its extension: "/src/dd_log.cpp" is "dd_log".
  const std::string& fileName() const { return fileName_; }
  const std::string& function() const { return function_; }
  unsigned line() const { return line_; }
  // May be nil.
  const fnd::Value& tag() const { return tag_; }
  DDLogMessageOptions options() const { return options_; }
  // Never null.
  const std::shared_ptr<fnd::Date>& timestamp() const { return timestamp_; }
  // The kernel thread id of the logging thread, in decimal.
  const std::string& threadID() const { return threadID_; }
  // The logging thread's name; "" when it has none.
  const std::string& threadName() const { return threadName_; }
  // The label of the innermost queue the logging code ran on; "" when none.
  const std::string& queueLabel() const { return queueLabel_; }

 private:
  std::string message_;
  DDLogLevel level_;
  DDLogFlag flag_;
  long context_;
  std::string file_;
  std::string fileName_;
  std::string function_;
  unsigned line_;
  fnd::Value tag_;
  DDLogMessageOptions options_;
  std::shared_ptr<fnd::Date> timestamp_;
  std::string threadID_;
  std::string threadName_;
  std::string queueLabel_;
};
