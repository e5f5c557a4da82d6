#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/queue.h"
#include "logging/dd_log_message.h"

// Turns a message into the line a logger writes.
class DDLogFormatter {
 public:
  virtual ~DDLogFormatter() = default;

  // The line for `logMessage`, or none to drop it.
  virtual std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) = 0;
};

// A destination for log lines. DDLog calls every operation on the logger's own
// queue, one at a time, so a logger needs no locking of its own.
class DDLogger {
 public:
  virtual ~DDLogger() = default;

  virtual void logMessage(const DDLogMessage& logMessage) = 0;

  // After the logger joined DDLog, before its first line.
  virtual void didAddLogger() {}
  // Before the logger leaves DDLog, after its last line.
  virtual void willRemoveLogger() {}
  // Writes out whatever the logger still buffers.
  virtual void flush() {}

  virtual std::shared_ptr<DDLogFormatter> logFormatter() const { return nullptr; }
  virtual void setLogFormatter(std::shared_ptr<DDLogFormatter> logFormatter) { (void)logFormatter; }

  // The serial queue the logger's operations run on. Without one DDLog makes
  // a serial queue labelled with the logger's name.
  virtual std::optional<fnd::Queue> loggerQueue() const { return std::nullopt; }
  virtual std::string loggerName() const { return "cocoa.lumberjack.logger"; }
};
