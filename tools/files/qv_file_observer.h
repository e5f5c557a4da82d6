#pragma once

#include "foundation/url.h"

class QVFileMonitor;

// Told of every write to a monitored file, on the monitor's queue.
class QVFileObserver {
 public:
  virtual ~QVFileObserver() = default;
  virtual void fileMonitorDidObserveChange(QVFileMonitor& monitor, const fnd::URL& fileURL) = 0;
};
