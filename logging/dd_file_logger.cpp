#include "logging/dd_file_logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "foundation/check.h"
#include "foundation/format.h"

namespace {

// Shared by every file logger of the process, as the reports are.
std::atomic<int> writeExceptionCount{0};

}  // namespace

DDFileLogger::DDFileLogger(std::shared_ptr<DDLogFileManager> logFileManager)
    : DDAbstractLogger("cocoa.lumberjack.fileLogger"), logFileManager_(std::move(logFileManager)) {
  FND_PARAMETER_ASSERT(logFileManager_);
}

DDFileLogger::~DDFileLogger() {
  if (rollingTimer_) rollingTimer_->cancel();
  if (fileDescriptor_ >= 0) ::close(fileDescriptor_);
}

void DDFileLogger::setRollingFrequency(double seconds) {
  rollingFrequency_ = seconds;
  // The current file's deadline moves with the setting.
  loggerQueue()->async([weak = weak_from_this()] {
    if (auto self = weak.lock(); self && self->currentLogFileInfo_) self->scheduleRollTimer();
  });
}

std::shared_ptr<DDLogFileInfo> DDFileLogger::currentLogFileInfo() {
  auto body = [this] {
    if (currentLogFileInfo_ && isDue(*currentLogFileInfo_)) rollNow();
    if (!currentLogFileInfo_) openCurrentFile();
    return currentLogFileInfo_;
  };
  if (isOnLoggerQueue()) return body();
  return loggerQueue()->sync(body);
}

void DDFileLogger::rollLogFile(std::function<void()> completion) {
  loggerQueue()->async([weak = weak_from_this(), completion = std::move(completion)] {
    if (auto self = weak.lock()) self->rollNow();
    if (completion) fnd::Queue::global(fnd::QualityOfService::utility).async(completion);
  });
}

void DDFileLogger::logMessage(const DDLogMessage& logMessage) {
  try {
    std::string line;
    if (auto formatter = logFormatter()) {
      auto formatted = formatter->formatLogMessage(logMessage);
      if (!formatted) return;
      line = std::move(*formatted);
    } else {
      line = logMessage.message();
    }
    if (line.empty() || line.back() != '\n') line.push_back('\n');
    writeLine(line);
  } catch (const std::exception& exception) {
    reportException(exception.what());
  }
}

void DDFileLogger::flush() {
  if (fileDescriptor_ >= 0) ::fdatasync(fileDescriptor_);
}

void DDFileLogger::willRemoveLogger() { closeFile(); }

void DDFileLogger::writeLine(const std::string& line) {
  if (currentLogFileInfo_ && isDue(*currentLogFileInfo_)) rollNow();
  if (fileDescriptor_ < 0 && !openCurrentFile()) return;
  const char* next = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(fileDescriptor_, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      reportException(fnd::StringWithFormat("write(%@): %s", currentLogFileInfo_->filePath(), std::strerror(errno)));
      return;
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  fileSize_ += line.size();
  const std::uint64_t maximum = maximumFileSize_;
  if (maximum > 0 && fileSize_ >= maximum) rollNow();
}

bool DDFileLogger::isDue(const DDLogFileInfo& info) const {
  const double frequency = rollingFrequency_;
  const std::uint64_t maximum = maximumFileSize_;
  return (frequency > 0 && info.age() >= frequency) || (maximum > 0 && info.fileSize() >= maximum);
}

std::shared_ptr<DDLogFileInfo> DDFileLogger::reusableFile() const {
  auto infos = logFileManager_->sortedLogFileInfos();
  if (infos.empty() || infos.front()->isArchived() || isDue(*infos.front())) return nullptr;
  return infos.front();
}

bool DDFileLogger::openCurrentFile() {
  auto info = reusableFile();
  if (!info) info = logFileManager_->createNewLogFile();
  if (!info) return false;
  const int descriptor = ::open(info->filePath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    reportException(fnd::StringWithFormat("open(%@): %s", info->filePath(), std::strerror(errno)));
    return false;
  }
  currentLogFileInfo_ = std::move(info);
  fileDescriptor_ = descriptor;
  fileSize_ = currentLogFileInfo_->fileSize();
  scheduleRollTimer();
  return true;
}

void DDFileLogger::scheduleRollTimer() {
  if (rollingTimer_) rollingTimer_->cancel();
  rollingTimer_.reset();
  const double frequency = rollingFrequency_;
  if (frequency <= 0 || !currentLogFileInfo_) return;
  const double left = std::max(0.0, frequency - currentLogFileInfo_->age());
  const auto interval = std::chrono::duration_cast<fnd::Clock::Duration>(std::chrono::duration<double>(left));
  rollingTimer_ = fnd::Timer::create(*loggerQueue(), interval, false, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->currentLogFileInfo_) return;
    if (self->isDue(*self->currentLogFileInfo_)) {
      self->rollNow();
    } else {
      self->scheduleRollTimer();
    }
  });
  rollingTimer_->start();
}

void DDFileLogger::rollNow() {
  if (!currentLogFileInfo_) return;
  auto info = std::move(currentLogFileInfo_);
  closeFile();
  info->setIsArchived(true);
  logFileManager_->didRollAndArchiveLogFile(*info);
}

void DDFileLogger::closeFile() {
  if (rollingTimer_) rollingTimer_->cancel();
  rollingTimer_.reset();
  if (fileDescriptor_ >= 0) ::close(fileDescriptor_);
  fileDescriptor_ = -1;
  fileSize_ = 0;
  currentLogFileInfo_.reset();
}

void DDFileLogger::reportException(const std::string& what) {
  const int count = ++writeExceptionCount;
  if (count > kReportedExceptionLimit) return;
  std::fputs(fnd::StringWithFormat("DDFileLogger.logMessage: %@\n", what).c_str(), stderr);
  if (count == kReportedExceptionLimit) {
    std::fputs("DDFileLogger.logMessage: Too many exceptions -- will not log any more of them.\n", stderr);
  }
}
