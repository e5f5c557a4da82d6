#pragma once

// Putting an app bundle at its final place and making it usable there.
//
// The destination always holds the old bundle or the new one, whenever the
// process stops: the new bundle is built beside the destination and swapped
// in with one atomic exchange (FileManager::replaceItemAtURL), so the copy
// being replaced is its own backup until the swap has happened. Everything
// here blocks the calling thread; callers use a work queue.

#include <functional>
#include <memory>
#include <optional>

#include "foundation/expected.h"
#include "foundation/file_manager.h"
#include "foundation/url.h"
#include "interface/placement/afx_attributes_storage.h"
#include "interface/validation/afx_validation.h"

// How long AFXCopyApp and AFXMoveApp wait for the Launchpad, in seconds.
inline constexpr double AFXPutAppLaunchpadTimeout = 10;

// Copies (or moves) the bundle to `destination`, the full path it gets. With
// `addToLaunchpadGroup` the bundle first goes through a hidden folder beside
// the destination until the Launchpad lists it in the destination's group.
// The result is the destination.
[[nodiscard]] fnd::Expected<std::shared_ptr<fnd::URL>> AFXCopyApp(const std::shared_ptr<fnd::URL>& source,
                                                                  const std::shared_ptr<fnd::URL>& destination,
                                                                  bool addToLaunchpadGroup);
[[nodiscard]] fnd::Expected<std::shared_ptr<fnd::URL>> AFXMoveApp(const std::shared_ptr<fnd::URL>& source,
                                                                  const std::shared_ptr<fnd::URL>& destination,
                                                                  bool addToLaunchpadGroup);

// The steps of a placement, for tests that fail or stop the process after
// each one in turn.
enum class AFXPutAppStep {
  attributesSaved,  // the replaced bundle's attributes are read
  routed,           // the bundle sits in the hidden Launchpad folder
  staged,           // a copy of the source sits beside the destination
  placed,           // the destination holds the new bundle
  postActionsDone,  // permissions, quarantine, attributes, registration
};

struct AFXPutAppTesting {
  // Returning an error makes the placement fail as if the step had.
  std::function<std::optional<fnd::Error>(AFXPutAppStep)> afterStep;
  fnd::ItemReplacementTesting replacement;
};

[[nodiscard]] fnd::Expected<std::shared_ptr<fnd::URL>> AFXPutApp(const std::shared_ptr<fnd::URL>& source,
                                                                 const std::shared_ptr<fnd::URL>& destination, bool move,
                                                                 bool addToLaunchpadGroup, double launchpadTimeout,
                                                                 const AFXPutAppTesting& testing = {});

// What a placed bundle needs to be usable: open permissions, no quarantine
// mark, the attributes of the bundle it replaced, its registration with
// Launch Services, and the metadata import (`mdimport`, when installed,
// not waited for). None of them fails the placement.
void AFXPerformPostPutActions(const fnd::URL& bundleURL, const std::shared_ptr<AFXAttributesStorage>& replacedAttributes);

// Unpacks the archive, validates the app in it and moves it to `destination`
// (or into it, under the app's own name, with `appendAppName`). `progress`
// sees 0.8 of the unpacking, 0.9 after validation and 1.0 at the end. The
// first failure of the three is the result; nothing is placed when unpacking
// or validation fails. The unpacking folder is removed either way.
[[nodiscard]] fnd::Expected<std::shared_ptr<fnd::URL>> AFXInstallApp(const std::shared_ptr<fnd::URL>& archiveURL,
                                                                     const std::shared_ptr<fnd::URL>& destination,
                                                                     bool appendAppName, AFXValidation validation,
                                                                     bool addToLaunchpadGroup,
                                                                     const std::function<void(double)>& progress);
