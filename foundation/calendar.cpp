#include "foundation/calendar.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "foundation/check.h"

namespace fnd {

namespace {

bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(std::int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 1 && isLeapYear(year) ? 29 : kDays[month];
}

int checkedInt(std::int64_t value) {
  FND_PARAMETER_ASSERT(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max());
  return static_cast<int>(value);
}

std::tm brokenDown(std::time_t seconds, const TimeZone& timeZone) {
  std::tm parts{};
  if (timeZone.isLocal()) {
    tzset();  // follow changes of TZ
    localtime_r(&seconds, &parts);
  } else {
    const std::time_t shifted = seconds + *timeZone.fixedSecondsFromGMT();
    gmtime_r(&shifted, &parts);
  }
  return parts;
}

std::time_t assembled(std::tm& parts, const TimeZone& timeZone) {
  if (timeZone.isLocal()) {
    // Let the zone decide whether daylight-saving time applies at the new
    // date, so that the local clock time is kept.
    parts.tm_isdst = -1;
    return std::mktime(&parts);
  }
  return timegm(&parts) - *timeZone.fixedSecondsFromGMT();
}

// Years, months and days move the local date and keep the clock time.
std::time_t addDateUnits(std::time_t seconds, const DateComponents& components, const TimeZone& timeZone) {
  std::tm parts = brokenDown(seconds, timeZone);
  const std::int64_t monthIndex =
      (static_cast<std::int64_t>(parts.tm_year) + 1900) * 12 + parts.tm_mon + components.years * 12 + components.months;
  std::int64_t year = monthIndex / 12;
  std::int64_t month = monthIndex % 12;
  if (month < 0) {
    month += 12;
    year -= 1;
  }
  parts.tm_year = checkedInt(year - 1900);
  parts.tm_mon = static_cast<int>(month);
  parts.tm_mday = std::min(parts.tm_mday, daysInMonth(year, parts.tm_mon));
  parts.tm_mday = checkedInt(parts.tm_mday + components.days);
  return assembled(parts, timeZone);
}

}  // namespace

std::shared_ptr<Date> Calendar::dateByAddingComponents(const DateComponents& components, const Date& date) const {
  const double since1970 = date.timeIntervalSince1970();
  const double whole = std::floor(since1970);
  const double fraction = since1970 - whole;
  auto seconds = static_cast<std::time_t>(whole);
  if (components.years != 0 || components.months != 0 || components.days != 0) {
    seconds = addDateUnits(seconds, components, timeZone_);
  }
  const double elapsed = static_cast<double>(components.hours) * 3600.0 +
                         static_cast<double>(components.minutes) * 60.0 + static_cast<double>(components.seconds) +
                         static_cast<double>(components.nanoseconds) / 1e9;
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(seconds) + fraction + elapsed);
}

}  // namespace fnd
