#pragma once

// Tells of writes to one file, through inotify on the file's folder, so a
// file that does not exist yet (a write-ahead log) or is replaced is still
// followed. The handler runs on the monitor's queue for every batch of
// changes seen; a cancelled or destroyed monitor calls it no more.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "foundation/expected.h"
#include "foundation/queue.h"

namespace fnd {

class FileMonitor {
 public:
  // Fails with a POSIX error when the folder cannot be watched.
  [[nodiscard]] static Expected<std::shared_ptr<FileMonitor>> create(const std::string& path, Queue queue,
                                                                     std::function<void()> handler);
  ~FileMonitor();
  FileMonitor(const FileMonitor&) = delete;
  FileMonitor& operator=(const FileMonitor&) = delete;

  const std::string& path() const { return path_; }
  // Waits for the watching thread; not from within the handler's own batch.
  void cancel();

 private:
  struct Shared;
  FileMonitor(std::string path, std::shared_ptr<Shared> shared, int stopDescriptor);
  void run(int inotifyDescriptor, std::string fileName);

  const std::string path_;
  std::shared_ptr<Shared> shared_;
  int stopDescriptor_;
  std::thread thread_;
};

}  // namespace fnd
