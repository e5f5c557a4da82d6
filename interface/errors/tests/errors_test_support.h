#pragma once

// Shared by the catalogue's tests: capturing log lines, temporary folders and
// a stand-in for the desktop's URL opener that records what it was given.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/workspace.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"

namespace afx_test {

// Records every line logged while it exists.
class LogCapture {
 public:
  LogCapture() : logger_(std::make_shared<RecordingLogger>("test.afx.logCapture")) { DDLog::addLogger(logger_); }
  ~LogCapture() { DDLog::removeLogger(logger_); }

  // Lines with that flag, logged so far.
  std::vector<std::string> lines(DDLogFlag flag) const {
    DDLog::flushLog();
    std::vector<std::string> texts;
    for (const auto& message : logger_->messages()) {
      if (message.flag() == flag) texts.push_back(message.message());
    }
    return texts;
  }

 private:
  std::shared_ptr<RecordingLogger> logger_;
};

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvia-errors-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Polls in short steps for something another process writes.
template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// Installs, as $KORVIA_OPEN_COMMAND, a script that appends each URL it is
// asked to open to a file, one per line. A death-test child that re-runs the
// test ("threadsafe" style) adopts the recorder of the parent it inherited,
// so the parent sees what the child opened.
class RecordingOpener {
 public:
  static constexpr const char* kRecordVariable = "KORVIA_TEST_OPENER_RECORD";

  RecordingOpener() {
    if (const char* inherited = ::getenv(kRecordVariable)) {
      record_ = inherited;
      return;
    }
    folder_ = std::make_unique<TemporaryFolder>();
    record_ = folder_->path() / "opened.txt";
    const auto script = folder_->path() / "opener.sh";
    // One short printf is one write, so a reader never sees half a line.
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record_.string() << "'\n";
    ::chmod(script.c_str(), 0755);
    ::setenv(std::string(fnd::kWorkspaceOpenCommandVariable).c_str(), script.c_str(), 1);
    ::setenv(kRecordVariable, record_.c_str(), 1);
  }
  ~RecordingOpener() {
    if (!folder_) return;
    ::unsetenv(std::string(fnd::kWorkspaceOpenCommandVariable).c_str());
    ::unsetenv(kRecordVariable);
  }
  RecordingOpener(const RecordingOpener&) = delete;
  RecordingOpener& operator=(const RecordingOpener&) = delete;

  // The URLs opened so far, once at least `count` have been.
  std::vector<std::string> waitForOpened(std::size_t count) const {
    std::vector<std::string> opened;
    eventually([&] {
      opened = this->opened();
      return opened.size() >= count;
    });
    return opened;
  }

  std::vector<std::string> opened() const {
    std::vector<std::string> lines;
    std::ifstream file(record_);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::unique_ptr<TemporaryFolder> folder_;
  std::filesystem::path record_;
};

}  // namespace afx_test
