#include "logging/dd_date_formatter.h"

#include <cmath>
#include <ctime>
#include <string_view>
#include <utility>

#include "foundation/format.h"

DDDateFormatter::DDDateFormatter(std::string pattern) : pattern_(std::move(pattern)) {}

std::string DDDateFormatter::stringFromDate(const fnd::Date& date) const {
  // Whole milliseconds first, so a time stored as ...0.123 is not shown as .122.
  const auto millis = static_cast<long long>(std::llround(date.timeIntervalSince1970() * 1000.0));
  long long seconds = millis >= 0 ? millis / 1000 : -((-millis + 999) / 1000);
  const long long fraction = millis - seconds * 1000;
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  localtime_r(&time, &parts);

  std::string out;
  const std::string_view pattern = pattern_;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      const auto close = pattern.find('\'', i + 1);
      const auto end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    switch (c) {
      case 'y': out += fnd::StringWithFormat("%04d", parts.tm_year + 1900); break;
      case 'M': out += fnd::StringWithFormat("%02d", parts.tm_mon + 1); break;
      case 'd': out += fnd::StringWithFormat("%02d", parts.tm_mday); break;
      case 'H': out += fnd::StringWithFormat("%02d", parts.tm_hour); break;
      case 'm': out += fnd::StringWithFormat("%02d", parts.tm_min); break;
      case 's': out += fnd::StringWithFormat("%02d", parts.tm_sec); break;
      case 'S': out += fnd::StringWithFormat("%03lld", fraction); break;
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}
