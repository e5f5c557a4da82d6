// The concrete resource classes of each kind, in both twins, and the
// look-ups over collections of them.

#include "foundation/check.h"
#include "interface/model/afx_app_icon_resource.h"
#include "interface/model/afx_internal_update_resource.h"
#include "interface/model/afx_screenshot_resource.h"
#include "interface/model/afx_teaser_install_resource.h"
#include "interface/model/afx_teaser_update_resource.h"
#include "interface/model/afx_vendor_install_resource.h"
#include "interface/model/afx_vendor_update_resource.h"
#include "interface/errors/afx_errors.h"
#include "tools/qv_system_info.h"
#include "tools/qv_version_comparator.h"

using afx_model_detail::defineModelClass;
using afx_model_detail::memberProperty;

namespace {

// A table over `Base`'s with the kind's own properties.
template <class Twin>
std::shared_ptr<QVClassReflection> extendedReflection(std::shared_ptr<QVClassReflection> reflection) {
  Twin::addOwnProperties(*reflection);
  return reflection;
}

// A read-only key-value property derived from a relationship.
template <class Owner>
fnd::Class::Property derivedTextProperty(std::string key, std::optional<std::string> (Owner::*getter)() const) {
  return {std::move(key),
          [getter](const fnd::Object& object) {
            const auto text = (dynamic_cast<const Owner&>(object).*getter)();
            return text ? fnd::Value(*text) : fnd::Value();
          },
          {}};
}

std::optional<std::string> identifierTextOf(const std::shared_ptr<AFXManagedModelObject>& object) {
  return object ? object->valueForKey("identifier").stringValue() : std::nullopt;
}

}  // namespace

// App icon

const fnd::Class& AFXCodedAppIconResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedAppIconResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedAppIconResource>(new AFXCodedAppIconResource); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXCodedAppIconResource> AFXCodedAppIconResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedAppIconResource>(std::move(url));
}

std::shared_ptr<AFXCodedAppIconResource> AFXCodedAppIconResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedAppIconResource>(std::move(url), app);
}

const fnd::Class& AFXCodedAppIconResource::classForManagedInstance() const {
  return AFXManagedAppIconResource::staticClass();
}

const fnd::Class& AFXManagedAppIconResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedAppIconResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedAppIconResource>(new AFXManagedAppIconResource); }, {}, nullptr);
  return cls;
}

// Screenshot

const fnd::Class& AFXCodedScreenshotResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedScreenshotResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedScreenshotResource>(new AFXCodedScreenshotResource); }, ownProperties(),
      &AFXCodedScreenshotResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedScreenshotResource::makeReflection() {
  return extendedReflection<AFXCodedScreenshotResource>(AFXCodedAppResource::makeReflection());
}

std::shared_ptr<AFXCodedScreenshotResource> AFXCodedScreenshotResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedScreenshotResource>(std::move(url));
}

std::shared_ptr<AFXCodedScreenshotResource> AFXCodedScreenshotResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedScreenshotResource>(std::move(url), app);
}

const fnd::Class& AFXCodedScreenshotResource::classForManagedInstance() const {
  return AFXManagedScreenshotResource::staticClass();
}

const fnd::Class& AFXManagedScreenshotResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedScreenshotResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedScreenshotResource>(new AFXManagedScreenshotResource); }, ownProperties(),
      &AFXManagedScreenshotResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedScreenshotResource::makeReflection() {
  return extendedReflection<AFXManagedScreenshotResource>(AFXManagedAppResource::makeReflection());
}

// Teaser install

const fnd::Class& AFXCodedTeaserInstallResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedTeaserInstallResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedTeaserInstallResource>(new AFXCodedTeaserInstallResource); },
      ownProperties(), &AFXCodedTeaserInstallResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedTeaserInstallResource::makeReflection() {
  return extendedReflection<AFXCodedTeaserInstallResource>(AFXCodedAppResource::makeReflection());
}

std::shared_ptr<AFXCodedTeaserInstallResource> AFXCodedTeaserInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedTeaserInstallResource>(std::move(url));
}

std::shared_ptr<AFXCodedTeaserInstallResource> AFXCodedTeaserInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedTeaserInstallResource>(std::move(url), app);
}

std::shared_ptr<AFXCodedTeaserInstallResource> AFXCodedTeaserInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app, std::string teaserAppVersion) {
  auto resource =
      AFXCodedAppResource::makeWithDownloadURL<AFXCodedTeaserInstallResource>(std::move(url), app, teaserAppVersion);
  resource->setAppVersion(std::move(teaserAppVersion));
  return resource;
}

const fnd::Class& AFXCodedTeaserInstallResource::classForManagedInstance() const {
  return AFXManagedTeaserInstallResource::staticClass();
}

const fnd::Class& AFXManagedTeaserInstallResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedTeaserInstallResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedTeaserInstallResource>(new AFXManagedTeaserInstallResource); },
      ownProperties(), &AFXManagedTeaserInstallResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedTeaserInstallResource::makeReflection() {
  return extendedReflection<AFXManagedTeaserInstallResource>(AFXManagedAppResource::makeReflection());
}

fnd::Value AFXLatestTeaserInstallResourceFromResources(const std::vector<fnd::Value>& resources) {
  fnd::Value latest;
  const AFXTeaserInstallResource* latestResource = nullptr;
  for (const auto& value : resources) {
    const auto* resource = dynamic_cast<const AFXTeaserInstallResource*>(value.get());
    if (resource == nullptr) continue;
    if (latestResource == nullptr ||
        QVVersionComparator::compareVersion(resource->appVersion(), latestResource->appVersion()) ==
            NSOrderedDescending) {
      latest = value;
      latestResource = resource;
    }
  }
  return latest;
}

// Teaser update

const fnd::Class& AFXCodedTeaserUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedTeaserUpdateResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedTeaserUpdateResource>(new AFXCodedTeaserUpdateResource); },
      ownProperties(), &AFXCodedTeaserUpdateResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedTeaserUpdateResource::makeReflection() {
  return extendedReflection<AFXCodedTeaserUpdateResource>(AFXCodedAppResource::makeReflection());
}

std::shared_ptr<AFXCodedTeaserUpdateResource> AFXCodedTeaserUpdateResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedTeaserUpdateResource>(std::move(url));
}

std::shared_ptr<AFXCodedTeaserUpdateResource> AFXCodedTeaserUpdateResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedTeaserUpdateResource>(std::move(url), app);
}

const fnd::Class& AFXCodedTeaserUpdateResource::classForManagedInstance() const {
  return AFXManagedTeaserUpdateResource::staticClass();
}

const fnd::Class& AFXManagedTeaserUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedTeaserUpdateResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedTeaserUpdateResource>(new AFXManagedTeaserUpdateResource); },
      ownProperties(), &AFXManagedTeaserUpdateResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedTeaserUpdateResource::makeReflection() {
  return extendedReflection<AFXManagedTeaserUpdateResource>(AFXManagedAppResource::makeReflection());
}

// Vendor install

const fnd::Class& AFXCodedVendorInstallResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedVendorInstallResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedVendorInstallResource>(new AFXCodedVendorInstallResource); },
      {memberProperty("appVersionID", &AFXCodedVendorInstallResource::appVersionID_)},
      &AFXCodedVendorInstallResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedVendorInstallResource::makeReflection() {
  auto reflection = AFXCodedAppResource::makeReflection();
  reflection->addPropertyForSelector("appVersionID", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXCodedVendorInstallResource> AFXCodedVendorInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedVendorInstallResource>(std::move(url));
}

std::shared_ptr<AFXCodedVendorInstallResource> AFXCodedVendorInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedVendorInstallResource>(std::move(url), app);
}

std::shared_ptr<AFXCodedVendorInstallResource> AFXCodedVendorInstallResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app, std::string appVersionID) {
  auto resource =
      AFXCodedAppResource::makeWithDownloadURL<AFXCodedVendorInstallResource>(std::move(url), app, appVersionID);
  resource->appVersionID_ = std::move(appVersionID);
  return resource;
}

const fnd::Class& AFXCodedVendorInstallResource::classForManagedInstance() const {
  return AFXManagedVendorInstallResource::staticClass();
}

const fnd::Class& AFXManagedVendorInstallResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedVendorInstallResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedVendorInstallResource>(new AFXManagedVendorInstallResource); },
      {derivedTextProperty("appVersionID", &AFXManagedVendorInstallResource::appVersionID)}, nullptr);
  return cls;
}

std::optional<std::string> AFXManagedVendorInstallResource::appVersionID() const {
  return identifierTextOf(appVersion_.lock());
}

void AFXManagedVendorInstallResource::setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                                                         const fnd::Dictionary& appVersionByID) {
  AFXManagedAppResource::setupWithPrototype(prototype, appByID, appVersionByID);
  appVersion_ = AFXManagedObjectForID(appVersionByID, prototype.valueForKey("appVersionID"));
}

fnd::Value AFXVendorInstallResourceForVersion(const fnd::Object& version, const std::vector<fnd::Value>& resources) {
  const auto wanted = version.valueForKey("identifier").stringValue();
  fnd::Value highest;
  std::optional<std::string> highestVersion;
  for (const auto& value : resources) {
    const auto* resource = dynamic_cast<const AFXVendorInstallResource*>(value.get());
    if (resource == nullptr) continue;
    const auto versionID = resource->appVersionID();
    if (wanted && versionID == wanted) return value;
    if (highest.isNil() ||
        QVVersionComparator::compareVersion(versionID.value_or(""), highestVersion.value_or("")) ==
            NSOrderedDescending) {
      highest = value;
      highestVersion = versionID;
    }
  }
  return highest;
}

// Vendor update

const fnd::Class& AFXCodedVendorUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedVendorUpdateResource", AFXCodedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedVendorUpdateResource>(new AFXCodedVendorUpdateResource); },
      {memberProperty("fromAppVersionID", &AFXCodedVendorUpdateResource::fromAppVersionID_),
       memberProperty("toAppVersionID", &AFXCodedVendorUpdateResource::toAppVersionID_)},
      &AFXCodedVendorUpdateResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedVendorUpdateResource::makeReflection() {
  auto reflection = AFXCodedAppResource::makeReflection();
  reflection->addPropertyForSelector("fromAppVersionID", fnd::String::staticClass());
  reflection->addPropertyForSelector("toAppVersionID", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXCodedVendorUpdateResource> AFXCodedVendorUpdateResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedVendorUpdateResource>(std::move(url));
}

std::shared_ptr<AFXCodedVendorUpdateResource> AFXCodedVendorUpdateResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url, const AFXApp& app) {
  return AFXCodedAppResource::makeWithDownloadURL<AFXCodedVendorUpdateResource>(std::move(url), app);
}

const fnd::Class& AFXCodedVendorUpdateResource::classForManagedInstance() const {
  return AFXManagedVendorUpdateResource::staticClass();
}

const fnd::Class& AFXManagedVendorUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedVendorUpdateResource", AFXManagedAppResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedVendorUpdateResource>(new AFXManagedVendorUpdateResource); },
      {derivedTextProperty("fromAppVersionID", &AFXManagedVendorUpdateResource::fromAppVersionID),
       derivedTextProperty("toAppVersionID", &AFXManagedVendorUpdateResource::toAppVersionID)},
      nullptr);
  return cls;
}

std::optional<std::string> AFXManagedVendorUpdateResource::fromAppVersionID() const {
  return identifierTextOf(fromAppVersion_.lock());
}

std::optional<std::string> AFXManagedVendorUpdateResource::toAppVersionID() const {
  return identifierTextOf(toAppVersion_.lock());
}

void AFXManagedVendorUpdateResource::setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                                                        const fnd::Dictionary& appVersionByID) {
  AFXManagedAppResource::setupWithPrototype(prototype, appByID, appVersionByID);
  fromAppVersion_ = AFXManagedObjectForID(appVersionByID, prototype.valueForKey("fromAppVersionID"));
  toAppVersion_ = AFXManagedObjectForID(appVersionByID, prototype.valueForKey("toAppVersionID"));
}

// Internal update

const fnd::Class& AFXCodedInternalUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXCodedInternalUpdateResource", AFXCodedResource::staticClass(),
      [] { return std::shared_ptr<AFXCodedInternalUpdateResource>(new AFXCodedInternalUpdateResource); },
      ownProperties(), &AFXCodedInternalUpdateResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedInternalUpdateResource::makeReflection() {
  return extendedReflection<AFXCodedInternalUpdateResource>(AFXCodedResource::makeReflection());
}

std::shared_ptr<AFXCodedInternalUpdateResource> AFXCodedInternalUpdateResource::resourceWithDownloadURL(
    std::shared_ptr<fnd::URL> url) {
  return AFXCodedResource::makeWithDownloadURL<AFXCodedInternalUpdateResource>(std::move(url));
}

const fnd::Class& AFXCodedInternalUpdateResource::classForManagedInstance() const {
  return AFXManagedInternalUpdateResource::staticClass();
}

const fnd::Class& AFXManagedInternalUpdateResource::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXManagedInternalUpdateResource", AFXManagedResource::staticClass(),
      [] { return std::shared_ptr<AFXManagedInternalUpdateResource>(new AFXManagedInternalUpdateResource); },
      ownProperties(), &AFXManagedInternalUpdateResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedInternalUpdateResource::makeReflection() {
  return extendedReflection<AFXManagedInternalUpdateResource>(AFXManagedResource::makeReflection());
}

fnd::Expected<void> AFXVerifyInternalUpdateVersionSupport(const AFXInternalUpdateResource& resource) {
  return AFXVerifyInternalUpdateVersionSupport(resource, QVSystemInfo::OSVersion());
}

fnd::Expected<void> AFXVerifyInternalUpdateVersionSupport(const AFXInternalUpdateResource& resource,
                                                          std::string_view currentOSVersion) {
  const auto& minimum = resource.minOSVersion();
  if (!minimum || QVVersionComparator::compareVersion(currentOSVersion, *minimum) != NSOrderedAscending) {
    return fnd::success();
  }
  return afx_incompatibleInternalOSVersion(*minimum, currentOSVersion);
}
