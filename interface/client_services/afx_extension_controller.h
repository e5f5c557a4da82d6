#pragma once

// Switching one of the client's file-manager extensions on or off. Linux
// file managers have no common extension registry, so the election is
// recorded where the client's extension host reads it: the preferences
// domain "com.korvia.pluginkit", one key per extension, "use" or "ignore".

#include <memory>
#include <optional>
#include <string>

#include "foundation/url.h"

inline constexpr std::string_view AFXExtensionElectionsDomain = "com.korvia.pluginkit";

class AFXExtensionController {
 public:
  // From the extension bundle's identifier; none without one.
  static std::optional<AFXExtensionController> initWithURL(const fnd::URL& extensionURL);
  static AFXExtensionController initWithBundleID(std::string bundleID) { return AFXExtensionController(std::move(bundleID)); }
  AFXExtensionController() = delete;

  const std::string& bundleID() const { return bundleID_; }
  // The election as the registry lists it: "+" first means in use.
  std::string registryListing() const;
  bool isExtensionEnabled() const;
  void setExtensionEnabled(bool enabled) const;

 private:
  explicit AFXExtensionController(std::string bundleID) : bundleID_(std::move(bundleID)) {}
  std::string bundleID_;
};
