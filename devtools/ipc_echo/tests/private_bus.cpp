#include "devtools/ipc_echo/tests/private_bus.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "foundation/ipc/bus.h"
#include "foundation/process.h"

namespace ipc_echo_testing {
namespace {

class PrivateBusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    PrivateBus& bus = PrivateBus::shared();
    // Without an outer session the suite skips, as every bus test does.
    if (!fnd::ipc::Bus::isSessionBusConfigured()) return;
    char pattern[] = "/tmp/korvia-ipc-echo-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    bus.root = pattern;
    std::filesystem::create_directories(bus.root + "/services");
    std::ofstream(bus.root + "/session.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:dir=" << bus.root << "</listen>"
        << "<servicedir>" << bus.root << "/services</servicedir>"
        << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    fnd::ProcessLaunchOptions options;
    options.executablePath = "dbus-daemon";
    options.searchPath = true;
    options.arguments = {"--config-file=" + bus.root + "/session.conf", "--fork", "--print-address=1",
                         "--print-pid=1"};
    options.captureStandardOutput = true;
    auto run = fnd::Process::run(options);
    if (!run || run->status != 0) return;
    std::istringstream lines(std::string(run->standardOutput.begin(), run->standardOutput.end()));
    std::string pidText;
    std::getline(lines, bus.address);
    std::getline(lines, pidText);
    bus.pid = static_cast<pid_t>(std::atoi(pidText.c_str()));
    if (bus.address.empty() || bus.pid <= 0) return;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
    bus.running = true;
    // At exit, after this process has left the bus (handlers registered
    // later run first), so nothing here sees the daemon go.
    std::atexit([] {
      PrivateBus& shared = PrivateBus::shared();
      if (shared.pid > 0) ::kill(shared.pid, SIGTERM);
      std::error_code ignored;
      std::filesystem::remove_all(shared.root, ignored);
    });
  }
};

const ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PrivateBusEnvironment);

}  // namespace

PrivateBus& PrivateBus::shared() {
  static PrivateBus bus;
  return bus;
}

bool PrivateBus::installEchoService(const std::string& name) const {
  std::ofstream(root + "/services/" + name + ".service")
      << "[D-BUS Service]\nName=" << name << "\nExec=/usr/bin/env 'DBUS_SESSION_BUS_ADDRESS=" << address << "' '"
      << KORVIA_IPC_ECHO_TOOL << "' serve " << name << "\n";
  auto shared = fnd::ipc::Bus::shared();
  return shared && (*shared)->reloadConfig();
}

void PrivateBus::stopOwnerOf(const std::string& name) const {
  try {
    auto connection = sdbus::createSessionBusConnection();
    auto daemon = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    std::uint32_t processID = 0;
    daemon->callMethod("GetConnectionUnixProcessID").onInterface("org.freedesktop.DBus").withArguments(name).storeResultsTo(processID);
    if (processID > 0) ::kill(static_cast<pid_t>(processID), SIGKILL);
  } catch (const sdbus::Error&) {
    return;  // nobody owns it
  }
  auto shared = fnd::ipc::Bus::shared();
  for (int i = 0; i < 500 && shared; ++i) {
    auto owner = (*shared)->nameOwner(name);
    if (!owner || owner->empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string uniqueServiceName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("com.korvia.test.echo.") + what + "P" + std::to_string(::getpid()) + "N" + std::to_string(++counter);
}

bool waitForOwner(const std::string& name) {
  auto shared = fnd::ipc::Bus::shared();
  for (int i = 0; i < 1000 && shared; ++i) {
    auto owner = (*shared)->nameOwner(name);
    if (owner && !owner->empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace ipc_echo_testing
