#pragma once

// An app's icon.

#include "interface/model/afx_resource.h"

class AFXCodedAppIconResource final : public AFXCodedAppResource {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXCodedAppIconResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedAppIconResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                          const AFXApp& app);

  AFXResourceKind kind() const override { return AFXResourceKindAppIcon; }
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedAppIconResource() = default;
};

class AFXManagedAppIconResource final : public AFXManagedAppResource {
 public:
  static const fnd::Class& staticClass();

  AFXResourceKind kind() const override { return AFXResourceKindAppIcon; }
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedAppIconResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "AppIconResource"; }

 private:
  AFXManagedAppIconResource() = default;
};
