#pragma once

#include <memory>
#include <optional>
#include <string>

#include "logging/dd_log_file_formatter_default.h"

// The file line with a prefix in front: "<prefix>yyyy/MM/dd HH:mm:ss:SSS  message".
class AFXLogFormatter final : public DDLogFileFormatterDefault {
 public:
  explicit AFXLogFormatter(std::string prefix, std::shared_ptr<DDDateFormatter> dateFormatter = nullptr);

  const std::string& prefix() const { return prefix_; }
  std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override;

 private:
  std::string prefix_;
};
