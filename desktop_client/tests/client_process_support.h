#pragma once

// For tests that run the assembled client as processes of its own: a sandbox
// with every user and system folder inside it, the client's bundle put into
// its applications folder, the client's programs run there, and a look at
// the client's shared preferences as the processes left them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/process.h"
#include "foundation/search_paths.h"
#include "foundation/user_defaults.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace client_test {

namespace fs = std::filesystem;

inline std::string assembledClient() { return std::string(KORVIA_BUNDLES_DIR) + "/Korvia.app"; }

// An executable shell script.
inline void writeScript(const std::string& path, const std::string& body) {
  std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body;
  ::chmod(path.c_str(), 0755);
}

class ClientSandbox {
 public:
  ClientSandbox() {
    sandbox.set("XDG_CONFIG_HOME", home() + "/.config");
    sandbox.set("XDG_STATE_HOME", home() + "/.local/state");
    fs::create_directories(dataHome());
    fs::create_directories(applications());
  }

  std::string home() const { return sandbox.root() + "/home"; }
  std::string dataHome() const { return home() + "/.local/share"; }
  std::string configHome() const { return home() + "/.config"; }
  std::string stateFolder() const { return dataHome() + "/Korvia"; }
  std::string applications() const { return fnd::SearchPaths::path(fnd::SearchPathLocation::applications); }
  std::string installedClient() const { return applications() + "/Korvia.app"; }

  // The assembled bundle in the applications folder, as the installer
  // unpacks it; linked rather than copied, since nothing writes into it.
  void installClient() const {
    std::error_code linked;
    fs::copy(assembledClient(), installedClient(), fs::copy_options::recursive | fs::copy_options::create_hard_links, linked);
    if (linked) {
      fs::remove_all(installedClient());
      fs::copy(assembledClient(), installedClient(), fs::copy_options::recursive);
    }
  }

  // Runs a program of the installed client (or `executable` itself when it
  // is absolute) and waits for it.
  fnd::ProcessTermination run(const std::string& executable, std::vector<std::string> arguments = {}) const {
    fnd::ProcessLaunchOptions options;
    options.executablePath = executable.starts_with("/") ? executable : installedClient() + "/Contents/MacOS/" + executable;
    options.arguments = std::move(arguments);
    options.captureStandardOutput = true;
    options.captureStandardError = true;
    auto ran = fnd::Process::run(std::move(options));
    EXPECT_TRUE(ran) << executable;
    return ran ? *ran : fnd::ProcessTermination{};
  }

  // The keys of the client's shared preferences as they are on disk now.
  static std::vector<std::string> sharedPreferenceKeys() {
    std::vector<std::string> keys;
    auto stored = fnd::UserDefaults::persistentDomainForName(AFXDesktopClientSharedPreferencesSuiteName);
    for (const auto& [key, value] : stored->entries()) keys.push_back(key.stringValue().value_or(""));
    return keys;
  }
  static bool hasSharedPreferenceContaining(std::string_view part) {
    for (const auto& key : sharedPreferenceKeys()) {
      if (key.find(part) != std::string::npos) return true;
    }
    return false;
  }

  unarchiver_test::Sandbox sandbox;
};

inline std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Waits (bounded) until `condition` holds.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace client_test
