#pragma once

// One deployment of the service as this machine sees it: its identifier, its
// endpoints manifest and the local folders in which the deployment's apps,
// teaser apps, databases and downloaded resources live.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_endpoints_manifest.h"
#include "interface/model/afx_environment_id.h"

class AFXEnvironment final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null identifier is a programming error. The folders are unset; see
  // AFXEndpointsManifest::makeEnvironmentWithID.
  static std::shared_ptr<AFXEnvironment> initWithIdentifier(std::shared_ptr<AFXEnvironmentID> identifier,
                                                            std::shared_ptr<AFXEndpointsManifest> manifest);

  const std::shared_ptr<AFXEnvironmentID>& identifier() const { return identifier_; }
  const std::shared_ptr<AFXEndpointsManifest>& endpointsManifest() const { return endpointsManifest_; }
  const std::shared_ptr<fnd::URL>& URLForAppsDirectory() const { return appsDirectory_; }
  const std::shared_ptr<fnd::URL>& URLForPersistentDirectory() const { return persistentDirectory_; }
  const std::shared_ptr<fnd::URL>& URLForResourcesDirectory() const { return resourcesDirectory_; }
  const std::shared_ptr<fnd::URL>& URLForTeasersDirectory() const { return teasersDirectory_; }
  void setURLForAppsDirectory(std::shared_ptr<fnd::URL> url) { appsDirectory_ = std::move(url); }
  void setURLForPersistentDirectory(std::shared_ptr<fnd::URL> url) { persistentDirectory_ = std::move(url); }
  void setURLForResourcesDirectory(std::shared_ptr<fnd::URL> url) { resourcesDirectory_ = std::move(url); }
  void setURLForTeasersDirectory(std::shared_ptr<fnd::URL> url) { teasersDirectory_ = std::move(url); }

  // The manifest's name.
  std::optional<std::string> name() const;
  // None for the default deployment, else "name (manifest host)".
  std::optional<std::string> displayName() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By identifier.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXEnvironment() = default;

  std::shared_ptr<AFXEnvironmentID> identifier_;
  std::shared_ptr<AFXEndpointsManifest> endpointsManifest_;
  std::shared_ptr<fnd::URL> appsDirectory_;
  std::shared_ptr<fnd::URL> persistentDirectory_;
  std::shared_ptr<fnd::URL> resourcesDirectory_;
  std::shared_ptr<fnd::URL> teasersDirectory_;
};

// Encrypted keyed archive of the environment, for other processes of ours.
std::vector<std::uint8_t> AFXEnvironmentGetSecureSerialization(const AFXEnvironment& environment);
// The environment, or null for bytes that are not one (another key, damage,
// another record).
std::shared_ptr<AFXEnvironment> AFXEnvironmentMakeFromSecureSerialization(std::span<const std::uint8_t> data);

// File-system domains, as the platform numbers them.
enum QVSearchPathDomainMask : unsigned {
  QVUserDomainMask = 1,
  QVLocalDomainMask = 2,
};

// The first writable applications folder of the domains (the user's first),
// making the user's when it is missing; null when none is writable.
std::shared_ptr<fnd::URL> QVAcceptableURLDomainMask(unsigned domainMask);

namespace afx_environment_detail {

// The deployments' apps folder, computed afresh: the first writable
// applications folder of the local, then the user domain, plus "Korvia";
// "/Applications/Korvia" when neither is writable.
std::shared_ptr<fnd::URL> appsDirectoryURL();
// "/Users/Shared/Korvia/Apps" made a world-writable (0777) folder, replacing
// anything else at its path. Failures are ignored; the URL is returned.
std::shared_ptr<fnd::URL> ensureTeasersDirectoryURL();
// The user's application-support folder + "Korvia" + directory name + leaf,
// made with its parents (failures ignored).
std::shared_ptr<fnd::URL> environmentDirectoryURL(const AFXEnvironmentID& identifier, std::string_view leaf);

}  // namespace afx_environment_detail
