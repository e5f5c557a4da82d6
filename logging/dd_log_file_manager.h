#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/dd_log_file_info.h"

// Where a file logger's files live, how they are named and how many are kept.
// A file logger calls it from its own queue; the settings may be read and
// changed from any thread.
class DDLogFileManager {
 public:
  virtual ~DDLogFileManager() = default;

  // 0 means no limit.
  virtual std::size_t maximumNumberOfLogFiles() const = 0;
  virtual void setMaximumNumberOfLogFiles(std::size_t count) = 0;
  virtual std::uint64_t logFilesDiskQuota() const = 0;
  virtual void setLogFilesDiskQuota(std::uint64_t bytes) = 0;

  virtual std::string logsDirectory() const = 0;
  // The manager's files, newest first.
  virtual std::vector<std::shared_ptr<DDLogFileInfo>> sortedLogFileInfos() const = 0;
  // A new, empty file, then old files beyond the limits deleted; none when
  // the folder or the file cannot be made.
  virtual std::shared_ptr<DDLogFileInfo> createNewLogFile() = 0;

  // After the logger marked `info` archived on rolling it.
  virtual void didRollAndArchiveLogFile(const DDLogFileInfo& info) { (void)info; }
};
