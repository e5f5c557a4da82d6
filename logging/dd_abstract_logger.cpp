#include "logging/dd_abstract_logger.h"

#include <utility>

DDAbstractLogger::DDAbstractLogger(std::string loggerName)
    : loggerName_(std::move(loggerName)), loggerQueue_(fnd::Queue::serial(loggerName_)) {}

std::shared_ptr<DDLogFormatter> DDAbstractLogger::logFormatter() const {
  if (loggerQueue_.isCurrent()) return logFormatter_;
  return loggerQueue_.sync([this] { return logFormatter_; });
}

void DDAbstractLogger::setLogFormatter(std::shared_ptr<DDLogFormatter> logFormatter) {
  if (loggerQueue_.isCurrent()) {
    logFormatter_ = std::move(logFormatter);
    return;
  }
  loggerQueue_.sync([&] { logFormatter_ = std::move(logFormatter); });
}
