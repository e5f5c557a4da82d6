#pragma once

// What widget tests share: one QApplication for the program (offscreen
// unless a display is given), the main queue driven by its event loop, and
// animations driven by the manual clock, so a 0.3-second animation ends when
// the test advances the clock by 0.3 s, not when real time has passed.

#include <QAbstractAnimation>
#include <QApplication>
#include <QVariantAnimation>
#include <chrono>
#include <memory>

#include "foundation/clock.h"

namespace qv_test {

// The program's QApplication, made on first use.
QApplication& application();

// Animations read the manual clock while this lives.
class ManualAnimationDriver final : public QAnimationDriver {
 public:
  explicit ManualAnimationDriver(fnd::ManualClock& clock);
  ~ManualAnimationDriver() override;
  qint64 elapsed() const override;

 private:
  fnd::ManualClock& clock_;
  fnd::Clock::TimePoint origin_;
};

// A manual clock installed as fnd's clock and as the animations' clock.
class ManualTime {
 public:
  ManualTime();
  // Moves the clock in small steps, running due main-queue blocks, timers
  // and animation frames and handling posted events after each step. The
  // clock holds still while work it set off on other queues lands, so that
  // work reads the time it was due at.
  void advance(std::chrono::milliseconds step);
  fnd::ManualClock& clock() { return clock_; }

 private:
  // Waits (a few milliseconds of real time, at most 50) until the clock's
  // scheduled tasks stop changing, handling events meanwhile.
  void settle();

  fnd::ManualClock clock_;
  fnd::ScopedClockOverride override_{clock_};
  ManualAnimationDriver driver_{clock_};
  // Qt stops its animation timer when no animation runs and, started again,
  // hands the first new animation the whole idle stretch of the clock at
  // once. An endless animation keeps the timer ticking with the clock.
  QVariantAnimation heartbeat_;
};

// Handles posted events and main-queue blocks until neither has work.
void processEvents();

}  // namespace qv_test
