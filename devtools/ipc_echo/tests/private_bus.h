#pragma once

// A session bus of the test program's own: a dbus-daemon whose service
// directory is a temporary folder, so tests can install activatable services
// without touching the user's data folders. It starts before the first test
// and replaces DBUS_SESSION_BUS_ADDRESS for this process and its children.

#include <sys/types.h>

#include <string>

namespace ipc_echo_testing {

struct PrivateBus {
  bool running = false;
  std::string address;
  std::string root;  // temporary folder: services/, markers
  pid_t pid = 0;

  static PrivateBus& shared();
  // Writes NAME.service that starts `korvia-ipc-echo serve NAME` and makes the
  // daemon read it.
  bool installEchoService(const std::string& name) const;
  // Kills the process owning `name`, if any, and waits until the name is free.
  void stopOwnerOf(const std::string& name) const;
};

std::string uniqueServiceName(const char* what);
// Waits (bounded) until someone owns `name`.
bool waitForOwner(const std::string& name);

}  // namespace ipc_echo_testing

#define REQUIRE_PRIVATE_BUS()                                                                            \
  do {                                                                                                   \
    if (!::ipc_echo_testing::PrivateBus::shared().running)                                               \
      GTEST_SKIP() << "No session bus: DBUS_SESSION_BUS_ADDRESS is unset (run under dbus-run-session)"; \
  } while (false)
