#pragma once

// Calendar arithmetic on dates: adding years, months, days and clock time to
// a moment as the Gregorian calendar of a time zone counts them. Months and
// years keep the day of the month where it exists and clamp it to the last
// day otherwise (January 31 plus one month is the last day of February); days
// keep the local clock time across daylight-saving changes; hours and smaller
// units are elapsed time.

#include <cstdint>
#include <memory>
#include <optional>

#include "foundation/date.h"

namespace fnd {

// The local time zone of the process (TZ), or a fixed offset from GMT.
class TimeZone {
 public:
  static TimeZone local() { return TimeZone(std::nullopt); }
  static TimeZone withSecondsFromGMT(std::int32_t seconds) { return TimeZone(seconds); }
  static TimeZone utc() { return TimeZone(0); }

  bool isLocal() const { return !secondsFromGMT_.has_value(); }
  // Empty for the local time zone, whose offset depends on the date.
  std::optional<std::int32_t> fixedSecondsFromGMT() const { return secondsFromGMT_; }

  friend bool operator==(const TimeZone&, const TimeZone&) = default;

 private:
  explicit TimeZone(std::optional<std::int32_t> secondsFromGMT) : secondsFromGMT_(secondsFromGMT) {}

  std::optional<std::int32_t> secondsFromGMT_;
};

struct DateComponents;

// The Gregorian calendar in one time zone.
class Calendar {
 public:
  explicit Calendar(TimeZone timeZone) : timeZone_(timeZone) {}

  // Gregorian, in the process's local time zone.
  static Calendar current() { return Calendar(TimeZone::local()); }

  const TimeZone& timeZone() const { return timeZone_; }

  // Adds the components from the largest unit down: years and months, then
  // days, then hours, minutes, seconds and nanoseconds. Negative components
  // go back in time.
  std::shared_ptr<Date> dateByAddingComponents(const DateComponents& components, const Date& date) const;

  friend bool operator==(const Calendar&, const Calendar&) = default;

 private:
  TimeZone timeZone_;
};

// An amount of calendar time. Units left at zero add nothing.
struct DateComponents {
  std::optional<Calendar> calendar;
  std::int64_t years = 0;
  std::int64_t months = 0;
  std::int64_t days = 0;
  std::int64_t hours = 0;
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;

  // The components' own calendar, else the current one.
  Calendar calendarOrCurrent() const { return calendar.value_or(Calendar::current()); }

  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

}  // namespace fnd
