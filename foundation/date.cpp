#include "foundation/date.h"

#include <cmath>
#include <ctime>
#include <functional>

#include "foundation/clock.h"
#include "foundation/format.h"

namespace fnd {

const Class& Date::staticClass() {
  static const Class& cls = Class::define("NSDate", &Object::staticClass(), [] { return now(); });
  return cls;
}

std::shared_ptr<Date> Date::now() { return dateWithTimePoint(Clock::current().wallNow()); }

std::shared_ptr<Date> Date::dateWithTimeIntervalSinceReferenceDate(double seconds) {
  return std::shared_ptr<Date>(new Date(seconds));
}

std::shared_ptr<Date> Date::dateWithTimeIntervalSince1970(double seconds) {
  return dateWithTimeIntervalSinceReferenceDate(seconds - kTimeIntervalBetween1970AndReferenceDate);
}

std::shared_ptr<Date> Date::dateWithTimePoint(std::chrono::system_clock::time_point point) {
  std::chrono::duration<double> sinceEpoch = point.time_since_epoch();
  return dateWithTimeIntervalSince1970(sinceEpoch.count());
}

std::chrono::system_clock::time_point Date::timePoint() const {
  auto since1970 = std::chrono::duration<double>(timeIntervalSince1970());
  return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970));
}

bool Date::isEqual(const Object& other) const {
  const auto* d = dynamic_cast<const Date*>(&other);
  return d != nullptr && d->seconds_ == seconds_;
}

std::size_t Date::hash() const { return std::hash<double>{}(seconds_); }

std::string Date::description() const {
  std::time_t seconds = static_cast<std::time_t>(std::floor(timeIntervalSince1970()));
  std::tm parts{};
  if (gmtime_r(&seconds, &parts) == nullptr) return StringWithFormat("%f", seconds_);
  return StringWithFormat("%04d-%02d-%02d %02d:%02d:%02d +0000", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                          parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace fnd
