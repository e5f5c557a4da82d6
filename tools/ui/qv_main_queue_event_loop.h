#pragma once

// A Qt application's event loop drives the main queue: blocks queued on
// fnd::Queue::main() from any thread run on the GUI thread, between events.

// Installs the wake-up handler. Call once the QApplication exists, on the
// main thread.
void QVDriveMainQueueFromEventLoop();
// Removes it (before the QApplication goes away).
void QVStopDrivingMainQueue();
