// korvia-installer: installs the featured app through the desktop client.
//
//   korvia-installer --headless [--launch]
//
// Headless, the installation runs with one line per change on stdout
// ("<state> <progress> <status>"), then "ready" or "failed: <error>".
// SIGINT or SIGTERM stops the installation, undoing it, before exiting.
// With --launch the app is opened through the client once ready. The
// windowed installer is started without --headless once it exists; until
// then that asks for --headless.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "foundation/queue.h"
#include "installer/afx_installation_manager.h"

namespace {

constexpr std::int64_t kFeaturedAppID = 246;

const char* statusText(AFXInstallationState state) {
  if (state <= AFXInstallationStateDownloadFailed) return "downloading";
  if (state < AFXInstallationStateReady) return "installing";
  return "ready";
}

// Prints a change of state or of the progress's tenth of a percent.
class ProgressPrinter {
 public:
  void report(AFXInstallationState state, double progress) {
    const long permille = static_cast<long>(progress * 1000);
    std::lock_guard lock(mutex_);
    if (state == lastState_ && permille == lastPermille_) return;
    lastState_ = state;
    lastPermille_ = permille;
    std::printf("%lld %.3f %s\n", static_cast<long long>(state), progress, statusText(state));
    std::fflush(stdout);
  }

 private:
  std::mutex mutex_;
  AFXInstallationState lastState_ = -1;
  long lastPermille_ = -1;
};

int usage() {
  std::fprintf(stderr, "usage: korvia-installer --headless [--launch]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false, launch = false;
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], "--headless") == 0) {
      headless = true;
    } else if (std::strcmp(argv[index], "--launch") == 0) {
      launch = true;
    } else {
      return usage();
    }
  }
  if (!headless) return usage();

  // Blocked before any thread exists, so only the waiter below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto manager = AFXInstallationManager::initWithAppID(kFeaturedAppID);
  ProgressPrinter printer;
  std::atomic<int> status{1};
  manager->installWithProgressBlock(
      [&printer](AFXInstallationState state, double progress) { printer.report(state, progress); },
      [&status, manager, launch](const std::optional<fnd::Error>& error) {
        if (error) {
          std::printf("failed: %s\n", error->description().c_str());
          fnd::Queue::main().async([] { fnd::MainLoop::quit(); });
          return;
        }
        std::printf("ready\n");
        status.store(0);
        if (!launch) {
          fnd::Queue::main().async([] { fnd::MainLoop::quit(); });
          return;
        }
        manager->launchWithCallback([](bool opened) {
          std::printf(opened ? "launched\n" : "not launched\n");
          fnd::Queue::main().async([] { fnd::MainLoop::quit(); });
        });
      });

  std::thread([stopSignals, manager, &status] {
    int received = 0;
    if (sigwait(&stopSignals, &received) != 0) return;
    std::printf("stopping\n");
    std::fflush(stdout);
    manager->stopInstallationWithCallback([&status, received] {
      status.store(128 + received);
      fnd::Queue::main().async([] { fnd::MainLoop::quit(); });
    });
  }).detach();

  fnd::MainLoop::run();
  std::fflush(stdout);
  return status.load();
}
