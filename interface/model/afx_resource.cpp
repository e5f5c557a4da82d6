// The resource bases shared by every kind, the kinds' names and the
// identifiers of resources.

#include "interface/model/afx_resource.h"

#include <array>

#include "foundation/crypto.h"
#include "foundation/format.h"
#include "foundation/number.h"

using afx_model_detail::memberProperty;

namespace {

struct KindNames {
  AFXResourceKind kind;
  const char* statsdID;
  const char* description;
};

constexpr std::array<KindNames, 8> kKindNames = {{
    {AFXResourceKindUndefined, nullptr, "undefined"},
    {AFXResourceKindScreenshot, "screenshot", "screenshot"},
    {AFXResourceKindTeaserAppInstall, "teaser_app", "teaserAppInstall"},
    {AFXResourceKindTeaserAppUpdate, "teaser_app_update", "teaserAppUpdate"},
    {AFXResourceKindVendorAppInstall, "vendor_app", "vendorAppInstall"},
    {AFXResourceKindVendorAppUpdate, "vendor_app_update", "vendorAppUpdate"},
    {AFXResourceKindInternalAppUpdate, "internal_update", "internalAppUpdate"},
    {AFXResourceKindAppIcon, "app_icon", "appIcon"},
}};

const KindNames* namesOf(AFXResourceKind kind) {
  for (const auto& names : kKindNames) {
    if (names.kind == kind) return &names;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> AFXResourceKindGetStatsdID(AFXResourceKind kind) {
  const auto* names = namesOf(kind);
  return names && names->statsdID ? std::optional<std::string>(names->statsdID) : std::nullopt;
}

std::optional<std::string> AFXResourceKindGetDescription(AFXResourceKind kind) {
  const auto* names = namesOf(kind);
  return names ? std::optional<std::string>(names->description) : std::nullopt;
}

std::string AFXResourceIdentifierForURL(const fnd::URL& url, std::string_view suffix) {
  std::string text = url.absoluteString();
  text.append(suffix);
  return fnd::crypto::hexEncode(fnd::crypto::sha1(fnd::crypto::bytesOf(text)));
}

std::shared_ptr<AFXManagedModelObject> AFXManagedObjectForID(const fnd::Dictionary& objects,
                                                             const fnd::Value& identifier) {
  if (identifier.isNil()) return nullptr;
  return objects.objectForKey(identifier).as<AFXManagedModelObject>();
}

namespace afx_resource_detail {

std::string describeResource(const fnd::Object& object, const AFXResource& resource) {
  return fnd::StringWithFormat("%@, identifier = %@, downloadURL = %@, status = %@", object.fnd::Object::description(),
                               resource.identifier() ? fnd::Value(*resource.identifier()) : fnd::Value(),
                               fnd::Value(resource.downloadURL()), fnd::Value(resource.status()));
}

}  // namespace afx_resource_detail

// AFXCodedResource

const fnd::Class& AFXCodedResource::staticClass() {
  static const fnd::Class& cls =
      afx_model_detail::defineModelClass("AFXCodedResource", AFXCodedModelObject::staticClass(), {}, ownProperties(),
                                         &AFXCodedResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedResource::makeReflection() {
  auto reflection = AFXCodedModelObject::makeReflection();
  addOwnProperties(*reflection);
  return reflection;
}

// AFXManagedResource

const fnd::Class& AFXManagedResource::staticClass() {
  static const fnd::Class& cls =
      afx_model_detail::defineModelClass("AFXManagedResource", AFXManagedModelObject::staticClass(), {},
                                         ownProperties(), &AFXManagedResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedResource::makeReflection() {
  auto reflection = AFXManagedModelObject::makeReflection();
  addOwnProperties(*reflection);
  return reflection;
}

void AFXManagedResource::setupWithPrototype(const fnd::Object& prototype) {
  auto previous = status();
  ResourceTwin::setupWithPrototype(prototype);
  setStatus(AFXResourceStatus::mergeOldStatus(std::move(previous), status()));
}

// AFXCodedAppResource

const fnd::Class& AFXCodedAppResource::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXCodedAppResource", AFXCodedResource::staticClass(), {},
      {memberProperty("appID", &AFXCodedAppResource::appID_)}, &AFXCodedAppResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedAppResource::makeReflection() {
  auto reflection = AFXCodedResource::makeReflection();
  reflection->addPropertyForSelector("appID", fnd::Number::staticClass());
  return reflection;
}

// AFXManagedAppResource

const fnd::Class& AFXManagedAppResource::staticClass() {
  // "appID" is readable for coded twins made from this one; it is derived
  // from the relationship and not part of the managed table.
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXManagedAppResource", AFXManagedResource::staticClass(), {},
      {{"appID",
        [](const fnd::Object& object) {
          const auto appID = dynamic_cast<const AFXManagedAppResource&>(object).appID();
          return appID ? fnd::Value(*appID) : fnd::Value();
        },
        {}}},
      &AFXManagedAppResource::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedAppResource::makeReflection() { return AFXManagedResource::makeReflection(); }

std::optional<std::int64_t> AFXManagedAppResource::appID() const {
  auto app = app_.lock();
  return app ? app->valueForKey("identifier").integerValue() : std::nullopt;
}

void AFXManagedAppResource::setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                                               const fnd::Dictionary&) {
  setupWithPrototype(prototype);
  app_ = AFXManagedObjectForID(appByID, prototype.valueForKey("appID"));
}
