#pragma once

// The installer of an app's teaser, in one teaser version. The version is
// kept in either scheme (see afx_teaser_version.h) and read in both.

#include <cstdint>
#include <vector>

#include "foundation/number.h"
#include "interface/model/afx_resource.h"
#include "interface/model/afx_teaser_version.h"

class AFXTeaserInstallResource : public virtual AFXAppResource {
 public:
  // The stored text, else the stored old number as "0.n", else "0.0".
  virtual std::string appVersion() const = 0;
  // The stored old number, else the old-scheme reading of the text, else 0.
  virtual std::int64_t teaserAppVersion() const = 0;
};

namespace afx_resource_detail {

template <class Base>
class TeaserInstallResourceTwin : public Base, public virtual AFXTeaserInstallResource {
 public:
  AFXResourceKind kind() const override { return AFXResourceKindTeaserAppInstall; }
  std::string appVersion() const override {
    if (appVersion_) return *appVersion_;
    if (teaserAppVersion_) return AFXTeaserVersionFromOldTeaserVersion(*teaserAppVersion_);
    return "0.0";
  }
  std::int64_t teaserAppVersion() const override {
    if (teaserAppVersion_) return *teaserAppVersion_;
    if (appVersion_) return AFXTeaserVersionToOldTeaserVersion(*appVersion_);
    return 0;
  }
  void setAppVersion(std::optional<std::string> version) { appVersion_ = std::move(version); }
  void setTeaserAppVersion(std::optional<std::int64_t> version) { teaserAppVersion_ = version; }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::computedProperty;
    return {computedProperty("teaserAppVersion", &TeaserInstallResourceTwin::teaserAppVersion_,
                             [](const TeaserInstallResourceTwin& o) { return fnd::Value(o.teaserAppVersion()); }),
            computedProperty("appVersion", &TeaserInstallResourceTwin::appVersion_,
                             [](const TeaserInstallResourceTwin& o) { return fnd::Value(o.appVersion()); })};
  }
  static void addOwnProperties(QVClassReflection& reflection) {
    reflection.addPropertyForSelector("teaserAppVersion", fnd::Number::staticClass());
    reflection.addPropertyForSelector("appVersion", fnd::String::staticClass());
  }

 protected:
  TeaserInstallResourceTwin() = default;

 private:
  std::optional<std::int64_t> teaserAppVersion_;
  std::optional<std::string> appVersion_;
};

}  // namespace afx_resource_detail

class AFXCodedTeaserInstallResource final
    : public afx_resource_detail::TeaserInstallResourceTwin<AFXCodedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedTeaserInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedTeaserInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                                const AFXApp& app);
  // Identified by the URL followed by the version text, so each teaser
  // version is a resource of its own.
  static std::shared_ptr<AFXCodedTeaserInstallResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                                const AFXApp& app,
                                                                                std::string teaserAppVersion);

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedTeaserInstallResource() = default;
};

class AFXManagedTeaserInstallResource final
    : public afx_resource_detail::TeaserInstallResourceTwin<AFXManagedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedTeaserInstallResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "TeaserInstallResource"; }

 private:
  AFXManagedTeaserInstallResource() = default;
};

// The teaser install resource of the highest version, the first met winning
// ties; null when there is none. Other kinds are passed over.
fnd::Value AFXLatestTeaserInstallResourceFromResources(const std::vector<fnd::Value>& resources);
