#include "desktop_client/afx_reference_client_installation.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "foundation/file_manager.h"
#include "foundation/ipc/bus.h"
#include "foundation/process.h"
#include "foundation/search_paths.h"
#include "interface/client_services/afx_push_notifications_delivery.h"
#include "interface/interprocess/afx_desktop_client_constants.h"

extern char** environ;

namespace {

constexpr std::string_view kServiceNames[] = {AFXSystemManagementServiceName,    AFXAppsManagementServiceName,
                                              AFXUIManagementServiceName,        AFXRemoteConfigurationServiceName,
                                              AFXRecommendationsServiceName,     AFXPushNotificationsServiceName};

// One word of a D-Bus "Exec" line, which is split like a shell command.
std::string quoted(std::string_view word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

bool isShared(std::string_view variable) {
  for (std::string_view prefix : {"KORVIA_", "XDG_", "HOME=", "TMPDIR=", "SSL_CERT_", "CURL_CA_BUNDLE=", "LANG",
                                  "LC_", "DBUS_SESSION_BUS_ADDRESS=", "PATH="}) {
    if (variable.starts_with(prefix)) return true;
  }
  return false;
}

fnd::Expected<void> reloadBus() {
  auto bus = fnd::ipc::Bus::shared();
  if (!bus) return bus.error();
  return (*bus)->reloadConfig();
}

}  // namespace

std::string AFXReferenceClientActivationFolder() {
  return fnd::environmentValue(AFXReferenceClientActivationFolderVariable)
      .value_or(fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport) + "/dbus-1/services");
}

std::string AFXReferenceClientStateFolder() {
  return fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport) + "/Korvia";
}

std::vector<std::string> AFXReferenceClientActivationFiles() {
  std::vector<std::string> files;
  for (auto name : kServiceNames) files.push_back(AFXReferenceClientActivationFolder() + "/" + std::string(name) + ".service");
  return files;
}

std::string AFXReferenceClientActivationFileText(std::string_view serviceName, std::string_view executable,
                                                 const std::vector<std::string>& environment) {
  std::string exec = "/usr/bin/env";
  for (const auto& variable : environment) {
    // A line break would end the Exec key early.
    if (variable.find('\n') == std::string::npos) exec += " " + quoted(variable);
  }
  exec += " " + quoted(executable) + " " + std::string(AFXReferenceClientServerArgument);
  return "[D-BUS Service]\nName=" + std::string(serviceName) + "\nExec=" + exec + "\n";
}

std::vector<std::string> AFXReferenceClientSharedEnvironment() {
  std::vector<std::string> shared;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (isShared(*entry)) shared.emplace_back(*entry);
  }
  return shared;
}

fnd::Expected<void> AFXReferenceClientWriteActivationFiles(const std::string& executable) {
  if (auto made = fnd::FileManager::defaultManager().createDirectoryAtPath(AFXReferenceClientActivationFolder(), true); !made) {
    return made.error();
  }
  const auto environment = AFXReferenceClientSharedEnvironment();
  const auto files = AFXReferenceClientActivationFiles();
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string temporary = files[i] + ".new";
    {
      std::ofstream out(temporary, std::ios::trunc);
      out << AFXReferenceClientActivationFileText(kServiceNames[i], executable, environment);
      if (!out.flush()) return fnd::Error(fnd::NSCocoaErrorDomain, 512, {{fnd::Value(fnd::NSFilePathErrorKey), fnd::Value(files[i])}});
    }
    // Replaced in one step, so the bus never reads half a file.
    if (::rename(temporary.c_str(), files[i].c_str()) != 0) {
      return fnd::Error(fnd::NSCocoaErrorDomain, 512, {{fnd::Value(fnd::NSFilePathErrorKey), fnd::Value(files[i])}});
    }
  }
  return reloadBus();
}

fnd::Expected<void> AFXReferenceClientRemoveActivationFiles() {
  for (const auto& file : AFXReferenceClientActivationFiles()) ::unlink(file.c_str());
  return reloadBus();
}
