#pragma once

// The installer of the vendor's app for one app version. The managed twin
// reaches the version through its `appVersion` relationship.

#include <vector>

#include "interface/model/afx_resource.h"

class AFXVendorInstallResource : public virtual AFXAppResource {
 public:
  virtual std::optional<std::string> appVersionID() const = 0;
};

class AFXCodedVendorInstallResource final : public AFXCodedAppResource, public virtual AFXVendorInstallResource {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedVendorInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedVendorInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                                const AFXApp& app);
  // Identified by the URL followed by the version identifier: one URL may
  // serve several versions.
  static std::shared_ptr<AFXCodedVendorInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                                const AFXApp& app,
                                                                                std::string appVersionID);

  AFXResourceKind kind() const override { return AFXResourceKindVendorAppInstall; }
  std::optional<std::string> appVersionID() const override { return appVersionID_; }
  void setAppVersionID(std::optional<std::string> identifier) { appVersionID_ = std::move(identifier); }

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedVendorInstallResource() = default;
  std::optional<std::string> appVersionID_;
};

class AFXManagedVendorInstallResource final : public AFXManagedAppResource, public virtual AFXVendorInstallResource {
 public:
  static const fnd::Class& staticClass();

  AFXResourceKind kind() const override { return AFXResourceKindVendorAppInstall; }
  // The linked version's identifier.
  std::optional<std::string> appVersionID() const override;
  std::shared_ptr<AFXManagedModelObject> appVersion() const { return appVersion_.lock(); }
  void setAppVersion(const std::shared_ptr<AFXManagedModelObject>& version) { appVersion_ = version; }

  void setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                          const fnd::Dictionary& appVersionByID) override;
  using AFXManagedAppResource::setupWithPrototype;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedVendorInstallResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "VendorInstallResource"; }

 private:
  AFXManagedVendorInstallResource() = default;
  std::weak_ptr<AFXManagedModelObject> appVersion_;
};

// The vendor install resource of `version` (an app version record); without
// one, the resource of the highest version identifier, the first met winning
// ties; null when there is no vendor install resource at all.
fnd::Value AFXVendorInstallResourceForVersion(const fnd::Object& version, const std::vector<fnd::Value>& resources);
