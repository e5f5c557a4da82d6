// korvia-test-services: publishes the desktop client's five services and
// answers every request from a script a test writes.
//
//   korvia-test-services --script PATH --log FOLDER
//
// Each call is logged to FOLDER as NNNNNN.plist before it is answered; the
// script is read again for every call. Runs until killed.

#include <atomic>
#include <cstdio>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "devtools/test_services/test_services_script.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/queue.h"
#include "interface/client_services/afx_desktop_client_servers.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/services/afx_services_factory.h"

namespace {

using namespace korvia_test_services;

class ScriptedService final : public AFXFamilyService {
 public:
  ScriptedService(std::string scriptPath, std::string logFolder)
      : scriptPath_(std::move(scriptPath)), logFolder_(std::move(logFolder)) {}

  void performFamilyOperation(AFXFamilyCall call) override {
    log(call);
    auto script = readScript(scriptPath_);
    if (!script) {
      call.finish(script.error());
      return;
    }
    const auto found = script->answers.find(call.operation->name());
    const ScriptedAnswer answer = found == script->answers.end() ? ScriptedAnswer{} : found->second;
    if (answer.hang) {
      std::lock_guard lock(mutex_);
      hanging_.push_back(std::move(call));
      return;
    }
    if (call.report) {
      for (const auto& report : answer.reports) call.report(report);
    }
    post(answer.notifications);
    if (answer.error) {
      call.finish(*answer.error);
    } else {
      call.finish(answer.fields);
    }
  }

 private:
  void log(const AFXFamilyCall& call) {
    std::ostringstream name;
    name << logFolder_ << "/" << std::setw(6) << std::setfill('0') << nextCall_++ << ".plist";
    LoggedCall logged{call.operation->name(), call.serviceID ? call.serviceID->description() : std::string(),
                      call.arguments, call.reportStreamID != nullptr};
    if (auto written = writeCall(logged, name.str()); !written) {
      std::fprintf(stderr, "cannot log a call: %s\n", written.error().description().c_str());
    }
  }

  static void post(const std::vector<ScriptedNotification>& notifications) {
    if (notifications.empty()) return;
    auto center = fnd::DistributedNotificationCenter::defaultCenter();
    if (!center) return;
    for (const auto& notification : notifications) {
      if (auto posted = (*center)->postNotificationName(notification.name, notification.object, notification.userInfo);
          !posted) {
        std::fprintf(stderr, "cannot post %s: %s\n", notification.name.c_str(), posted.error().description().c_str());
      }
    }
  }

  const std::string scriptPath_;
  const std::string logFolder_;
  std::atomic<unsigned> nextCall_{0};
  std::mutex mutex_;
  std::vector<AFXFamilyCall> hanging_;
};

int usage() {
  std::fprintf(stderr, "usage: korvia-test-services --script PATH --log FOLDER\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scriptPath, logFolder;
  for (int index = 1; index + 1 < argc; index += 2) {
    const std::string option = argv[index];
    if (option == "--script") {
      scriptPath = argv[index + 1];
    } else if (option == "--log") {
      logFolder = argv[index + 1];
    } else {
      return usage();
    }
  }
  if (scriptPath.empty() || logFolder.empty()) return usage();

  auto delegate = std::make_shared<AFXDesktopClientServersDelegate>(std::make_shared<ScriptedService>(scriptPath, logFolder));
  auto factory = AFXServicesFactory::initWithServicesClasses(
      AFXDesktopClientServerClasses(), "KorviaDesktopClient", delegate);
  if (!factory) return std::fprintf(stderr, "cannot publish the services\n"), 69;
  fnd::MainLoop::run();
  return 0;
}
