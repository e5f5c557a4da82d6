#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/group.h"
#include "foundation/url.h"

// One request to watch for an app inside a Launchpad group. Its wait group
// is entered once when the request is made and left when the app appears.
class AFXLaunchpadWatchParamsHolder {
 public:
  // Reads the app's bundle identifier from its information dictionary now.
  AFXLaunchpadWatchParamsHolder(std::shared_ptr<fnd::URL> appURL, std::string groupName);

  const std::shared_ptr<fnd::URL>& appURL() const { return appURL_; }
  const std::string& groupName() const { return groupName_; }
  const fnd::Group& watchGroup() const { return watchGroup_; }
  // None when the bundle names no identifier.
  const std::optional<std::string>& appBundleID() const { return appBundleID_; }

 private:
  const std::shared_ptr<fnd::URL> appURL_;
  const std::string groupName_;
  const fnd::Group watchGroup_;
  std::optional<std::string> appBundleID_;
};
