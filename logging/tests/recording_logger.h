#pragma once

#include <string>
#include <vector>

#include "logging/dd_abstract_logger.h"

// Keeps every message and lifecycle call it gets. Its state lives on its own
// queue, so reading it through that queue also waits for the lines before.
class RecordingLogger : public DDAbstractLogger {
 public:
  explicit RecordingLogger(std::string name = "test.recordingLogger") : DDAbstractLogger(std::move(name)) {}

  void logMessage(const DDLogMessage& logMessage) override {
    messages_.push_back(logMessage);
    events_.push_back(logMessage.message());
  }
  void didAddLogger() override { events_.push_back("<added>"); }
  void willRemoveLogger() override { events_.push_back("<removed>"); }
  void flush() override { events_.push_back("<flush>"); }

  std::vector<DDLogMessage> messages() const {
    return loggerQueue()->sync([this] { return messages_; });
  }
  std::vector<std::string> texts() const {
    return loggerQueue()->sync([this] {
      std::vector<std::string> texts;
      for (const auto& m : messages_) texts.push_back(m.message());
      return texts;
    });
  }
  // Messages and lifecycle calls, in the order they happened.
  std::vector<std::string> events() const {
    return loggerQueue()->sync([this] { return events_; });
  }

 private:
  std::vector<DDLogMessage> messages_;  // only on the logger's queue
  std::vector<std::string> events_;     // only on the logger's queue
};
