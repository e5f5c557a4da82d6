#pragma once

// A screenshot of an app, with the identifier the screenshots service knows
// it by.

#include "interface/model/afx_resource.h"

namespace afx_resource_detail {

template <class Base>
class ScreenshotResourceTwin : public Base {
 public:
  AFXResourceKind kind() const override { return AFXResourceKindScreenshot; }
  const std::optional<std::string>& screenshotsServiceIdentifier() const { return screenshotsServiceIdentifier_; }
  void setScreenshotsServiceIdentifier(std::optional<std::string> identifier) {
    screenshotsServiceIdentifier_ = std::move(identifier);
  }

  static std::vector<fnd::Class::Property> ownProperties() {
    return {afx_model_detail::memberProperty("screenshotsServiceIdentifier",
                                             &ScreenshotResourceTwin::screenshotsServiceIdentifier_)};
  }
  static void addOwnProperties(QVClassReflection& reflection) {
    reflection.addPropertyForSelector("screenshotsServiceIdentifier", fnd::String::staticClass());
  }

 protected:
  ScreenshotResourceTwin() = default;

 private:
  std::optional<std::string> screenshotsServiceIdentifier_;
};

}  // namespace afx_resource_detail

class AFXCodedScreenshotResource final : public afx_resource_detail::ScreenshotResourceTwin<AFXCodedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedScreenshotResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url);
  static std::shared_ptr<AFXCodedScreenshotResource> resourceWithDownloadURL(std::shared_ptr<fnd::URL> url,
                                                                             const AFXApp& app);

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedScreenshotResource() = default;
};

class AFXManagedScreenshotResource final
    : public afx_resource_detail::ScreenshotResourceTwin<AFXManagedAppResource> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedScreenshotResource::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "ScreenshotResource"; }

 private:
  AFXManagedScreenshotResource() = default;
};
