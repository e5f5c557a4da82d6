#pragma once

// An update of the desktop client itself.

#include <string_view>

#include "foundation/date.h"
#include "foundation/expected.h"
#include "interface/model/afx_resource.h"

class AFXInternalUpdateResource : public virtual AFXResource {
 public:
  virtual const std::optional<std::string>& version() const = 0;
  virtual const std::shared_ptr<fnd::Date>& downloadedDate() const = 0;
  virtual const std::optional<std::string>& minOSVersion() const = 0;
};

namespace afx_resource_detail {

template <class Base>
class InternalUpdateResourceTwin : public Base, public virtual AFXInternalUpdateResource {
 public:
  AFXResourceKind kind() const override { return AFXResourceKindInternalAppUpdate; }
  const std::optional<std::string>& version() const override { return version_; }
  void setVersion(std::optional<std::string> version) { version_ = std::move(version); }
  const std::shared_ptr<fnd::Date>& downloadedDate() const override { return downloadedDate_; }
  void setDownloadedDate(std::shared_ptr<fnd::Date> date) { downloadedDate_ = std::move(date); }
  const std::optional<std::string>& minOSVersion() const override { return minOSVersion_; }
  void setMinOSVersion(std::optional<std::string> version) { minOSVersion_ = std::move(version); }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("version", &InternalUpdateResourceTwin::version_),
            memberProperty("downloadedDate", &InternalUpdateResourceTwin::downloadedDate_),
            memberProperty("minOSVersion", &InternalUpdateResourceTwin::minOSVersion_)};
  }
  static void addOwnProperties(QVClassReflection& reflection) {
    reflection.addPropertyForSelector("version", fnd::String::staticClass());
    reflection.addPropertyForSelector("downloadedDate", fnd::Date::staticClass());
    reflection.addPropertyForSelector("minOSVersion", fnd::String::staticClass());
  }

 protected:
  InternalUpdateResourceTwin() = default;

 private:
  std::optional<std::string> version_;
  std::shared_ptr<fnd::Date> downloadedDate_;
  std::optional<std::string> minOSVersion_;
};

}  // namespace afx_resource_detail

class AFXCodedInternalUpdateResource final
    : public afx_resource_detail::InternalUpdateResourceTwin<AFXCodedResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedInternalUpdateResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedInternalUpdateResource() = default;
};

class AFXManagedInternalUpdateResource final
    : public afx_resource_detail::InternalUpdateResourceTwin<AFXManagedResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedInternalUpdateResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "InternalUpdateResource"; }

 private:
  AFXManagedInternalUpdateResource() = default;
};

// Whether this system may install the update: true without a minimum
// version or when the system is not older than it; otherwise the
// incompatible-internal-version error.
[[nodiscard]] fnd::Expected<void> AFXVerifyInternalUpdateVersionSupport(const AFXInternalUpdateResource& resource);
// The same against a given system version.
[[nodiscard]] fnd::Expected<void> AFXVerifyInternalUpdateVersionSupport(const AFXInternalUpdateResource& resource,
                                                                        std::string_view currentOSVersion);
