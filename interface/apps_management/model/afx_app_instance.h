#pragma once

// An installed copy of a catalogue app on this machine: a teaser (the small
// placeholder bundle placed before the real app is installed) or the
// vendor's app. The bundle is held by file reference, so an instance keeps
// pointing at the bundle when the user moves it; archives hold its path.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/dictionary.h"
#include "foundation/url.h"
#include "interface/apps_management/model/afx_file_reference_url.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_teaser_version.h"

inline constexpr std::int64_t AFXAppInstanceKindTeaser = 1;
inline constexpr std::int64_t AFXAppInstanceKindVendor = 2;

inline constexpr std::string_view AFXTeaserInfoDictionaryInternalVersionKey = "AFXTeaserInternalVersion";

// The value when it is a text.
std::optional<std::string> AFXTeaserAppVersionMake(const fnd::Value& value);
std::optional<std::string> AFXTeaserAppVersionFromInfoDictionary(const std::shared_ptr<fnd::Dictionary>& info);
std::optional<std::string> AFXTeaserAppVersionFromBundleAtURL(const fnd::URL& url);

class AFXAppInstance : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  virtual std::int64_t kind() const = 0;

  const std::optional<std::int64_t>& appID() const { return appID_; }
  // The file reference (or, when the bundle was gone at decoding, its path).
  const std::shared_ptr<fnd::Object>& URL() const { return URL_; }
  // Where the bundle is now; null when it cannot be found.
  std::shared_ptr<fnd::URL> filePathURL() const;

  // "LSApplicationCategoryType" as words: public.app-category.developer-tools
  // reads "Developer Tools", none reads "Other". Computed once.
  std::string appCategory() const;
  void setAppCategory(std::string category) { appCategory_ = std::move(category); }
  std::string localizedAppCategory() const;

  // The bundle can still be found and is neither in the Trash nor in a
  // backup.
  bool exists() const;
  bool existsOnRootVolume() const;
  // The first running application of this bundle, wherever it has moved;
  // null when none runs.
  std::shared_ptr<AFXRunningApplication> runningApplication() const;

  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 protected:
  AFXAppInstance() = default;
  // False when nothing is at the URL.
  bool setUp(std::optional<std::int64_t> appID, const fnd::URL& url);

 private:
  std::optional<std::int64_t> appID_;
  std::shared_ptr<fnd::Object> URL_;
  mutable std::optional<std::string> appCategory_;
};

class AFXTeaserAppInstance final : public AFXAppInstance {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Null when nothing is at the URL.
  static std::shared_ptr<AFXTeaserAppInstance> initWithAppID(std::optional<std::int64_t> appID, const fnd::URL& url,
                                                             std::optional<std::string> version);
  // The version from the bundle's information dictionary; null without one.
  static std::shared_ptr<AFXTeaserAppInstance> makeWithAppID(std::optional<std::int64_t> appID, const fnd::URL& url);

  std::int64_t kind() const override { return AFXAppInstanceKindTeaser; }
  // The stored text, else the old number as "0.n", else "0.0".
  std::string version() const;
  // The stored number, else the old-scheme reading of the text, else 0.
  std::int64_t appVersion() const;
  // "appID - path".
  std::string objectForNotification() const;

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  AFXTeaserAppInstance() = default;
  std::optional<std::int64_t> appVersion_;
  std::optional<std::string> version_;
};

class AFXVendorAppInstance final : public AFXAppInstance {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXVendorAppInstance> initWithAppID(std::optional<std::int64_t> appID, const fnd::URL& url);
  // With the bundle's versions; null when its information is unreadable.
  static std::shared_ptr<AFXVendorAppInstance> makeWithAppID(std::optional<std::int64_t> appID, const fnd::URL& url);

  std::int64_t kind() const override { return AFXAppInstanceKindVendor; }
  const std::optional<std::string>& appVersionID() const { return appVersionID_; }
  const std::optional<std::string>& appVersion() const { return appVersion_; }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  AFXVendorAppInstance() = default;
  std::optional<std::string> appVersionID_;
  std::optional<std::string> appVersion_;
};
