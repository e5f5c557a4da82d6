#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/clock.h"
#include "foundation/timer.h"
#include "logging/dd_abstract_logger.h"
#include "logging/dd_log_file_manager.h"

// Writes every line to the current file of its log-file manager, a newline
// added where the line has none. The file is rolled (marked archived, the
// next line going to a new file) once it reaches `maximumFileSize` (default
// 1 MiB) or `rollingFrequency` (default 24 hours, on the installed clock) has
// passed since it was created; 0 switches either rule off. On start the
// newest file is reused while neither rule says it is done.
//
// Make it with std::make_shared: the rolling timer holds it weakly.
class DDFileLogger final : public DDAbstractLogger, public std::enable_shared_from_this<DDFileLogger> {
 public:
  static constexpr std::uint64_t kDefaultMaximumFileSize = 1024 * 1024;
  static constexpr double kDefaultRollingFrequency = 60 * 60 * 24;
  // How many write failures of the process are reported on standard error.
  static constexpr int kReportedExceptionLimit = 10;

  explicit DDFileLogger(std::shared_ptr<DDLogFileManager> logFileManager);
  ~DDFileLogger() override;

  const std::shared_ptr<DDLogFileManager>& logFileManager() const { return logFileManager_; }

  std::uint64_t maximumFileSize() const { return maximumFileSize_; }
  void setMaximumFileSize(std::uint64_t bytes) { maximumFileSize_ = bytes; }
  // Seconds.
  double rollingFrequency() const { return rollingFrequency_; }
  void setRollingFrequency(double seconds);

  // The file the next line goes to, made now when there is none; null when
  // no file can be made. Waits for the lines queued before.
  std::shared_ptr<DDLogFileInfo> currentLogFileInfo();
  // Rolls the current file; `completion` (optional) runs on the utility
  // queue afterwards.
  void rollLogFile(std::function<void()> completion = nullptr);

  void logMessage(const DDLogMessage& logMessage) override;
  void flush() override;
  void willRemoveLogger() override;

 private:
  // All on the logger's queue.
  void writeLine(const std::string& line);
  bool openCurrentFile();
  std::shared_ptr<DDLogFileInfo> reusableFile() const;
  bool isDue(const DDLogFileInfo& info) const;
  void scheduleRollTimer();
  void rollNow();
  void closeFile();

  static void reportException(const std::string& what);

  const std::shared_ptr<DDLogFileManager> logFileManager_;
  std::atomic<std::uint64_t> maximumFileSize_ = kDefaultMaximumFileSize;
  std::atomic<double> rollingFrequency_ = kDefaultRollingFrequency;
  // Confined to the logger's queue.
  std::shared_ptr<DDLogFileInfo> currentLogFileInfo_;
  int fileDescriptor_ = -1;
  std::uint64_t fileSize_ = 0;
  std::shared_ptr<fnd::Timer> rollingTimer_;
};
