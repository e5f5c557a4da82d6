#pragma once

// One released version of a catalogue app. Versions are ordered by their
// identifiers, which are version numbers; `uiVersion` is what users see.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/array.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/model/afx_coded_model_object.h"
#include "interface/model/afx_model_support.h"

class AFXAppVersion {
 public:
  virtual ~AFXAppVersion() = default;

  virtual std::optional<std::int64_t> appID() const = 0;
  virtual const std::optional<std::string>& identifier() const = 0;
  virtual const std::optional<std::string>& uiVersion() const = 0;
  virtual const std::shared_ptr<fnd::Date>& releaseDate() const = 0;
  virtual const std::optional<std::string>& releaseNotes() const = 0;
  virtual const std::optional<std::string>& minOSVersion() const = 0;
  virtual const std::optional<std::string>& maxOSVersion() const = 0;
  virtual const std::optional<std::string>& libkorviaVersion() const = 0;
  virtual const std::shared_ptr<fnd::Array>& screenshotResourcesIDs() const = 0;
  virtual const std::shared_ptr<fnd::Array>& keywords() const = 0;
  virtual const std::optional<std::int64_t>& size() const = 0;
};

// The rules both twins share: equal when the other is a version with the
// same identifier and app.
std::size_t AFXAppVersionHash(const AFXAppVersion& version);
bool AFXAppVersionIsEqual(const AFXAppVersion& version, const fnd::Object& other);
std::string AFXAppVersionDescription(const fnd::Object& object, const AFXAppVersion& version);
// The shared properties (every one but appID).
void AFXAppVersionSetupReflection(QVClassReflection& reflection);

namespace afx_catalogue_detail {

template <class Root>
class AppVersionTwin : public Root, public virtual AFXAppVersion {
 public:
  const std::optional<std::string>& identifier() const override { return identifier_; }
  void setIdentifier(std::optional<std::string> value) { identifier_ = std::move(value); }
  const std::optional<std::string>& uiVersion() const override { return uiVersion_; }
  void setUiVersion(std::optional<std::string> value) { uiVersion_ = std::move(value); }
  const std::shared_ptr<fnd::Date>& releaseDate() const override { return releaseDate_; }
  void setReleaseDate(std::shared_ptr<fnd::Date> value) { releaseDate_ = std::move(value); }
  const std::optional<std::string>& releaseNotes() const override { return releaseNotes_; }
  void setReleaseNotes(std::optional<std::string> value) { releaseNotes_ = std::move(value); }
  const std::optional<std::string>& minOSVersion() const override { return minOSVersion_; }
  void setMinOSVersion(std::optional<std::string> value) { minOSVersion_ = std::move(value); }
  const std::optional<std::string>& maxOSVersion() const override { return maxOSVersion_; }
  void setMaxOSVersion(std::optional<std::string> value) { maxOSVersion_ = std::move(value); }
  const std::optional<std::string>& libkorviaVersion() const override { return libkorviaVersion_; }
  void setLibkorviaVersion(std::optional<std::string> value) { libkorviaVersion_ = std::move(value); }
  const std::shared_ptr<fnd::Array>& screenshotResourcesIDs() const override { return screenshotResourcesIDs_; }
  void setScreenshotResourcesIDs(std::shared_ptr<fnd::Array> value) { screenshotResourcesIDs_ = std::move(value); }
  const std::shared_ptr<fnd::Array>& keywords() const override { return keywords_; }
  void setKeywords(std::shared_ptr<fnd::Array> value) { keywords_ = std::move(value); }
  const std::optional<std::int64_t>& size() const override { return size_; }
  void setSize(std::optional<std::int64_t> value) { size_ = value; }

  bool isEqual(const fnd::Object& other) const override { return AFXAppVersionIsEqual(*this, other); }
  std::size_t hash() const override { return AFXAppVersionHash(*this); }
  std::string description() const override { return AFXAppVersionDescription(*this, *this); }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("identifier", &AppVersionTwin::identifier_),
            memberProperty("uiVersion", &AppVersionTwin::uiVersion_),
            memberProperty("releaseDate", &AppVersionTwin::releaseDate_),
            memberProperty("releaseNotes", &AppVersionTwin::releaseNotes_),
            memberProperty("minOSVersion", &AppVersionTwin::minOSVersion_),
            memberProperty("maxOSVersion", &AppVersionTwin::maxOSVersion_),
            memberProperty("libkorviaVersion", &AppVersionTwin::libkorviaVersion_),
            memberProperty("screenshotResourcesIDs", &AppVersionTwin::screenshotResourcesIDs_),
            memberProperty("keywords", &AppVersionTwin::keywords_),
            memberProperty("size", &AppVersionTwin::size_)};
  }

 protected:
  AppVersionTwin() = default;

 private:
  std::optional<std::string> identifier_;
  std::optional<std::string> uiVersion_;
  std::shared_ptr<fnd::Date> releaseDate_;
  std::optional<std::string> releaseNotes_;
  std::optional<std::string> minOSVersion_;
  std::optional<std::string> maxOSVersion_;
  std::optional<std::string> libkorviaVersion_;
  std::shared_ptr<fnd::Array> screenshotResourcesIDs_;
  std::shared_ptr<fnd::Array> keywords_;
  std::optional<std::int64_t> size_;
};

}  // namespace afx_catalogue_detail

class AFXCodedAppVersion final : public afx_catalogue_detail::AppVersionTwin<AFXCodedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedAppVersion> make();

  std::optional<std::int64_t> appID() const override { return appID_; }
  void setAppID(std::optional<std::int64_t> appID) { appID_ = appID; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedAppVersion() = default;
  std::optional<std::int64_t> appID_;
};

class AFXManagedAppVersion final : public afx_catalogue_detail::AppVersionTwin<AFXManagedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // The owning managed app's identifier.
  std::optional<std::int64_t> appID() const override;
  std::shared_ptr<AFXManagedModelObject> app() const { return app_.lock(); }

  // Fills from a record and links the managed app found under the record's
  // appID (see AFXManagedApp::addVersion).
  void setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID);
  using AFXManagedModelObject::setupWithPrototype;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedAppVersion::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "AppVersion"; }

 private:
  friend class AFXManagedApp;
  AFXManagedAppVersion() = default;
  // The store owns the app; its versions must not keep it alive.
  std::weak_ptr<AFXManagedModelObject> app_;
};
