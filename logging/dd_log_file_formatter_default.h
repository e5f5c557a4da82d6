#pragma once

#include <memory>
#include <optional>
#include <string>

#include "logging/dd_date_formatter.h"
#include "logging/dd_logger.h"

// The file logger's line: "yyyy/MM/dd HH:mm:ss:SSS", two spaces, the message.
class DDLogFileFormatterDefault : public DDLogFormatter {
 public:
  static constexpr char kDefaultDateFormat[] = "yyyy/MM/dd HH:mm:ss:SSS";

  // Null means the default date formatter.
  explicit DDLogFileFormatterDefault(std::shared_ptr<DDDateFormatter> dateFormatter = nullptr);

  std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override;

 private:
  std::shared_ptr<DDDateFormatter> dateFormatter_;
};
