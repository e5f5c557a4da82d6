#pragma once

#include <string>

#include "logging/dd_log_file_manager_default.h"

// The product's log files: "com.korvia <date>.log".
class AFXLogFileManager final : public DDLogFileManagerDefault {
 public:
  using DDLogFileManagerDefault::DDLogFileManagerDefault;

  std::string applicationName() const override { return "com.korvia"; }
};
