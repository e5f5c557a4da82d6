// korvia-installer: installs the featured app through the desktop client.
//
//   korvia-installer               the installer's window
//   korvia-installer --headless [--launch]
//
// SIGINT or SIGTERM asks the window to quit, as the menu does. Headless, the
// installation runs with one line per change on stdout
// ("<state> <progress> <status>"), then "ready" or "failed: <error>".
// SIGINT or SIGTERM stops the installation, undoing it, before exiting.
// With --launch the app is opened through the client once ready.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <QApplication>

#include "foundation/process.h"
#include "foundation/queue.h"
#include "installer/afx_installation_manager.h"
#include "installer/presentation/afx_installer_app_delegate.h"
#include "installer/presentation/afx_installer_presentation.h"
#include "tools/ui/qv_main_queue_event_loop.h"

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
  std::fprintf(stderr, "usage: korvia-installer [--headless [--launch]]\n");
  return 64;
}

// With $KORVIA_INSTALLER_REPORT_FIRST_FRAME set, prints "first-frame" once
// the window has painted, for start-up measurements.
class FirstFrameReporter final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      QMetaObject::invokeMethod(
          this,
          [] {
            std::printf("first-frame\n");
            std::fflush(stdout);
          },
          Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool reported_ = false;
};

int runWindowed(int argc, char** argv) {
  QApplication application(argc, argv);
  QVDriveMainQueueFromEventLoop();
  AFXRegisterInstallerPresentationClasses();
  int status = 1;
  {
    AFXInstallerAppDelegate delegate;
    if (!delegate.loadMainMenu()) std::fprintf(stderr, "korvia-installer: the main menu resource is missing\n");
    if (delegate.applicationDidFinishLaunching()) {
      if (fnd::environmentValue("KORVIA_INSTALLER_REPORT_FIRST_FRAME")) {
        QWidget* window = delegate.installationWindowController()->window();
        window->installEventFilter(new FirstFrameReporter(window));
      }
      status = application.exec();
    } else {
      std::fprintf(stderr, "korvia-installer: the window's resources are missing\n");
    }
  }
  QVStopDrivingMainQueue();
  return status;
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
  if (launch && !headless) return usage();
  // Blocked before any thread exists, so only the waiters below take them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  if (!headless) {
    // A stop signal is a request to quit like any other: mid-installation
    // the window asks first.
    std::thread([stopSignals] {
      for (;;) {
        int received = 0;
        if (sigwait(&stopSignals, &received) != 0) return;
        fnd::Queue::main().async([] { AFXTerminateApplication(); });
      }
    }).detach();
    return runWindowed(argc, argv);
  }

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
