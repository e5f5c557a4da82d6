#pragma once

// The process-wide logging facility. Every line goes through one serial
// logging queue, "cocoa.lumberjack", to each registered logger whose level
// admits it, on that logger's own queue; so each logger sees the lines in the
// order they were logged. Asynchronous lines may still be queued when the call
// returns; a synchronous line has been delivered. At most 1000 lines wait at a
// time: a producer beyond that blocks until one is delivered.
//
// A logger may log, flush, add or remove loggers from its own operations:
// those calls are queued, never waited for, since the logging queue may itself
// be waiting for that logger.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format.h"
#include "foundation/value.h"
#include "logging/dd_log_level.h"
#include "logging/dd_log_message.h"
#include "logging/dd_logger.h"

struct DDLoggerWithLevel {
  std::shared_ptr<DDLogger> logger;
  DDLogLevel level;
};

class DDLog {
 public:
  DDLog() = delete;

  // At all levels.
  static void addLogger(std::shared_ptr<DDLogger> logger);
  // A logger already registered keeps its first level.
  static void addLoggerWithLevel(std::shared_ptr<DDLogger> logger, DDLogLevel level);
  // Once these return, the loggers get no further line.
  static void removeLogger(const std::shared_ptr<DDLogger>& logger);
  static void removeAllLoggers();
  // In registration order.
  static std::vector<std::shared_ptr<DDLogger>> allLoggers();
  static std::vector<DDLoggerWithLevel> allLoggersWithLevel();

  // Formats the message on the calling thread, then hands it on.
  template <class... Args>
  static void log(bool asynchronous, DDLogLevel level, DDLogFlag flag, long context, const char* file,
                  const char* function, unsigned line, const fnd::Value& tag, std::string_view format,
                  const Args&... arguments) {
    log(asynchronous, DDLogMessage(fnd::StringWithFormat(format, arguments...), level, flag, context,
                                   file ? file : "", function ? function : "", line, tag));
  }
  static void log(bool asynchronous, DDLogMessage logMessage);

  // Delivers every line logged before the call, then flushes every logger.
  static void flushLog();
};
