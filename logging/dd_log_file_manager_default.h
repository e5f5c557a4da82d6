#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logging/dd_date_formatter.h"
#include "logging/dd_log_file_manager.h"

// Log files "<application name> <yyyy-MM-dd--HH-mm-ss-SSS>.log" in one
// folder, at most `maximumNumberOfLogFiles` (default 5) and
// `logFilesDiskQuota` bytes (default 20 MiB) of them; the newest file is
// never deleted.
class DDLogFileManagerDefault : public DDLogFileManager {
 public:
  static constexpr std::size_t kDefaultMaximumNumberOfLogFiles = 5;
  static constexpr std::uint64_t kDefaultLogFilesDiskQuota = 20 * 1024 * 1024;
  static constexpr char kFileDateFormat[] = "yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'";

  explicit DDLogFileManagerDefault(std::string logsDirectory);

  std::size_t maximumNumberOfLogFiles() const override { return maximumNumberOfLogFiles_; }
  void setMaximumNumberOfLogFiles(std::size_t count) override { maximumNumberOfLogFiles_ = count; }
  std::uint64_t logFilesDiskQuota() const override { return logFilesDiskQuota_; }
  void setLogFilesDiskQuota(std::uint64_t bytes) override { logFilesDiskQuota_ = bytes; }

  std::string logsDirectory() const override { return logsDirectory_; }
  std::vector<std::shared_ptr<DDLogFileInfo>> sortedLogFileInfos() const override;
  std::shared_ptr<DDLogFileInfo> createNewLogFile() override;
  void didRollAndArchiveLogFile(const DDLogFileInfo& info) override;

  // The name every file begins with; the program's name unless overridden.
  virtual std::string applicationName() const;
  std::string newLogFileName() const;
  bool isLogFile(std::string_view fileName) const;
  std::vector<std::string> sortedLogFilePaths() const;

 private:
  // Made when missing; false, after reporting it, when it cannot be.
  bool ensureLogsDirectory() const;
  void deleteOldLogFiles() const;
  // The date a file's name records, for files named by this manager.
  std::shared_ptr<fnd::Date> dateInFileName(std::string_view fileName) const;

  const std::string logsDirectory_;
  const DDDateFormatter fileDateFormatter_;
  std::atomic<std::size_t> maximumNumberOfLogFiles_ = kDefaultMaximumNumberOfLogFiles;
  std::atomic<std::uint64_t> logFilesDiskQuota_ = kDefaultLogFilesDiskQuota;
};
