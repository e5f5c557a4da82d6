#pragma once

// Where the reference desktop client keeps what makes it reachable: the
// D-Bus activation files of its six service names (the five services and the
// push notifications receiver) (in the user's
// "dbus-1/services" data folder, each starting the client's executable with
// "-xpcServer" in the environment of whoever set it up), and its state
// folder. Set up by "-silentLaunch", taken down by the uninstaller.

#include <string>
#include <vector>

#include "foundation/expected.h"

inline constexpr std::string_view AFXReferenceClientServerArgument = "-xpcServer";

// A bus of its own (a test's, the demo's) names its service folder here.
inline constexpr std::string_view AFXReferenceClientActivationFolderVariable = "KORVIA_DBUS_SERVICES_DIR";
// $KORVIA_DBUS_SERVICES_DIR when set, else "$XDG_DATA_HOME/dbus-1/services".
std::string AFXReferenceClientActivationFolder();
// "$XDG_DATA_HOME/Korvia".
std::string AFXReferenceClientStateFolder();
// The six files, "<service name>.service".
std::vector<std::string> AFXReferenceClientActivationFiles();

// The text of one activation file. The variables of `environment`
// ("NAME=value") are passed on, so the started client sees the same
// folders and servers as the process that set it up.
std::string AFXReferenceClientActivationFileText(std::string_view serviceName, std::string_view executable,
                                                 const std::vector<std::string>& environment);
// The variables of this process that an activated client must share.
std::vector<std::string> AFXReferenceClientSharedEnvironment();

// Writes (or re-points) the six files at `executable` and has the bus read
// them again.
[[nodiscard]] fnd::Expected<void> AFXReferenceClientWriteActivationFiles(const std::string& executable);
[[nodiscard]] fnd::Expected<void> AFXReferenceClientRemoveActivationFiles();
