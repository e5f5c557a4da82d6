#pragma once

// An update of the vendor's app from one app version to another. The managed
// twin reaches both versions through relationships.

#include "interface/model/afx_resource.h"

class AFXVendorUpdateResource : public virtual AFXAppResource {
 public:
  virtual std::optional<std::string> fromAppVersionID() const = 0;
  virtual std::optional<std::string> toAppVersionID() const = 0;
};

class AFXCodedVendorUpdateResource final : public AFXCodedAppResource, public virtual AFXVendorUpdateResource {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedVendorUpdateResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedVendorUpdateResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                               const AFXApp& app);

  AFXResourceKind kind() const override { return AFXResourceKindVendorAppUpdate; }
  std::optional<std::string> fromAppVersionID() const override { return fromAppVersionID_; }
  void setFromAppVersionID(std::optional<std::string> identifier) { fromAppVersionID_ = std::move(identifier); }
  std::optional<std::string> toAppVersionID() const override { return toAppVersionID_; }
  void setToAppVersionID(std::optional<std::string> identifier) { toAppVersionID_ = std::move(identifier); }

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedVendorUpdateResource() = default;
  std::optional<std::string> fromAppVersionID_;
  std::optional<std::string> toAppVersionID_;
};

class AFXManagedVendorUpdateResource final : public AFXManagedAppResource, public virtual AFXVendorUpdateResource {
 public:
  static const fnd::Class& staticClass();

  AFXResourceKind kind() const override { return AFXResourceKindVendorAppUpdate; }
  std::optional<std::string> fromAppVersionID() const override;
  std::optional<std::string> toAppVersionID() const override;
  std::shared_ptr<AFXManagedModelObject> fromAppVersion() const { return fromAppVersion_.lock(); }
  std::shared_ptr<AFXManagedModelObject> toAppVersion() const { return toAppVersion_.lock(); }

  void setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                          const fnd::Dictionary& appVersionByID) override;
  using AFXManagedAppResource::setupWithPrototype;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedVendorUpdateResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "VendorUpdateResource"; }

 private:
  AFXManagedVendorUpdateResource() = default;
  std::weak_ptr<AFXManagedModelObject> fromAppVersion_;
  std::weak_ptr<AFXManagedModelObject> toAppVersion_;
};
