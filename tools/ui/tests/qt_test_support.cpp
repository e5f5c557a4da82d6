#include "tools/ui/tests/qt_test_support.h"

#include <QCoreApplication>
#include <cstdlib>
#include <thread>

#include "foundation/queue.h"
#include "tools/ui/qv_main_queue_event_loop.h"

// Fontconfig keeps what it allocates behind encoded pointers that the leak
// checker cannot follow; every widget test that lays out text reaches it.
// On a real display Qt's accessibility bridge keeps a D-Bus message buffer
// for the life of the process.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

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

ManualTime::ManualTime() {
  application();
  heartbeat_.setStartValue(0.0);
  heartbeat_.setEndValue(1.0);
  heartbeat_.setDuration(1000);
  heartbeat_.setLoopCount(-1);
  heartbeat_.start();
}

void ManualTime::advance(std::chrono::milliseconds step) {
  constexpr std::chrono::milliseconds kFrame{16};
  settle();
  while (step.count() > 0) {
    const auto now = std::min(step, kFrame);
    const std::size_t scheduled = clock_.pendingTaskCount();
    clock_.advance(now);
    step -= now;
    // Something fired: what it queued elsewhere lands before time moves on.
    if (clock_.pendingTaskCount() != scheduled) settle();
    driver_.advance();
    processEvents();
  }
}

void ManualTime::settle() {
  std::size_t last = clock_.pendingTaskCount();
  int quietRounds = 0;
  for (int round = 0; round < 50 && quietRounds < 5; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    processEvents();
    const std::size_t now = clock_.pendingTaskCount();
    quietRounds = now == last ? quietRounds + 1 : 0;
    last = now;
  }
}

void processEvents() {
  // Events may queue blocks and blocks may post events: settle when a round
  // of events leaves no block behind.
  for (int round = 0; round < 100; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Outside a running event loop deferred deletions wait to be asked for.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (fnd::MainLoop::runUntilIdle() == 0) return;
  }
}

}  // namespace qv_test
