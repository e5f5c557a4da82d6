#include "interface/launchpad/afx_launchpad_watch_params_holder.h"

#include <utility>

#include "foundation/bundle.h"
#include "foundation/check.h"

AFXLaunchpadWatchParamsHolder::AFXLaunchpadWatchParamsHolder(std::shared_ptr<fnd::URL> appURL, std::string groupName)
    : appURL_(std::move(appURL)), groupName_(std::move(groupName)) {
  FND_PARAMETER_ASSERT(appURL_);
  watchGroup_.enter();
  if (auto bundle = fnd::Bundle::bundleWithPath(appURL_->path())) {
    std::string identifier = bundle->bundleIdentifier();
    if (!identifier.empty()) appBundleID_ = std::move(identifier);
  }
}
