#pragma once

// A monitor per file URL that tells its observers of every write to the
// file. Observers are held weakly; the monitor's state lives on its own
// serial queue, where observers are called.

#include <memory>
#include <vector>

#include "foundation/expected.h"
#include "foundation/file_monitor.h"
#include "foundation/queue.h"
#include "foundation/url.h"
#include "tools/files/qv_file_observer.h"

class QVFileMonitor : public std::enable_shared_from_this<QVFileMonitor> {
 public:
  // Fails when the file's folder cannot be watched.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<QVFileMonitor>> monitorWithFileURL(std::shared_ptr<fnd::URL> url);
  ~QVFileMonitor();

  const std::shared_ptr<fnd::URL>& fileURL() const { return fileURL_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  void addObserver(std::weak_ptr<QVFileObserver> observer);
  void removeObserver(const std::shared_ptr<QVFileObserver>& observer);

 private:
  explicit QVFileMonitor(std::shared_ptr<fnd::URL> url);
  // On the internal queue.
  void notifyObservers();

  const std::shared_ptr<fnd::URL> fileURL_;
  const fnd::Queue internalQueue_;
  std::shared_ptr<fnd::FileMonitor> monitor_;
  // Confined to the internal queue.
  std::vector<std::weak_ptr<QVFileObserver>> observers_;
};
