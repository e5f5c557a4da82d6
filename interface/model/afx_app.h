#pragma once

// A catalogue app with its versions, its downloadable resources and the
// collections it belongs to. The coded twin carries copies of them; the
// managed twin links the store's objects.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/error.h"
#include "foundation/expected.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "interface/model/afx_app_collection.h"
#include "interface/model/afx_app_version.h"
#include "interface/model/afx_coded_model_object.h"
#include "interface/model/afx_model_support.h"
#include "interface/model/afx_resource.h"
#include "tools/qv_version_comparator.h"

class AFXApp {
 public:
  virtual ~AFXApp() = default;

  virtual const std::optional<std::int64_t>& identifier() const = 0;
  virtual const std::optional<std::string>& bundleIdentifier() const = 0;
  virtual const std::optional<std::string>& name() const = 0;
  virtual const std::shared_ptr<fnd::Set>& oldNames() const = 0;
  virtual const std::optional<std::string>& tagLine() const = 0;
  virtual const std::optional<std::string>& marketingDescription() const = 0;
  virtual const std::optional<std::string>& ctaDescription() const = 0;
  virtual const std::optional<std::string>& vendorName() const = 0;
  virtual const std::shared_ptr<fnd::URL>& marketingURL() const = 0;
  virtual const std::optional<std::string>& lastLaunchedAppVersionID() const = 0;
  virtual bool isInstanceHidden() const = 0;
  virtual bool isBrandNew() const = 0;
  virtual bool didPresentAsBrandNew() const = 0;
  // Version and resource records, in set order; never null.
  virtual std::shared_ptr<fnd::Set> versions() const = 0;
  virtual std::shared_ptr<fnd::Set> resources() const = 0;
  virtual std::shared_ptr<fnd::Set> collectionIDs() const = 0;

  std::string teaserBundleIdentifier() const;
  fnd::Value firstVersion() const;
  fnd::Value latestVersion() const;
  fnd::Value latestMajorVersion() const;
  fnd::Value iconResource() const;
  [[nodiscard]] fnd::Expected<fnd::Value> pickAppVersion() const;
};

// The extreme version in `ordering` (ascending: the oldest; descending: the
// newest). A version replaces the candidate only when its identifier is
// further in that order and its uiVersion is not further in the opposite
// one. Any other ordering is a programming error; nil without versions.
fnd::Value AFXAppFirstVersionInOrder(const AFXApp& app, NSComparisonResult ordering);
fnd::Value AFXAppFirstVersion(const AFXApp& app);
fnd::Value AFXAppLatestVersion(const AFXApp& app);
// The earliest-released version of the highest major line of uiVersion.
fnd::Value AFXAppLatestMajorVersion(const AFXApp& app);
// The incompatible-version error when the system is older than the
// version's minimum, else nothing. The maximum takes no part.
std::optional<fnd::Error> AFXVerifyVersionSupport(const AFXApp& app, const fnd::Object& version);
std::optional<fnd::Error> AFXVerifyVersionSupport(const AFXApp& app, const fnd::Object& version,
                                                  std::string_view currentOSVersion);
// The newest version the system supports; otherwise the newest version's
// support error (a missing-version error for an app without versions).
[[nodiscard]] fnd::Expected<fnd::Value> AFXPickAppVersion(const AFXApp& app);
[[nodiscard]] fnd::Expected<fnd::Value> AFXPickAppVersion(const AFXApp& app, std::string_view currentOSVersion);
// The first app icon resource, in set order.
fnd::Value AFXGetAppIconResource(const AFXApp& app);

// Equal when the other is an app with the same identifier.
std::size_t AFXAppHash(const AFXApp& app);
bool AFXAppIsEqual(const AFXApp& app, const fnd::Object& other);
std::string AFXAppDescription(const fnd::Object& object, const AFXApp& app);
// "com.korvia.teaser." + the bundle identifier with "." replaced by "-".
std::string AFXAppTeaserBundleIdentifier(const AFXApp& app);
// The shared properties (not versions, resources or collections).
void AFXAppSetupReflection(QVClassReflection& reflection);

namespace afx_catalogue_detail {

template <class Root>
class AppTwin : public Root, public virtual AFXApp {
 public:
  const std::optional<std::int64_t>& identifier() const override { return identifier_; }
  void setIdentifier(std::optional<std::int64_t> value) { identifier_ = value; }
  const std::optional<std::string>& bundleIdentifier() const override { return bundleIdentifier_; }
  void setBundleIdentifier(std::optional<std::string> value) { bundleIdentifier_ = std::move(value); }
  const std::optional<std::string>& name() const override { return name_; }
  void setName(std::optional<std::string> value) { name_ = std::move(value); }
  const std::shared_ptr<fnd::Set>& oldNames() const override { return oldNames_; }
  void setOldNames(std::shared_ptr<fnd::Set> value) { oldNames_ = std::move(value); }
  const std::optional<std::string>& tagLine() const override { return tagLine_; }
  void setTagLine(std::optional<std::string> value) { tagLine_ = std::move(value); }
  const std::optional<std::string>& marketingDescription() const override { return marketingDescription_; }
  void setMarketingDescription(std::optional<std::string> value) { marketingDescription_ = std::move(value); }
  const std::optional<std::string>& ctaDescription() const override { return ctaDescription_; }
  void setCtaDescription(std::optional<std::string> value) { ctaDescription_ = std::move(value); }
  const std::optional<std::string>& vendorName() const override { return vendorName_; }
  void setVendorName(std::optional<std::string> value) { vendorName_ = std::move(value); }
  const std::shared_ptr<fnd::URL>& marketingURL() const override { return marketingURL_; }
  void setMarketingURL(std::shared_ptr<fnd::URL> value) { marketingURL_ = std::move(value); }
  const std::optional<std::string>& lastLaunchedAppVersionID() const override { return lastLaunchedAppVersionID_; }
  void setLastLaunchedAppVersionID(std::optional<std::string> value) { lastLaunchedAppVersionID_ = std::move(value); }
  bool isInstanceHidden() const override { return isInstanceHidden_; }
  void setIsInstanceHidden(bool value) { isInstanceHidden_ = value; }
  bool isBrandNew() const override { return isBrandNew_; }
  void setIsBrandNew(bool value) { isBrandNew_ = value; }
  bool didPresentAsBrandNew() const override { return didPresentAsBrandNew_; }
  void setDidPresentAsBrandNew(bool value) { didPresentAsBrandNew_ = value; }

  bool isEqual(const fnd::Object& other) const override { return AFXAppIsEqual(*this, other); }
  std::size_t hash() const override { return AFXAppHash(*this); }
  std::string description() const override { return AFXAppDescription(*this, *this); }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("identifier", &AppTwin::identifier_),
            memberProperty("bundleIdentifier", &AppTwin::bundleIdentifier_),
            memberProperty("name", &AppTwin::name_),
            memberProperty("oldNames", &AppTwin::oldNames_),
            memberProperty("tagLine", &AppTwin::tagLine_),
            memberProperty("marketingDescription", &AppTwin::marketingDescription_),
            memberProperty("ctaDescription", &AppTwin::ctaDescription_),
            memberProperty("vendorName", &AppTwin::vendorName_),
            memberProperty("marketingURL", &AppTwin::marketingURL_),
            memberProperty("lastLaunchedAppVersionID", &AppTwin::lastLaunchedAppVersionID_),
            memberProperty("isInstanceHidden", &AppTwin::isInstanceHidden_),
            memberProperty("isBrandNew", &AppTwin::isBrandNew_),
            memberProperty("didPresentAsBrandNew", &AppTwin::didPresentAsBrandNew_)};
  }

 protected:
  AppTwin() = default;

 private:
  std::optional<std::int64_t> identifier_;
  std::optional<std::string> bundleIdentifier_;
  std::optional<std::string> name_;
  std::shared_ptr<fnd::Set> oldNames_;
  std::optional<std::string> tagLine_;
  std::optional<std::string> marketingDescription_;
  std::optional<std::string> ctaDescription_;
  std::optional<std::string> vendorName_;
  std::shared_ptr<fnd::URL> marketingURL_;
  std::optional<std::string> lastLaunchedAppVersionID_;
  bool isInstanceHidden_ = false;
  bool isBrandNew_ = false;
  bool didPresentAsBrandNew_ = false;
};

}  // namespace afx_catalogue_detail

class AFXCodedApp final : public afx_catalogue_detail::AppTwin<AFXCodedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedApp> make();

  std::shared_ptr<fnd::Set> versions() const override { return versions_; }
  std::shared_ptr<fnd::Set> resources() const override { return resources_; }
  std::shared_ptr<fnd::Set> collectionIDs() const override { return collectionIDs_; }
  // Null sets are stored as empty ones.
  void setVersions(std::shared_ptr<fnd::Set> versions);
  void setResources(std::shared_ptr<fnd::Set> resources);
  void setCollectionIDs(std::shared_ptr<fnd::Set> identifiers);

  // The table plus "versions", "resources" and "collectionIDs", coded by
  // hand: the managed twin links these instead.
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;
  // Versions and resources become coded copies of the prototype's.
  void setupWithPrototype(const fnd::Object& prototype) override;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedApp() = default;
  std::shared_ptr<fnd::Set> versions_ = fnd::Set::make();
  std::shared_ptr<fnd::Set> resources_ = fnd::Set::make();
  std::shared_ptr<fnd::Set> collectionIDs_ = fnd::Set::make();
};

class AFXManagedApp final : public afx_catalogue_detail::AppTwin<AFXManagedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  std::shared_ptr<fnd::Set> versions() const override;
  std::shared_ptr<fnd::Set> resources() const override;
  // The identifiers of the linked collections.
  std::shared_ptr<fnd::Set> collectionIDs() const override;
  std::vector<std::shared_ptr<AFXManagedAppCollection>> collections() const;

  // Links both ends of a relationship.
  void addVersion(const std::shared_ptr<AFXManagedAppVersion>& version);
  void addResource(const std::shared_ptr<AFXManagedAppResource>& resource);
  void addCollection(const std::shared_ptr<AFXManagedAppCollection>& collection);

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedApp::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "App"; }

 private:
  AFXManagedApp() = default;
  std::vector<std::shared_ptr<AFXManagedAppVersion>> versions_;
  std::vector<std::shared_ptr<AFXManagedAppResource>> resources_;
  std::vector<std::weak_ptr<AFXManagedAppCollection>> collections_;
};
