#include "interface/client_services/afx_extension_controller.h"

#include "foundation/bundle.h"
#include "foundation/user_defaults.h"
#include "logging/dd_log_macros.h"

std::optional<AFXExtensionController> AFXExtensionController::initWithURL(const fnd::URL& extensionURL) {
  auto bundle = fnd::Bundle::bundleWithPath(extensionURL.path());
  if (!bundle || bundle->bundleIdentifier().empty()) return std::nullopt;
  return AFXExtensionController(bundle->bundleIdentifier());
}

std::string AFXExtensionController::registryListing() const {
  auto elections = fnd::UserDefaults::create(AFXExtensionElectionsDomain);
  if (!elections) return "";
  (void)elections->synchronize();
  auto election = elections->stringForKey(bundleID_);
  if (!election) return "";
  return std::string(*election == "use" ? "+" : "-") + "    " + bundleID_ + "\n";
}

bool AFXExtensionController::isExtensionEnabled() const {
  const std::string listing = registryListing();
  return !listing.empty() && listing.front() == '+';
}

void AFXExtensionController::setExtensionEnabled(bool enabled) const {
  auto elections = fnd::UserDefaults::create(AFXExtensionElectionsDomain);
  if (!elections) return;
  if (auto stored = elections->setObject(fnd::Value(std::string(enabled ? "use" : "ignore")), bundleID_); !stored) {
    DDLogError("Cannot record the election of %@: %@", bundleID_, stored.error());
  }
}
