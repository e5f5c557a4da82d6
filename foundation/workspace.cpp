#include "foundation/workspace.h"

#include <cstdlib>

#include "foundation/queue.h"

namespace fnd {

Workspace& Workspace::sharedWorkspace() {
  static Workspace workspace;
  return workspace;
}

std::string Workspace::openCommand() {
  const char* command = std::getenv(std::string(kWorkspaceOpenCommandVariable).c_str());
  if (command != nullptr && *command != '\0') return command;
  return "xdg-open";
}

Expected<std::shared_ptr<Process>> Workspace::launchOpenerForURL(const URL& url) {
  ProcessLaunchOptions options;
  options.executablePath = openCommand();
  // A bare name is a program on PATH, as a shell would find it.
  options.searchPath = options.executablePath.find('/') == std::string::npos;
  options.arguments = {url.absoluteString()};
  return Process::launch(std::move(options));
}

bool Workspace::openURL(const URL& url) {
  auto opener = launchOpenerForURL(url);
  if (!opener) return false;
  // Openers hand the URL over and exit; nobody waits for them, so the
  // handler only collects the exit status.
  (*opener)->setTerminationHandler(Queue::global(), [](const ProcessTermination&) {});
  return true;
}

}  // namespace fnd
