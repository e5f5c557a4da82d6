#pragma once

#include <memory>
#include <string>

#include "logging/dd_abstract_logger.h"

// The console logger: one line per message on a terminal descriptor, written
// with a single write() so lines from several processes do not interleave.
// Without a formatter a line reads
// "yyyy-MM-dd HH:mm:ss.SSS <process>[<pid>:<thread id>] <message>" in local time.
class DDTTYLogger final : public DDAbstractLogger {
 public:
  // The logger on the standard error stream.
  static std::shared_ptr<DDTTYLogger> sharedInstance();

  // Writes to `fileDescriptor`, which stays the caller's to close.
  explicit DDTTYLogger(int fileDescriptor);

  void logMessage(const DDLogMessage& logMessage) override;

  int fileDescriptor() const { return fileDescriptor_; }

 private:
  std::string defaultLine(const DDLogMessage& logMessage) const;

  int fileDescriptor_;
  std::string processName_;
  long processID_;
};
