#include "tools/ui/tests/qt_test_support.h"

#include <QCoreApplication>
#include <cstdlib>

#include "foundation/queue.h"
#include "tools/ui/qv_main_queue_event_loop.h"

namespace qv_test {

QApplication& application() {
  static QApplication* instance = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char program[] = "korvia-widget-tests";
    static char* argv[] = {program, nullptr};
    auto* made = new QApplication(argc, argv);
    QVDriveMainQueueFromEventLoop();
    return made;
  }();
  return *instance;
}

ManualAnimationDriver::ManualAnimationDriver(fnd::ManualClock& clock) : clock_(clock), origin_(clock.now()) {
  install();
}

ManualAnimationDriver::~ManualAnimationDriver() { uninstall(); }

qint64 ManualAnimationDriver::elapsed() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - origin_).count();
}

ManualTime::ManualTime() { application(); }

void ManualTime::advance(std::chrono::milliseconds step) {
  constexpr std::chrono::milliseconds kFrame{16};
  while (step.count() > 0) {
    const auto now = std::min(step, kFrame);
    clock_.advance(now);
    step -= now;
    driver_.advance();
    processEvents();
  }
}

void processEvents() {
  // Events may queue blocks and blocks may post events: settle when a round
  // of events leaves no block behind.
  for (int round = 0; round < 100; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (fnd::MainLoop::runUntilIdle() == 0) return;
  }
}

}  // namespace qv_test
