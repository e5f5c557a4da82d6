#include "logging/dd_log_file_formatter_default.h"

#include <utility>

#include "foundation/format.h"

DDLogFileFormatterDefault::DDLogFileFormatterDefault(std::shared_ptr<DDDateFormatter> dateFormatter)
    : dateFormatter_(dateFormatter ? std::move(dateFormatter) : std::make_shared<DDDateFormatter>(kDefaultDateFormat)) {}

std::optional<std::string> DDLogFileFormatterDefault::formatLogMessage(const DDLogMessage& logMessage) {
  return fnd::StringWithFormat("%@  %@", dateFormatter_->stringFromDate(*logMessage.timestamp()), logMessage.message());
}
