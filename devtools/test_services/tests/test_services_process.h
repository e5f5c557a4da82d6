#pragma once

// korvia-test-services as a second process of a test, on the test's private
// bus. Tests that use it define KORVIA_TEST_SERVICES_TOOL, the program's path.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devtools/ipc_echo/tests/private_bus.h"
#include "foundation/process.h"
#include "interface/interprocess/afx_desktop_client_constants.h"

namespace korvia_test_services {

inline constexpr std::string_view kPublishedServiceNames[] = {
    AFXSystemManagementServiceName, AFXAppsManagementServiceName, AFXUIManagementServiceName,
    AFXRemoteConfigurationServiceName, AFXRecommendationsServiceName};

// Answers from the script at `scriptPath` and logs into `logFolder`; null,
// with a test failure, when it does not come up with all five services.
inline std::shared_ptr<fnd::Process> startTestServices(const std::string& scriptPath, const std::string& logFolder) {
  fnd::ProcessLaunchOptions options;
  options.executablePath = KORVIA_TEST_SERVICES_TOOL;
  options.arguments = {"--script", scriptPath, "--log", logFolder};
  auto process = fnd::Process::launch(options);
  EXPECT_TRUE(process);
  if (!process) return nullptr;
  for (const auto name : kPublishedServiceNames) {
    if (!ipc_echo_testing::waitForOwner(std::string(name))) {
      ADD_FAILURE() << "no owner of " << name;
      (*process)->kill();
      return nullptr;
    }
  }
  return *process;
}

// Gives up the names first, so that the next test's process can take them.
inline void stopTestServices(std::shared_ptr<fnd::Process>& process) {
  if (!process) return;
  for (const auto name : kPublishedServiceNames) ipc_echo_testing::PrivateBus::shared().stopOwnerOf(std::string(name));
  process->kill();
  process.reset();
}

}  // namespace korvia_test_services
