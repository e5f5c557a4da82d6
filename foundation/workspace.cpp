#include "foundation/workspace.h"

#include <cstdlib>

#include "foundation/bundle.h"
#include "foundation/file_manager.h"
#include "foundation/launch_services.h"
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

namespace {

// Nobody waits for what the workspace starts; the handler only collects the
// exit status.
bool startedWithoutWaiting(const Expected<std::shared_ptr<Process>>& process) {
  if (!process) return false;
  (*process)->setTerminationHandler(Queue::global(), [](const ProcessTermination&) {});
  return true;
}

}  // namespace

bool Workspace::openURL(const URL& url) { return startedWithoutWaiting(launchOpenerForURL(url)); }

bool Workspace::openURL(const URL& url, const URL& applicationURL) {
  return startedWithoutWaiting(launchApplicationAtURLForURL(applicationURL, url));
}

Expected<std::shared_ptr<Process>> Workspace::launchApplicationAtURLForURL(const URL& applicationURL, const URL& url) {
  auto bundle = applicationURL.isFileURL() ? Bundle::bundleWithPath(applicationURL.path()) : nullptr;
  auto executable = bundle ? bundle->executablePath() : std::nullopt;
  if (!executable || !FileManager::defaultManager().fileExistsAtPath(*executable)) {
    return Error(NSOSStatusErrorDomain, kLSApplicationNotFoundErr,
                 {{Value(NSURLErrorKey), Value(applicationURL.absoluteString())}});
  }
  ProcessLaunchOptions options;
  options.executablePath = *executable;
  options.arguments = {url.absoluteString()};
  return Process::launch(std::move(options));
}

std::shared_ptr<URL> Workspace::URLForApplicationWithBundleIdentifier(std::string_view bundleIdentifier) const {
  auto urls = LaunchServices::URLsForApplicationsWithBundleIdentifier(bundleIdentifier);
  return urls.empty() ? nullptr : urls.front();
}

}  // namespace fnd
