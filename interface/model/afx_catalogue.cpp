// The catalogue records: apps, versions, collections, search results and
// localized texts, and the version-picking rules.

#include <algorithm>
#include <cctype>

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_app_search_result.h"
#include "interface/model/afx_localizations_container.h"
#include "tools/qv_coder_extensions.h"
#include "tools/qv_system_info.h"

using afx_model_detail::defineModelClass;
using afx_model_detail::hashOf;
using afx_model_detail::memberProperty;

namespace {

NSComparisonResult compareTexts(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return QVVersionComparator::compareVersion(a.value_or(""), b.value_or(""));
}

NSComparisonResult opposite(NSComparisonResult ordering) {
  return ordering == NSOrderedAscending ? NSOrderedDescending : NSOrderedAscending;
}

const AFXAppVersion* versionOf(const fnd::Value& value) { return dynamic_cast<const AFXAppVersion*>(value.get()); }

// The integer value of the text before the first ".", as a scanner reads
// it: leading digits, 0 when there are none.
std::int64_t majorNumberOf(const AFXAppVersion& version) {
  const std::string text = version.uiVersion().value_or("");
  const std::string major = text.substr(0, text.find('.'));
  std::size_t position = 0;
  while (position < major.size() && std::isspace(static_cast<unsigned char>(major[position]))) ++position;
  std::int64_t value = 0;
  for (; position < major.size() && std::isdigit(static_cast<unsigned char>(major[position])); ++position) {
    value = value * 10 + (major[position] - '0');
    if (value > (1LL << 40)) break;
  }
  return value;
}

bool releasedEarlier(const AFXAppVersion& version, const AFXAppVersion& than) {
  return version.releaseDate() && than.releaseDate() &&
         version.releaseDate()->timeIntervalSinceDate(*than.releaseDate()) < 0;
}

std::shared_ptr<fnd::Set> copiesOf(const std::shared_ptr<fnd::Set>& records) {
  std::vector<fnd::Value> copies;
  if (records) {
    for (const auto& record : records->elements()) {
      const auto* model = dynamic_cast<const AFXModelObject*>(record.get());
      copies.emplace_back(model ? fnd::Value(model->copy()) : record);
    }
  }
  return fnd::Set::make(std::move(copies));
}

std::shared_ptr<fnd::Set> setOrEmpty(std::shared_ptr<fnd::Set> set) { return set ? std::move(set) : fnd::Set::make(); }

// Decodes a set of `elementClass` records coded by hand; an absent entry is
// an empty set.
std::shared_ptr<fnd::Set> decodeSet(fnd::KeyedUnarchiver& coder, const fnd::Class& elementClass,
                                    std::string_view selector) {
  return setOrEmpty(qv_decodeContainerOfClass(coder, fnd::Set::staticClass(), elementClass, selector).as<fnd::Set>());
}

}  // namespace

// App rules

std::string AFXAppTeaserBundleIdentifier(const AFXApp& app) {
  std::string identifier = app.bundleIdentifier().value_or("");
  std::replace(identifier.begin(), identifier.end(), '.', '-');
  return fnd::StringWithFormat("com.korvia.teaser.%@", identifier);
}

fnd::Value AFXAppFirstVersionInOrder(const AFXApp& app, NSComparisonResult ordering) {
  FND_PARAMETER_ASSERT(ordering == NSOrderedAscending || ordering == NSOrderedDescending);
  fnd::Value candidate;
  for (const auto& value : app.versions()->elements()) {
    const auto* version = versionOf(value);
    if (version == nullptr) continue;
    const auto* current = versionOf(candidate);
    if (current == nullptr ||
        (compareTexts(version->identifier(), current->identifier()) == ordering &&
         compareTexts(version->uiVersion(), current->uiVersion()) != opposite(ordering))) {
      candidate = value;
    }
  }
  return candidate;
}

fnd::Value AFXAppFirstVersion(const AFXApp& app) { return AFXAppFirstVersionInOrder(app, NSOrderedAscending); }

fnd::Value AFXAppLatestVersion(const AFXApp& app) { return AFXAppFirstVersionInOrder(app, NSOrderedDescending); }

fnd::Value AFXAppLatestMajorVersion(const AFXApp& app) {
  fnd::Value candidate;
  for (const auto& value : app.versions()->elements()) {
    const auto* version = versionOf(value);
    if (version == nullptr) continue;
    const auto* current = versionOf(candidate);
    if (current == nullptr || majorNumberOf(*version) > majorNumberOf(*current) ||
        (majorNumberOf(*version) == majorNumberOf(*current) && releasedEarlier(*version, *current))) {
      candidate = value;
    }
  }
  return candidate;
}

std::optional<fnd::Error> AFXVerifyVersionSupport(const AFXApp& app, const fnd::Object& version) {
  return AFXVerifyVersionSupport(app, version, QVSystemInfo::OSVersion());
}

std::optional<fnd::Error> AFXVerifyVersionSupport(const AFXApp&, const fnd::Object& version,
                                                  std::string_view currentOSVersion) {
  const auto* record = dynamic_cast<const AFXAppVersion*>(&version);
  FND_PARAMETER_ASSERT(record != nullptr);
  const auto& minimum = record->minOSVersion();
  if (!minimum || QVVersionComparator::compareVersion(currentOSVersion, *minimum) != NSOrderedAscending) {
    return std::nullopt;
  }
  return afx_incompatibleAppVersion(version, currentOSVersion);
}

fnd::Expected<fnd::Value> AFXPickAppVersion(const AFXApp& app) {
  return AFXPickAppVersion(app, QVSystemInfo::OSVersion());
}

fnd::Expected<fnd::Value> AFXPickAppVersion(const AFXApp& app, std::string_view currentOSVersion) {
  std::vector<fnd::Value> versions;
  for (const auto& value : app.versions()->elements()) {
    if (versionOf(value) != nullptr) versions.push_back(value);
  }
  // An app without versions has nothing to install; say so rather than
  // answering with neither a version nor an error.
  if (versions.empty()) return afx_makeErrorOfMissingObjectOfKind("app version");
  std::stable_sort(versions.begin(), versions.end(), [](const fnd::Value& a, const fnd::Value& b) {
    const auto byIdentifier = compareTexts(versionOf(a)->identifier(), versionOf(b)->identifier());
    if (byIdentifier != NSOrderedSame) return byIdentifier == NSOrderedDescending;
    return compareTexts(versionOf(a)->uiVersion(), versionOf(b)->uiVersion()) == NSOrderedDescending;
  });
  for (const auto& version : versions) {
    if (!AFXVerifyVersionSupport(app, *version.get(), currentOSVersion)) return version;
  }
  return *AFXVerifyVersionSupport(app, *versions.front().get(), currentOSVersion);
}

fnd::Value AFXGetAppIconResource(const AFXApp& app) {
  for (const auto& value : app.resources()->elements()) {
    const auto* resource = dynamic_cast<const AFXResource*>(value.get());
    if (resource != nullptr && resource->kind() == AFXResourceKindAppIcon) return value;
  }
  return {};
}

std::size_t AFXAppHash(const AFXApp& app) {
  return (app.identifier() ? std::hash<std::int64_t>{}(*app.identifier()) : 0) ^ hashOf(app.bundleIdentifier()) ^
         hashOf(app.name());
}

bool AFXAppIsEqual(const AFXApp& app, const fnd::Object& other) {
  const auto* otherApp = dynamic_cast<const AFXApp*>(&other);
  return otherApp != nullptr && otherApp->identifier() == app.identifier();
}

std::string AFXAppDescription(const fnd::Object& object, const AFXApp& app) {
  return fnd::StringWithFormat("%@, identifier = %@, bundleID = %@, name = %@", object.fnd::Object::description(),
                               app.identifier() ? fnd::Value(*app.identifier()) : fnd::Value(),
                               app.bundleIdentifier().value_or("(null)"), app.name().value_or("(null)"));
}

void AFXAppSetupReflection(QVClassReflection& reflection) {
  reflection.addPropertyForSelector("identifier", fnd::Number::staticClass());
  reflection.addPropertyForSelector("bundleIdentifier", fnd::String::staticClass());
  reflection.addPropertyForSelector("name", fnd::String::staticClass());
  reflection.addPropertyForSelector("oldNames", fnd::Set::staticClass(), fnd::String::staticClass());
  reflection.addPropertyForSelector("tagLine", fnd::String::staticClass());
  reflection.addPropertyForSelector("marketingDescription", fnd::String::staticClass());
  reflection.addPropertyForSelector("ctaDescription", fnd::String::staticClass());
  reflection.addPropertyForSelector("vendorName", fnd::String::staticClass());
  reflection.addPropertyForSelector("marketingURL", fnd::URL::staticClass());
  reflection.addPropertyForSelector("lastLaunchedAppVersionID", fnd::String::staticClass());
  for (const char* flag : {"isInstanceHidden", "isBrandNew", "didPresentAsBrandNew"}) {
    reflection.addPropertyForSelector(flag, {&fnd::Number::staticClass()}, fnd::Value(false), nullptr);
  }
}

std::string AFXApp::teaserBundleIdentifier() const { return AFXAppTeaserBundleIdentifier(*this); }
fnd::Value AFXApp::firstVersion() const { return AFXAppFirstVersion(*this); }
fnd::Value AFXApp::latestVersion() const { return AFXAppLatestVersion(*this); }
fnd::Value AFXApp::latestMajorVersion() const { return AFXAppLatestMajorVersion(*this); }
fnd::Value AFXApp::iconResource() const { return AFXGetAppIconResource(*this); }
fnd::Expected<fnd::Value> AFXApp::pickAppVersion() const { return AFXPickAppVersion(*this); }

std::optional<std::int64_t> AFXAppIdentifierOf(const AFXApp& app) { return app.identifier(); }

// AFXCodedApp

const fnd::Class& AFXCodedApp::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back(memberProperty("versions", &AFXCodedApp::versions_));
    properties.push_back(memberProperty("resources", &AFXCodedApp::resources_));
    properties.push_back(memberProperty("collectionIDs", &AFXCodedApp::collectionIDs_));
    return defineModelClass("AFXCodedApp", AFXCodedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXCodedApp>(new AFXCodedApp); }, std::move(properties),
                            &AFXCodedApp::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedApp::makeReflection() {
  auto reflection = AFXCodedModelObject::makeReflection();
  AFXAppSetupReflection(*reflection);
  return reflection;
}

std::shared_ptr<AFXCodedApp> AFXCodedApp::make() {
  return std::dynamic_pointer_cast<AFXCodedApp>(staticClass().makeInstance());
}

void AFXCodedApp::setVersions(std::shared_ptr<fnd::Set> versions) { versions_ = setOrEmpty(std::move(versions)); }
void AFXCodedApp::setResources(std::shared_ptr<fnd::Set> resources) { resources_ = setOrEmpty(std::move(resources)); }
void AFXCodedApp::setCollectionIDs(std::shared_ptr<fnd::Set> identifiers) {
  collectionIDs_ = setOrEmpty(std::move(identifiers));
}

void AFXCodedApp::encodeWithCoder(fnd::KeyedArchiver& coder) const {
  AppTwin::encodeWithCoder(coder);
  qv_encodeObject(coder, fnd::Value(versions_), "versions");
  qv_encodeObject(coder, fnd::Value(resources_), "resources");
  qv_encodeObject(coder, fnd::Value(collectionIDs_), "collectionIDs");
}

bool AFXCodedApp::initWithCoder(fnd::KeyedUnarchiver& coder) {
  if (!AppTwin::initWithCoder(coder)) return false;
  versions_ = decodeSet(coder, AFXCodedAppVersion::staticClass(), "versions");
  // Any kind of app resource; a subclass of an allowed class passes.
  resources_ = decodeSet(coder, AFXCodedAppResource::staticClass(), "resources");
  collectionIDs_ = decodeSet(coder, fnd::Number::staticClass(), "collectionIDs");
  return !coder.hasFailed();
}

void AFXCodedApp::setupWithPrototype(const fnd::Object& prototype) {
  AppTwin::setupWithPrototype(prototype);
  const auto* app = dynamic_cast<const AFXApp*>(&prototype);
  FND_PARAMETER_ASSERT(app != nullptr);
  versions_ = copiesOf(app->versions());
  resources_ = copiesOf(app->resources());
  collectionIDs_ = fnd::Set::make(app->collectionIDs()->elements());
}

const fnd::Class& AFXCodedApp::classForManagedInstance() const { return AFXManagedApp::staticClass(); }

// AFXManagedApp

const fnd::Class& AFXManagedApp::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back({"versions", [](const fnd::Object& o) {
                            return fnd::Value(dynamic_cast<const AFXManagedApp&>(o).versions());
                          }, {}});
    properties.push_back({"resources", [](const fnd::Object& o) {
                            return fnd::Value(dynamic_cast<const AFXManagedApp&>(o).resources());
                          }, {}});
    properties.push_back({"collectionIDs", [](const fnd::Object& o) {
                            return fnd::Value(dynamic_cast<const AFXManagedApp&>(o).collectionIDs());
                          }, {}});
    return defineModelClass("AFXManagedApp", AFXManagedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXManagedApp>(new AFXManagedApp); }, std::move(properties),
                            &AFXManagedApp::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedApp::makeReflection() {
  auto reflection = AFXManagedModelObject::makeReflection();
  AFXAppSetupReflection(*reflection);
  return reflection;
}

std::shared_ptr<fnd::Set> AFXManagedApp::versions() const {
  return fnd::Set::make(std::vector<fnd::Value>(versions_.begin(), versions_.end()));
}

std::shared_ptr<fnd::Set> AFXManagedApp::resources() const {
  return fnd::Set::make(std::vector<fnd::Value>(resources_.begin(), resources_.end()));
}

std::vector<std::shared_ptr<AFXManagedAppCollection>> AFXManagedApp::collections() const {
  std::vector<std::shared_ptr<AFXManagedAppCollection>> linked;
  for (const auto& collection : collections_) {
    if (auto strong = collection.lock()) linked.push_back(std::move(strong));
  }
  return linked;
}

std::shared_ptr<fnd::Set> AFXManagedApp::collectionIDs() const {
  std::vector<fnd::Value> identifiers;
  for (const auto& collection : collections()) {
    if (collection->identifier()) identifiers.emplace_back(*collection->identifier());
  }
  return fnd::Set::make(std::move(identifiers));
}

void AFXManagedApp::addVersion(const std::shared_ptr<AFXManagedAppVersion>& version) {
  FND_PARAMETER_ASSERT(version != nullptr);
  version->app_ = std::static_pointer_cast<AFXManagedModelObject>(
      std::const_pointer_cast<fnd::Object>(shared_from_this()));
  versions_.push_back(version);
}

void AFXManagedApp::addResource(const std::shared_ptr<AFXManagedAppResource>& resource) {
  FND_PARAMETER_ASSERT(resource != nullptr);
  resource->setApp(std::dynamic_pointer_cast<AFXManagedModelObject>(shared_from_this()));
  resources_.push_back(resource);
}

void AFXManagedApp::addCollection(const std::shared_ptr<AFXManagedAppCollection>& collection) {
  FND_PARAMETER_ASSERT(collection != nullptr);
  collection->applications_.push_back(std::dynamic_pointer_cast<AFXManagedModelObject>(shared_from_this()));
  collections_.push_back(collection);
}

// App versions

std::size_t AFXAppVersionHash(const AFXAppVersion& version) {
  return hashOf(version.identifier()) ^ (version.appID() ? std::hash<std::int64_t>{}(*version.appID()) : 0);
}

bool AFXAppVersionIsEqual(const AFXAppVersion& version, const fnd::Object& other) {
  const auto* otherVersion = dynamic_cast<const AFXAppVersion*>(&other);
  return otherVersion != nullptr && otherVersion->identifier() == version.identifier() &&
         otherVersion->appID() == version.appID();
}

std::string AFXAppVersionDescription(const fnd::Object& object, const AFXAppVersion& version) {
  return fnd::StringWithFormat("%@, identifier = %@, uiVersion = %@", object.fnd::Object::description(),
                               version.identifier().value_or("(null)"), version.uiVersion().value_or("(null)"));
}

void AFXAppVersionSetupReflection(QVClassReflection& reflection) {
  for (const char* text : {"identifier", "uiVersion"}) reflection.addPropertyForSelector(text, fnd::String::staticClass());
  reflection.addPropertyForSelector("releaseDate", fnd::Date::staticClass());
  for (const char* text : {"releaseNotes", "minOSVersion", "maxOSVersion", "libkorviaVersion"}) {
    reflection.addPropertyForSelector(text, fnd::String::staticClass());
  }
  reflection.addPropertyForSelector("screenshotResourcesIDs", fnd::Array::staticClass(), fnd::String::staticClass());
  reflection.addPropertyForSelector("keywords", fnd::Array::staticClass(), fnd::String::staticClass());
  reflection.addPropertyForSelector("size", fnd::Number::staticClass());
}

const fnd::Class& AFXCodedAppVersion::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back(memberProperty("appID", &AFXCodedAppVersion::appID_));
    return defineModelClass("AFXCodedAppVersion", AFXCodedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXCodedAppVersion>(new AFXCodedAppVersion); },
                            std::move(properties), &AFXCodedAppVersion::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedAppVersion::makeReflection() {
  auto reflection = AFXCodedModelObject::makeReflection();
  reflection->addPropertyForSelector("appID", fnd::Number::staticClass());
  AFXAppVersionSetupReflection(*reflection);
  return reflection;
}

std::shared_ptr<AFXCodedAppVersion> AFXCodedAppVersion::make() {
  return std::dynamic_pointer_cast<AFXCodedAppVersion>(staticClass().makeInstance());
}

const fnd::Class& AFXCodedAppVersion::classForManagedInstance() const { return AFXManagedAppVersion::staticClass(); }

const fnd::Class& AFXManagedAppVersion::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back({"appID", [](const fnd::Object& o) {
                            const auto appID = dynamic_cast<const AFXManagedAppVersion&>(o).appID();
                            return appID ? fnd::Value(*appID) : fnd::Value();
                          }, {}});
    return defineModelClass("AFXManagedAppVersion", AFXManagedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXManagedAppVersion>(new AFXManagedAppVersion); },
                            std::move(properties), &AFXManagedAppVersion::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedAppVersion::makeReflection() {
  auto reflection = AFXManagedModelObject::makeReflection();
  AFXAppVersionSetupReflection(*reflection);
  return reflection;
}

std::optional<std::int64_t> AFXManagedAppVersion::appID() const {
  auto app = app_.lock();
  return app ? app->valueForKey("identifier").integerValue() : std::nullopt;
}

void AFXManagedAppVersion::setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID) {
  setupWithPrototype(prototype);
  if (auto app = std::dynamic_pointer_cast<AFXManagedApp>(AFXManagedObjectForID(appByID, prototype.valueForKey("appID")))) {
    app->addVersion(std::static_pointer_cast<AFXManagedAppVersion>(shared_from_this()));
  }
}

// App collections

std::size_t AFXAppCollectionHash(const AFXAppCollection& collection) {
  return collection.identifier() ? std::hash<std::int64_t>{}(*collection.identifier()) : 0;
}

bool AFXAppCollectionIsEqual(const AFXAppCollection& collection, const fnd::Object& other) {
  const auto* otherCollection = dynamic_cast<const AFXAppCollection*>(&other);
  return otherCollection != nullptr && otherCollection->identifier() == collection.identifier() &&
         otherCollection->name() == collection.name() && otherCollection->localizedName() == collection.localizedName();
}

std::string AFXAppCollectionDescription(const fnd::Object& object, const AFXAppCollection& collection) {
  const auto& name = collection.name() ? collection.name() : collection.localizedName();
  return fnd::StringWithFormat("%@, identifier = %@, name = %@", object.fnd::Object::description(),
                               collection.identifier() ? fnd::Value(*collection.identifier()) : fnd::Value(),
                               name.value_or("(null)"));
}

void AFXAppCollectionSetupReflection(QVClassReflection& reflection) {
  reflection.addPropertyForSelector("identifier", fnd::Number::staticClass());
  reflection.addPropertyForSelector("name", fnd::String::staticClass());
  reflection.addPropertyForSelector("priority", fnd::Number::staticClass());
  reflection.addPropertyForSelector("localizedName", fnd::String::staticClass());
}

const fnd::Class& AFXCodedAppCollection::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back(memberProperty("applicationIDs", &AFXCodedAppCollection::applicationIDs_));
    return defineModelClass("AFXCodedAppCollection", AFXCodedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXCodedAppCollection>(new AFXCodedAppCollection); },
                            std::move(properties), &AFXCodedAppCollection::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXCodedAppCollection::makeReflection() {
  auto reflection = AFXCodedModelObject::makeReflection();
  AFXAppCollectionSetupReflection(*reflection);
  return reflection;
}

std::shared_ptr<AFXCodedAppCollection> AFXCodedAppCollection::make() {
  return std::dynamic_pointer_cast<AFXCodedAppCollection>(staticClass().makeInstance());
}

void AFXCodedAppCollection::setApplicationIDs(std::shared_ptr<fnd::Set> identifiers) {
  applicationIDs_ = setOrEmpty(std::move(identifiers));
}

void AFXCodedAppCollection::encodeWithCoder(fnd::KeyedArchiver& coder) const {
  AppCollectionTwin::encodeWithCoder(coder);
  qv_encodeObject(coder, fnd::Value(applicationIDs_), "applicationIDs");
}

bool AFXCodedAppCollection::initWithCoder(fnd::KeyedUnarchiver& coder) {
  if (!AppCollectionTwin::initWithCoder(coder)) return false;
  applicationIDs_ = decodeSet(coder, fnd::Number::staticClass(), "applicationIDs");
  return !coder.hasFailed();
}

void AFXCodedAppCollection::setupWithPrototype(const fnd::Object& prototype) {
  AppCollectionTwin::setupWithPrototype(prototype);
  const auto* collection = dynamic_cast<const AFXAppCollection*>(&prototype);
  FND_PARAMETER_ASSERT(collection != nullptr);
  applicationIDs_ = fnd::Set::make(collection->applicationIDs()->elements());
}

const fnd::Class& AFXCodedAppCollection::classForManagedInstance() const {
  return AFXManagedAppCollection::staticClass();
}

const fnd::Class& AFXManagedAppCollection::staticClass() {
  static const fnd::Class& cls = [] () -> const fnd::Class& {
    auto properties = ownProperties();
    properties.push_back({"applicationIDs", [](const fnd::Object& o) {
                            return fnd::Value(dynamic_cast<const AFXManagedAppCollection&>(o).applicationIDs());
                          }, {}});
    return defineModelClass("AFXManagedAppCollection", AFXManagedModelObject::staticClass(),
                            [] { return std::shared_ptr<AFXManagedAppCollection>(new AFXManagedAppCollection); },
                            std::move(properties), &AFXManagedAppCollection::makeReflection);
  }();
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManagedAppCollection::makeReflection() {
  auto reflection = AFXManagedModelObject::makeReflection();
  AFXAppCollectionSetupReflection(*reflection);
  return reflection;
}

std::vector<std::shared_ptr<AFXManagedModelObject>> AFXManagedAppCollection::applications() const {
  std::vector<std::shared_ptr<AFXManagedModelObject>> linked;
  for (const auto& application : applications_) {
    if (auto strong = application.lock()) linked.push_back(std::move(strong));
  }
  return linked;
}

std::shared_ptr<fnd::Set> AFXManagedAppCollection::applicationIDs() const {
  std::vector<fnd::Value> identifiers;
  for (const auto& application : applications()) {
    auto identifier = application->valueForKey("identifier");
    if (!identifier.isNil()) identifiers.push_back(std::move(identifier));
  }
  return fnd::Set::make(std::move(identifiers));
}

// AFXAppSearchResult

const fnd::Class& AFXAppSearchResult::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXAppSearchResult", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXAppSearchResult>(new AFXAppSearchResult); },
      {memberProperty("app", &AFXAppSearchResult::app_), memberProperty("score", &AFXAppSearchResult::score_)},
      &AFXAppSearchResult::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXAppSearchResult::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("app", AFXCodedApp::staticClass());
  reflection->addPropertyForSelector("score", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<AFXAppSearchResult> AFXAppSearchResult::initWithApp(std::shared_ptr<AFXCodedApp> app, float score) {
  auto result = std::dynamic_pointer_cast<AFXAppSearchResult>(staticClass().makeInstance());
  result->app_ = std::move(app);
  result->score_ = score;
  return result;
}

// AFXLocalizationsContainer

const fnd::Class& AFXLocalizationsContainer::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "AFXLocalizationsContainer", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXLocalizationsContainer>(new AFXLocalizationsContainer); },
      {memberProperty("key", &AFXLocalizationsContainer::key_),
       memberProperty("stringsMap", &AFXLocalizationsContainer::stringsMap_)},
      &AFXLocalizationsContainer::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXLocalizationsContainer::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("key", fnd::String::staticClass());
  reflection->addPropertyForSelector("stringsMap", fnd::Dictionary::staticClass(), {&fnd::String::staticClass()},
                                     fnd::Value(fnd::Dictionary::make()), nullptr);
  return reflection;
}

std::shared_ptr<AFXLocalizationsContainer> AFXLocalizationsContainer::initWithKey(
    std::optional<std::string> key, std::shared_ptr<fnd::Dictionary> stringsMap) {
  auto container = std::dynamic_pointer_cast<AFXLocalizationsContainer>(staticClass().makeInstance());
  container->key_ = std::move(key);
  container->stringsMap_ = stringsMap ? std::move(stringsMap) : fnd::Dictionary::make();
  return container;
}

std::optional<std::string> AFXLocalizationsContainer::stringForLanguageCode(std::string_view languageCode) const {
  return stringsMap_ ? stringsMap_->objectForKey(languageCode).stringValue() : std::nullopt;
}

bool AFXLocalizationsContainer::isEqual(const fnd::Object& other) const {
  const auto* container = dynamic_cast<const AFXLocalizationsContainer*>(&other);
  if (container == nullptr) return this == &other;
  return container->key_ == key_ && fnd::Value(container->stringsMap_).isEqual(fnd::Value(stringsMap_));
}

std::size_t AFXLocalizationsContainer::hash() const { return hashOf(key_) ^ hashOf(fnd::Value(stringsMap_)); }
