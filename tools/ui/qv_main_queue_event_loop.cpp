#include "tools/ui/qv_main_queue_event_loop.h"

#include <QCoreApplication>
#include <QPointer>
#include <atomic>

#include "foundation/check.h"
#include "foundation/queue.h"

namespace {

// One posted drain at a time however many blocks arrive meanwhile; the flag
// is cleared before draining so a block queued during the drain posts again.
std::atomic<bool> drainPosted{false};

void postDrain() {
  if (drainPosted.exchange(true)) return;
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) {
    drainPosted = false;
    return;
  }
  QMetaObject::invokeMethod(
      application,
      [] {
        drainPosted = false;
        fnd::MainLoop::runUntilIdle();
      },
      Qt::QueuedConnection);
}

}  // namespace

void QVDriveMainQueueFromEventLoop() {
  FND_PARAMETER_ASSERT(fnd::MainLoop::isMainThread() && QCoreApplication::instance());
  fnd::MainLoop::setWakeUpHandler(postDrain);
  // Blocks queued before the handler was installed.
  drainPosted = false;
  postDrain();
}

void QVStopDrivingMainQueue() { fnd::MainLoop::setWakeUpHandler(nullptr); }
