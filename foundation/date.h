#pragma once

#include <chrono>
#include <memory>

#include "foundation/object.h"

namespace fnd {

// A moment as seconds since the reference date 2001-01-01 00:00:00 UTC.
class Date final : public Object {
 public:
  static constexpr double kTimeIntervalBetween1970AndReferenceDate = 978307200.0;

  static const Class& staticClass();

  // Now on the installed clock's wall time.
  static std::shared_ptr<Date> now();
  static std::shared_ptr<Date> dateWithTimeIntervalSinceReferenceDate(double seconds);
  static std::shared_ptr<Date> dateWithTimeIntervalSince1970(double seconds);
  static std::shared_ptr<Date> dateWithTimePoint(std::chrono::system_clock::time_point point);

  double timeIntervalSinceReferenceDate() const { return seconds_; }
  double timeIntervalSince1970() const { return seconds_ + kTimeIntervalBetween1970AndReferenceDate; }
  double timeIntervalSinceDate(const Date& other) const { return seconds_ - other.seconds_; }
  std::chrono::system_clock::time_point timePoint() const;

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  // "2001-01-01 00:00:00 +0000".
  std::string description() const override;

 private:
  explicit Date(double seconds) : seconds_(seconds) {}

  double seconds_;
};

}  // namespace fnd
