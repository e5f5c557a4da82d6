#pragma once

// An update of an app's teaser from one old-scheme teaser version to another.

#include <cstdint>

#include "foundation/number.h"
#include "interface/model/afx_resource.h"

namespace afx_resource_detail {

template <class Base>
class TeaserUpdateResourceTwin : public Base {
 public:
  AFXResourceKind kind() const override { return AFXResourceKindTeaserAppUpdate; }
  const std::optional<std::int64_t>& fromTeaserAppVersion() const { return fromTeaserAppVersion_; }
  void setFromTeaserAppVersion(std::optional<std::int64_t> version) { fromTeaserAppVersion_ = version; }
  const std::optional<std::int64_t>& toTeaserAppVersion() const { return toTeaserAppVersion_; }
  void setToTeaserAppVersion(std::optional<std::int64_t> version) { toTeaserAppVersion_ = version; }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("fromTeaserAppVersion", &TeaserUpdateResourceTwin::fromTeaserAppVersion_),
            memberProperty("toTeaserAppVersion", &TeaserUpdateResourceTwin::toTeaserAppVersion_)};
  }
  static void addOwnProperties(QVClassReflection& reflection) {
    reflection.addPropertyForSelector("fromTeaserAppVersion", fnd::Number::staticClass());
    reflection.addPropertyForSelector("toTeaserAppVersion", fnd::Number::staticClass());
  }

 protected:
  TeaserUpdateResourceTwin() = default;

 private:
  std::optional<std::int64_t> fromTeaserAppVersion_;
  std::optional<std::int64_t> toTeaserAppVersion_;
};

}  // namespace afx_resource_detail

class AFXCodedTeaserUpdateResource final : public afx_resource_detail::TeaserUpdateResourceTwin<AFXCodedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedTeaserUpdateResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedTeaserUpdateResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                               const AFXApp& app);

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedTeaserUpdateResource() = default;
};

class AFXManagedTeaserUpdateResource final
    : public afx_resource_detail::TeaserUpdateResourceTwin<AFXManagedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedTeaserUpdateResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "TeaserUpdateResource"; }

 private:
  AFXManagedTeaserUpdateResource() = default;
};
