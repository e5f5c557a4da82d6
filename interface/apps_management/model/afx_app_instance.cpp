#include "interface/apps_management/model/afx_app_instance.h"

#include <cctype>

#include "foundation/bundle.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/errors/afx_localized_string.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::computedProperty;
using afx_model_detail::memberProperty;

namespace {

std::shared_ptr<fnd::Bundle> bundleAt(const std::shared_ptr<fnd::URL>& url) {
  return url ? fnd::Bundle::bundleWithPath(url->path()) : nullptr;
}

std::string capitalisedWords(std::string text) {
  bool startOfWord = true;
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    c = static_cast<char>(startOfWord ? std::toupper(byte) : std::tolower(byte));
    startOfWord = std::isspace(byte) != 0;
  }
  return text;
}

}  // namespace

// Teaser versions

std::optional<std::string> AFXTeaserAppVersionMake(const fnd::Value& value) { return value.stringValue(); }

std::optional<std::string> AFXTeaserAppVersionFromInfoDictionary(const std::shared_ptr<fnd::Dictionary>& info) {
  return info ? AFXTeaserAppVersionMake(info->objectForKey(AFXTeaserInfoDictionaryInternalVersionKey)) : std::nullopt;
}

std::optional<std::string> AFXTeaserAppVersionFromBundleAtURL(const fnd::URL& url) {
  auto bundle = fnd::Bundle::bundleWithPath(url.path());
  return bundle ? AFXTeaserAppVersionFromInfoDictionary(bundle->infoDictionary()) : std::nullopt;
}

// AFXAppInstance

const fnd::Class& AFXAppInstance::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXAppInstance", AFXBaseMutableModelObject::staticClass(), {},
      {memberProperty("appID", &AFXAppInstance::appID_), memberProperty("URL", &AFXAppInstance::URL_)},
      &AFXAppInstance::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXAppInstance::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("appID", fnd::Number::staticClass());
  reflection->addPropertyForSelector("URL", {&fnd::URL::staticClass()}, fnd::Value(),
                                     AFXFileReferenceURLToFilePathURLValueTransformer::shared());
  return reflection;
}

bool AFXAppInstance::setUp(std::optional<std::int64_t> appID, const fnd::URL& url) {
  auto reference = AFXFileReferenceURL::fileReferenceURLWithURL(url);
  if (!reference) return false;
  appID_ = appID;
  URL_ = std::move(reference);
  return true;
}

std::shared_ptr<fnd::URL> AFXAppInstance::filePathURL() const {
  if (auto reference = std::dynamic_pointer_cast<AFXFileReferenceURL>(URL_)) return reference->filePathURL();
  // Decoded while the bundle was missing: only the path is known.
  return std::dynamic_pointer_cast<fnd::URL>(URL_);
}

std::string AFXAppInstance::appCategory() const {
  if (appCategory_) return *appCategory_;
  std::string category;
  if (auto bundle = bundleAt(filePathURL())) {
    category = bundle->objectForInfoDictionaryKey("LSApplicationCategoryType").stringValue().value_or("");
  }
  if (category.empty()) category = "Other";
  if (const auto prefix = category.find("public.app-category."); prefix != std::string::npos) {
    category.erase(prefix, std::string_view("public.app-category.").size());
  }
  for (char& c : category) {
    if (c == '-') c = ' ';
  }
  appCategory_ = capitalisedWords(category);
  return *appCategory_;
}

std::string AFXAppInstance::localizedAppCategory() const {
  return AFXKorviaInterfaceLocalizedString(appCategory(), "Application category");
}

bool AFXAppInstance::exists() const {
  auto url = filePathURL();
  return url && fnd::FileManager::defaultManager().fileExistsAtPath(url->path()) && !isLostForMonitoring(*url);
}

bool AFXAppInstance::existsOnRootVolume() const {
  if (!exists()) return false;
  auto file = fnd::FileManager::defaultManager().attributesOfItemAtPath(filePathURL()->path());
  auto root = fnd::FileManager::defaultManager().attributesOfItemAtPath("/");
  return file && root && file->systemNumber == root->systemNumber;
}

std::shared_ptr<AFXRunningApplication> AFXAppInstance::runningApplication() const {
  if (auto reference = std::dynamic_pointer_cast<AFXFileReferenceURL>(URL_)) {
    return AFXRunningApplicationOfBundle(*reference);
  }
  // Decoded while the bundle was missing: it may be back at its path.
  auto url = std::dynamic_pointer_cast<fnd::URL>(URL_);
  return url ? AFXRunningApplicationOfBundleAtURL(*url) : nullptr;
}

bool AFXAppInstance::isEqual(const fnd::Object& other) const {
  const auto* instance = dynamic_cast<const AFXAppInstance*>(&other);
  return instance != nullptr && instance->appID_ == appID_ && instance->kind() == kind() &&
         fnd::Value(URL_).isEqual(fnd::Value(instance->URL_));
}

std::size_t AFXAppInstance::hash() const {
  return (appID_ ? std::hash<std::int64_t>{}(*appID_) : 0) ^ afx_model_detail::hashOf(fnd::Value(URL_));
}

std::string AFXAppInstance::description() const {
  auto url = filePathURL();
  return fnd::StringWithFormat("%@ appID = %@ at %@", AFXBaseMutableModelObject::description(),
                               appID_ ? fnd::Value(*appID_) : fnd::Value(), url ? url->path() : "(null)");
}

// AFXTeaserAppInstance

const fnd::Class& AFXTeaserAppInstance::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXTeaserAppInstance", AFXAppInstance::staticClass(),
      [] { return std::shared_ptr<AFXTeaserAppInstance>(new AFXTeaserAppInstance); },
      {computedProperty("appVersion", &AFXTeaserAppInstance::appVersion_,
                        [](const AFXTeaserAppInstance& o) { return fnd::Value(o.appVersion()); }),
       computedProperty("version", &AFXTeaserAppInstance::version_,
                        [](const AFXTeaserAppInstance& o) { return fnd::Value(o.version()); })},
      &AFXTeaserAppInstance::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXTeaserAppInstance::makeReflection() {
  auto reflection = AFXAppInstance::makeReflection();
  reflection->addPropertyForSelector("appVersion", fnd::Number::staticClass());
  reflection->addPropertyForSelector("version", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXTeaserAppInstance> AFXTeaserAppInstance::initWithAppID(std::optional<std::int64_t> appID,
                                                                           const fnd::URL& url,
                                                                           std::optional<std::string> version) {
  (void)staticClass();
  auto instance = std::shared_ptr<AFXTeaserAppInstance>(new AFXTeaserAppInstance);
  if (!instance->setUp(appID, url)) return nullptr;
  instance->version_ = std::move(version);
  return instance;
}

std::shared_ptr<AFXTeaserAppInstance> AFXTeaserAppInstance::makeWithAppID(std::optional<std::int64_t> appID,
                                                                           const fnd::URL& url) {
  auto version = AFXTeaserAppVersionFromBundleAtURL(url);
  return version ? initWithAppID(appID, url, std::move(version)) : nullptr;
}

std::string AFXTeaserAppInstance::version() const {
  if (version_) return *version_;
  if (appVersion_) return AFXTeaserVersionFromOldTeaserVersion(*appVersion_);
  return "0.0";
}

std::int64_t AFXTeaserAppInstance::appVersion() const {
  if (appVersion_) return *appVersion_;
  if (version_) return AFXTeaserVersionToOldTeaserVersion(*version_);
  return 0;
}

std::string AFXTeaserAppInstance::objectForNotification() const {
  auto url = filePathURL();
  return fnd::StringWithFormat("%@ - %@", appID() ? fnd::Value(*appID()) : fnd::Value(), url ? url->path() : "(null)");
}

// AFXVendorAppInstance

const fnd::Class& AFXVendorAppInstance::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXVendorAppInstance", AFXAppInstance::staticClass(),
      [] { return std::shared_ptr<AFXVendorAppInstance>(new AFXVendorAppInstance); },
      {memberProperty("appVersionID", &AFXVendorAppInstance::appVersionID_),
       memberProperty("appVersion", &AFXVendorAppInstance::appVersion_)},
      &AFXVendorAppInstance::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXVendorAppInstance::makeReflection() {
  auto reflection = AFXAppInstance::makeReflection();
  reflection->addPropertyForSelector("appVersionID", fnd::String::staticClass());
  reflection->addPropertyForSelector("appVersion", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXVendorAppInstance> AFXVendorAppInstance::initWithAppID(std::optional<std::int64_t> appID,
                                                                           const fnd::URL& url) {
  (void)staticClass();
  auto instance = std::shared_ptr<AFXVendorAppInstance>(new AFXVendorAppInstance);
  return instance->setUp(appID, url) ? instance : nullptr;
}

std::shared_ptr<AFXVendorAppInstance> AFXVendorAppInstance::makeWithAppID(std::optional<std::int64_t> appID,
                                                                           const fnd::URL& url) {
  auto bundle = fnd::Bundle::bundleWithPath(url.path());
  if (!bundle || bundle->infoDictionary()->count() == 0) return nullptr;
  auto instance = initWithAppID(appID, url);
  if (!instance) return nullptr;
  instance->appVersionID_ = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue();
  instance->appVersion_ = bundle->objectForInfoDictionaryKey("CFBundleVersion").stringValue();
  return instance;
}
