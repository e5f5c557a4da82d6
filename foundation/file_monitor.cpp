#include "foundation/file_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace fnd {

namespace {

constexpr std::uint32_t kWriteEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO;

Error posixError(int code) { return Error(NSPOSIXErrorDomain, code); }

}  // namespace

// What the watching thread and the handler's blocks share: the handler stays
// callable until the monitor is cancelled.
struct FileMonitor::Shared {
  Queue queue;
  std::function<void()> handler;
  std::atomic<bool> cancelled{false};
};

Expected<std::shared_ptr<FileMonitor>> FileMonitor::create(const std::string& path, Queue queue,
                                                           std::function<void()> handler) {
  const std::filesystem::path file(path);
  const std::string folder = file.parent_path().empty() ? "." : file.parent_path().string();
  const int inotifyDescriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyDescriptor < 0) return posixError(errno);
  if (::inotify_add_watch(inotifyDescriptor, folder.c_str(), kWriteEvents | IN_ONLYDIR) < 0) {
    const int code = errno;
    ::close(inotifyDescriptor);
    return posixError(code);
  }
  const int stopDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopDescriptor < 0) {
    const int code = errno;
    ::close(inotifyDescriptor);
    return posixError(code);
  }
  std::shared_ptr<Shared> shared(new Shared{std::move(queue), std::move(handler)});
  std::shared_ptr<FileMonitor> monitor(new FileMonitor(path, std::move(shared), stopDescriptor));
  monitor->thread_ = std::thread(&FileMonitor::run, monitor.get(), inotifyDescriptor, file.filename().string());
  return monitor;
}

FileMonitor::FileMonitor(std::string path, std::shared_ptr<Shared> shared, int stopDescriptor)
    : path_(std::move(path)), shared_(std::move(shared)), stopDescriptor_(stopDescriptor) {}

FileMonitor::~FileMonitor() {
  cancel();
  ::close(stopDescriptor_);
}

void FileMonitor::cancel() {
  shared_->cancelled = true;
  if (!thread_.joinable()) return;
  const std::uint64_t one = 1;
  while (::write(stopDescriptor_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
}

void FileMonitor::run(int inotifyDescriptor, std::string fileName) {
  alignas(inotify_event) char buffer[16 * 1024];
  pollfd descriptors[2] = {{inotifyDescriptor, POLLIN, 0}, {stopDescriptor_, POLLIN, 0}};
  while (!shared_->cancelled) {
    if (::poll(descriptors, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (descriptors[1].revents) break;
    bool touched = false;
    for (ssize_t length; (length = ::read(inotifyDescriptor, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && fileName == event->name) touched = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    if (!touched) continue;
    // One call per batch: a burst of writes is one change to re-examine.
    shared_->queue.async([shared = shared_] {
      if (!shared->cancelled) shared->handler();
    });
  }
  ::close(inotifyDescriptor);
}

}  // namespace fnd
