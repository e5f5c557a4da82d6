#include "foundation/calendar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace fnd {
namespace {

std::shared_ptr<Date> utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(timegm(&parts)));
}

// Whole-second dates compare by description, which failures print readably.
std::string text(const std::shared_ptr<Date>& date) { return date->description(); }

DateComponents months(std::int64_t count) {
  DateComponents components;
  components.months = count;
  return components;
}

const Calendar kUTC(TimeZone::utc());

TEST(Calendar, MonthsClampTheDayToTheEndOfTheMonth) {
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(1), *utc(2023, 1, 31, 9, 30))), text(utc(2023, 2, 28, 9, 30)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(1), *utc(2024, 1, 31, 9, 30))), text(utc(2024, 2, 29, 9, 30)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(3), *utc(2023, 11, 30))), text(utc(2024, 2, 29)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(-1), *utc(2023, 3, 31))), text(utc(2023, 2, 28)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(-13), *utc(2024, 1, 15))), text(utc(2022, 12, 15)));
  // A day that exists in the new month is kept.
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(1), *utc(2023, 1, 28))), text(utc(2023, 2, 28)));
}

TEST(Calendar, YearsClampTheLeapDay) {
  DateComponents oneYear;
  oneYear.years = 1;
  EXPECT_EQ(text(kUTC.dateByAddingComponents(oneYear, *utc(2024, 2, 29, 12))), text(utc(2025, 2, 28, 12)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(oneYear, *utc(2023, 6, 1))), text(utc(2024, 6, 1)));
}

TEST(Calendar, UnitsAddFromTheLargestDown) {
  DateComponents mixed;
  mixed.months = 1;
  mixed.days = 1;
  mixed.hours = 1;
  mixed.minutes = 2;
  mixed.seconds = 3;
  // January 31 becomes February 28 before the day is added.
  EXPECT_EQ(text(kUTC.dateByAddingComponents(mixed, *utc(2023, 1, 31, 22))), text(utc(2023, 3, 1, 23, 2, 3)));

  DateComponents overflow;
  overflow.minutes = 90;
  overflow.days = -1;
  EXPECT_EQ(text(kUTC.dateByAddingComponents(overflow, *utc(2023, 3, 1))), text(utc(2023, 2, 28, 1, 30)));
}

TEST(Calendar, NanosecondsAndFractionsOfTheDateAreKept) {
  DateComponents components;
  components.seconds = 10;
  components.nanoseconds = 250'000'000;
  auto start = Date::dateWithTimeIntervalSinceReferenceDate(1000.5);
  EXPECT_DOUBLE_EQ(kUTC.dateByAddingComponents(components, *start)->timeIntervalSinceReferenceDate(), 1010.75);

  DateComponents oneMonth = months(1);
  auto fractional = Date::dateWithTimeIntervalSince1970(utc(2023, 1, 31)->timeIntervalSince1970() + 0.25);
  EXPECT_DOUBLE_EQ(kUTC.dateByAddingComponents(oneMonth, *fractional)->timeIntervalSince1970(),
                   utc(2023, 2, 28)->timeIntervalSince1970() + 0.25);
}

TEST(Calendar, FixedOffsetCountsMonthsInItsOwnDate) {
  // 2023-01-30 23:30 UTC is already January 31 at +01:00, so a month later
  // is the last day of February there, a day earlier than in UTC.
  const Calendar plusOne(TimeZone::withSecondsFromGMT(3600));
  EXPECT_EQ(text(plusOne.dateByAddingComponents(months(1), *utc(2023, 1, 30, 23, 30))), text(utc(2023, 2, 27, 23, 30)));
  EXPECT_EQ(text(kUTC.dateByAddingComponents(months(1), *utc(2023, 1, 30, 23, 30))), text(utc(2023, 2, 28, 23, 30)));
  // February 28 23:30 UTC is March 1 there.
  EXPECT_EQ(text(plusOne.dateByAddingComponents(months(1), *utc(2023, 2, 28, 23, 30))), text(utc(2023, 3, 31, 23, 30)));
}

// Installs a TZ for one test and restores the previous one.
class CalendarLocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* previous = std::getenv("TZ")) previous_ = previous;
    // Central European time, without relying on installed zone files.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  std::optional<std::string> previous_;
};

TEST_F(CalendarLocalTimeTest, DaysKeepTheClockTimeAcrossDaylightSaving) {
  // 2024-03-30 12:00 CET is 11:00 UTC; the clocks go forward that night.
  DateComponents oneDay;
  oneDay.days = 1;
  auto next = Calendar::current().dateByAddingComponents(oneDay, *utc(2024, 3, 30, 11));
  EXPECT_EQ(text(next), text(utc(2024, 3, 31, 10)));  // 12:00 CEST

  DateComponents twentyFourHours;
  twentyFourHours.hours = 24;
  EXPECT_EQ(text(Calendar::current().dateByAddingComponents(twentyFourHours, *utc(2024, 3, 30, 11))),
            text(utc(2024, 3, 31, 11)));  // 13:00 CEST
}

TEST_F(CalendarLocalTimeTest, MonthsUseTheLocalDate) {
  // 2023-01-30 23:30 UTC is January 31 00:30 local time: one month later is
  // February 28 00:30 local time.
  EXPECT_EQ(text(Calendar::current().dateByAddingComponents(months(1), *utc(2023, 1, 30, 23, 30))),
            text(utc(2023, 2, 27, 23, 30)));
  // Components without a calendar use the current one.
  DateComponents components = months(1);
  EXPECT_EQ(components.calendarOrCurrent(), Calendar::current());
  components.calendar = kUTC;
  EXPECT_EQ(components.calendarOrCurrent(), kUTC);
}

}  // namespace
}  // namespace fnd
