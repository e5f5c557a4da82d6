#pragma once

// What widget tests share: one QApplication for the program (offscreen
// unless a display is given), the main queue driven by its event loop, and
// animations driven by the manual clock, so a 0.3-second animation ends when
// the test advances the clock by 0.3 s, not when real time has passed.

#include <QAbstractAnimation>
#include <QApplication>
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
  // and animation frames and handling posted events after each step.
  void advance(std::chrono::milliseconds step);
  fnd::ManualClock& clock() { return clock_; }

 private:
  fnd::ManualClock clock_;
  fnd::ScopedClockOverride override_{clock_};
  ManualAnimationDriver driver_{clock_};
};

// Handles posted events and main-queue blocks until neither has work.
void processEvents();

}  // namespace qv_test
