#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/queue.h"
#include "logging/dd_logger.h"

// Base of concrete loggers: a serial queue labelled with the logger's name and
// a formatter that lives on that queue.
class DDAbstractLogger : public DDLogger {
 public:
  DDAbstractLogger(const DDAbstractLogger&) = delete;
  DDAbstractLogger& operator=(const DDAbstractLogger&) = delete;

  // Both wait for the logger's queue unless called on it (as from
  // logMessage), so a new formatter applies to every line queued after it.
  std::shared_ptr<DDLogFormatter> logFormatter() const override;
  void setLogFormatter(std::shared_ptr<DDLogFormatter> logFormatter) override;

  std::optional<fnd::Queue> loggerQueue() const override { return loggerQueue_; }
  std::string loggerName() const override { return loggerName_; }

 protected:
  explicit DDAbstractLogger(std::string loggerName);

  bool isOnLoggerQueue() const { return loggerQueue_.isCurrent(); }

 private:
  std::string loggerName_;
  fnd::Queue loggerQueue_;
  std::shared_ptr<DDLogFormatter> logFormatter_;  // only on loggerQueue_
};
