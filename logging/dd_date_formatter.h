#pragma once

#include <memory>
#include <string>

#include "foundation/date.h"

// Formats dates by a fixed pattern in the process's local time zone, with the
// POSIX locale's digits. The pattern letters understood are the ones the log
// files use: yyyy, MM, dd, HH, mm, ss and SSS; text between single quotes is
// written as it stands, and any other character too.
class DDDateFormatter {
 public:
  explicit DDDateFormatter(std::string pattern);

  const std::string& dateFormat() const { return pattern_; }
  std::string stringFromDate(const fnd::Date& date) const;

 private:
  std::string pattern_;
};
