#include "interface/placement/afx_put_app.h"

#include <future>
#include <vector>

#include "foundation/check.h"
#include "foundation/process.h"
#include "foundation/uuid.h"
#include "foundation/launch_services.h"
#include "interface/errors/afx_errors.h"
#include "interface/launchpad/afx_launchpad_watcher.h"
#include "interface/placement/afx_permissions.h"
#include "interface/placement/afx_quarantine.h"
#include "interface/placement/afx_unpack.h"
#include "logging/dd_log_macros.h"

namespace {

constexpr std::string_view kDestinationKind = "destination url for installation";
constexpr std::string_view kSourceKind = "source url for putting app in place";

// Clean-up actions of one placement: run once, newest first, however the
// placement ends.
class CleanupChain {
 public:
  CleanupChain() = default;
  CleanupChain(const CleanupChain&) = delete;
  CleanupChain& operator=(const CleanupChain&) = delete;
  ~CleanupChain() {
    for (auto action = actions_.rbegin(); action != actions_.rend(); ++action) (*action)();
  }
  void add(std::function<void()> action) { actions_.push_back(std::move(action)); }

 private:
  std::vector<std::function<void()>> actions_;
};

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

bool itemExists(const std::string& path) { return files().attributesOfItemAtPath(path).hasValue(); }

void removeLater(CleanupChain& chain, const std::shared_ptr<fnd::URL>& folder) {
  chain.add([folder] { (void)files().removeItemAtURL(*folder); });
}

fnd::Expected<void> put(const fnd::URL& source, const fnd::URL& destination, bool move) {
  return move ? files().moveItemAtURL(source, destination) : files().copyItemAtURL(source, destination);
}

// Puts the source into a hidden folder beside the destination and waits
// until the Launchpad lists it in the destination's group (or gives up).
// The routed copy becomes the source; it is the placement's own to move.
void routeThroughLaunchpad(std::shared_ptr<fnd::URL>& source, bool& move, const fnd::URL& destination,
                           double launchpadTimeout, CleanupChain& chain) {
  auto group = AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(destination);
  if (!group) return;
  // Hidden on Linux means a leading dot.
  auto folder = destination.URLByDeletingLastPathComponent()->URLByAppendingPathComponent(
      "._tmp_" + fnd::UUID::make()->UUIDString(), true);
  if (!files().createDirectoryAtURL(*folder, true)) return;
  auto routed = folder->URLByAppendingPathComponent(destination.lastPathComponent(), true);
  if (!put(*source, *routed, move)) {
    (void)files().removeItemAtURL(*folder);
    return;
  }
  std::promise<long> outcome;
  AFXLaunchpadWatcher::create()->watchForAppAppearance(routed, *group, launchpadTimeout,
                                                       [&outcome](long result) { outcome.set_value(result); });
  switch (outcome.get_future().get()) {
    case AFXLaunchpadWatchOutcomeAppeared:
      DDLogInfo("Launchpad: %@ appeared in group", routed->lastPathComponent());
      break;
    case AFXLaunchpadWatchOutcomeTimedOut:
      DDLogInfo("Launchpad: time is out for %@", routed->lastPathComponent());
      break;
    default:
      DDLogInfo("Launchpad: database is not compatible");
      break;
  }
  source = routed;
  move = true;
  removeLater(chain, folder);
}

std::optional<fnd::Error> stepDone(const AFXPutAppTesting& testing, AFXPutAppStep step) {
  return testing.afterStep ? testing.afterStep(step) : std::nullopt;
}

fnd::Expected<std::shared_ptr<fnd::URL>> putApp(std::shared_ptr<fnd::URL> source, const std::shared_ptr<fnd::URL>& destination,
                                                bool move, bool addToLaunchpadGroup, double launchpadTimeout,
                                                const AFXPutAppTesting& testing) {
  CleanupChain chain;
  if (!destination || !destination->isFileURL() || destination->path().empty() || destination->path() == "/") {
    return afx_makeErrorOfMissingObjectOfKind(kDestinationKind);
  }
  const std::string destinationPath = destination->path();
  (void)files().createDirectoryAtURL(*destination->URLByDeletingLastPathComponent(), true);

  std::shared_ptr<AFXAttributesStorage> replacedAttributes;
  if (itemExists(destinationPath)) replacedAttributes = AFXAttributesStorage::storageForURL(*destination);
  if (auto injected = stepDone(testing, AFXPutAppStep::attributesSaved)) return *injected;

  if (!source || !source->isFileURL() || !itemExists(source->path())) return afx_makeErrorOfMissingObjectOfKind(kSourceKind);
  if (addToLaunchpadGroup) {
    routeThroughLaunchpad(source, move, *destination, launchpadTimeout, chain);
    if (auto injected = stepDone(testing, AFXPutAppStep::routed)) return *injected;
  }

  // A copy is built beside the destination, so that putting it in place is
  // one rename; a moved source is renamed (or staged by the replacement
  // itself when it lies on another file system).
  std::shared_ptr<fnd::URL> newItem = source;
  if (!move) {
    auto staging = files().itemReplacementDirectoryAppropriateForURL(*destination);
    if (!staging) return staging.error();
    removeLater(chain, *staging);
    newItem = (*staging)->URLByAppendingPathComponent(destination->lastPathComponent(), true);
    if (auto copied = files().copyItemAtURL(*source, *newItem); !copied) return copied.error();
    if (auto injected = stepDone(testing, AFXPutAppStep::staged)) return *injected;
  }

  auto placed = files().replaceItemAtURLForTesting(*destination, *newItem, std::nullopt,
                                                   {.usingNewMetadataOnly = true}, testing.replacement);
  if (!placed) return placed.error();
  if (auto injected = stepDone(testing, AFXPutAppStep::placed)) return *injected;

  AFXPerformPostPutActions(*destination, replacedAttributes);
  if (auto injected = stepDone(testing, AFXPutAppStep::postActionsDone)) return *injected;
  return destination;
}

// The unarchiver's own folder in the temporary folder, which holds the app.
std::shared_ptr<fnd::URL> unpackingFolderOf(const fnd::URL& app) {
  const std::string temporary = files().temporaryDirectory()->path() + "/";
  const std::string path = app.path();
  if (!path.starts_with(temporary)) return nullptr;
  const std::string rest = path.substr(temporary.size());
  const auto slash = rest.find('/');
  if (slash == std::string::npos || slash == 0) return nullptr;
  return fnd::URL::fileURLWithPath(temporary + rest.substr(0, slash), true);
}

}  // namespace

fnd::Expected<std::shared_ptr<fnd::URL>> AFXPutApp(const std::shared_ptr<fnd::URL>& source,
                                                   const std::shared_ptr<fnd::URL>& destination, bool move,
                                                   bool addToLaunchpadGroup, double launchpadTimeout,
                                                   const AFXPutAppTesting& testing) {
  auto placed = putApp(source, destination, move, addToLaunchpadGroup, launchpadTimeout, testing);
  if (!placed) DDLogError("Error while installing app at url %@: %@", destination, placed.error());
  return placed;
}

fnd::Expected<std::shared_ptr<fnd::URL>> AFXCopyApp(const std::shared_ptr<fnd::URL>& source,
                                                    const std::shared_ptr<fnd::URL>& destination,
                                                    bool addToLaunchpadGroup) {
  return AFXPutApp(source, destination, false, addToLaunchpadGroup, AFXPutAppLaunchpadTimeout);
}

fnd::Expected<std::shared_ptr<fnd::URL>> AFXMoveApp(const std::shared_ptr<fnd::URL>& source,
                                                    const std::shared_ptr<fnd::URL>& destination,
                                                    bool addToLaunchpadGroup) {
  return AFXPutApp(source, destination, true, addToLaunchpadGroup, AFXPutAppLaunchpadTimeout);
}

void AFXPerformPostPutActions(const fnd::URL& bundleURL, const std::shared_ptr<AFXAttributesStorage>& replacedAttributes) {
  std::optional<fnd::Error> lastError;
  (void)AFXFixPermissionsRecursive(bundleURL, [&lastError](const fnd::Error& error) {
    lastError = error;
    return true;
  });
  if (lastError) DDLogError("Did fail to fix permissions for app %@ with error %@", bundleURL, *lastError);
  (void)AFXRemoveFromQuarantine(bundleURL.path());
  if (replacedAttributes) replacedAttributes->setAttributesForURL(bundleURL);
  (void)fnd::LaunchServices::registerURL(bundleURL, true);
  fnd::ProcessLaunchOptions import;
  import.executablePath = "mdimport";
  import.searchPath = true;
  import.arguments = {bundleURL.path()};
  // Without the importer installed there is nothing to tell.
  (void)fnd::Process::launch(std::move(import));
}

fnd::Expected<std::shared_ptr<fnd::URL>> AFXInstallApp(const std::shared_ptr<fnd::URL>& archiveURL,
                                                       const std::shared_ptr<fnd::URL>& destination,
                                                       bool appendAppName, AFXValidation validation,
                                                       bool addToLaunchpadGroup,
                                                       const std::function<void(double)>& progress) {
  FND_PARAMETER_ASSERT(archiveURL != nullptr);
  auto report = [&progress](double fraction) {
    if (progress) progress(fraction);
  };
  auto app = AFXUnpack(archiveURL, [&report](double fraction) { report(0.8 * fraction); });
  if (!app) return app.error();
  CleanupChain chain;
  if (auto folder = unpackingFolderOf(**app)) removeLater(chain, folder);

  std::optional<fnd::Error> invalid;
  if (!AFXValidateApp(*app, validation, &invalid)) {
    return invalid ? *invalid : afx_makeErrorOfMissingObjectOfKind("valid app");
  }
  report(0.9);
  std::shared_ptr<fnd::URL> target = destination;
  if (appendAppName && destination) target = destination->URLByAppendingPathComponent((*app)->lastPathComponent(), true);
  auto placed = AFXMoveApp(*app, target, addToLaunchpadGroup);
  report(1.0);
  return placed;
}
