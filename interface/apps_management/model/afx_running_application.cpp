#include "interface/apps_management/model/afx_running_application.h"

#include "foundation/bundle.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "foundation/workspace.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::memberProperty;

namespace {

std::optional<std::string> nonEmpty(std::string text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

std::optional<std::string> infoText(const fnd::Bundle& bundle, std::string_view key) {
  auto text = bundle.objectForInfoDictionaryKey(key).stringValue();
  return text && !text->empty() ? text : std::nullopt;
}

// The name the file shows: its last component without the extension.
std::string displayName(const fnd::URL& url) {
  std::string name = url.lastPathComponent();
  const std::string extension = url.pathExtension();
  if (!extension.empty() && name.size() > extension.size() + 1) name.resize(name.size() - extension.size() - 1);
  return name;
}

// The icon file the bundle names ("CFBundleIconFile", ".icns" when it has
// no extension), looked up among its resources.
std::shared_ptr<fnd::URL> iconOfBundleAtURL(const std::shared_ptr<fnd::URL>& bundleURL) {
  auto bundle = bundleURL ? fnd::Bundle::bundleWithPath(bundleURL->path()) : nullptr;
  if (!bundle) return nullptr;
  auto file = infoText(*bundle, "CFBundleIconFile");
  if (!file) return nullptr;
  const bool hasExtension = !fnd::URL::fileURLWithPath(*file)->pathExtension().empty();
  auto path = bundle->pathForResource(*file, hasExtension ? "" : "icns");
  return path ? fnd::URL::fileURLWithPath(*path) : nullptr;
}

// The copy of the app the service bundle identifier belongs to.
std::shared_ptr<fnd::URL> baseApplicationURL(const std::shared_ptr<AFXKorviaBundleID>& identifier) {
  if (!identifier || !identifier->baseBundleID()) return nullptr;
  return fnd::Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier(*identifier->baseBundleID());
}

}  // namespace

const fnd::Class& AFXRunningApplication::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXRunningApplication", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXRunningApplication>(new AFXRunningApplication); },
      {memberProperty("localizedName", &AFXRunningApplication::localizedName_),
       memberProperty("bundleIdentifier", &AFXRunningApplication::bundleIdentifier_),
       memberProperty("bundleURL", &AFXRunningApplication::bundleURL_),
       memberProperty("version", &AFXRunningApplication::version_),
       memberProperty("build", &AFXRunningApplication::build_),
       memberProperty("processIdentifier", &AFXRunningApplication::processIdentifier_)},
      &AFXRunningApplication::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXRunningApplication::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("localizedName", fnd::String::staticClass());
  reflection->addPropertyForSelector("bundleIdentifier", fnd::String::staticClass());
  reflection->addPropertyForSelector("bundleURL", fnd::URL::staticClass());
  reflection->addPropertyForSelector("version", fnd::String::staticClass());
  reflection->addPropertyForSelector("build", fnd::String::staticClass());
  reflection->addPropertyForSelector("processIdentifier", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<AFXRunningApplication> AFXRunningApplication::runningApplicationFromNSRunningApplication(
    const fnd::RunningApplication& application) {
  (void)staticClass();
  auto record = std::shared_ptr<AFXRunningApplication>(new AFXRunningApplication);
  record->processIdentifier_ = static_cast<std::int32_t>(application.processIdentifier);
  record->bundleURL_ = application.bundleURL;
  record->bundleIdentifier_ = nonEmpty(application.bundleIdentifier);
  auto bundle = application.bundleURL ? fnd::Bundle::bundleWithPath(application.bundleURL->path()) : nullptr;
  if (bundle) {
    record->localizedName_ = infoText(*bundle, "CFBundleDisplayName");
    if (!record->localizedName_) record->localizedName_ = infoText(*bundle, "CFBundleName");
    record->version_ = nonEmpty(bundle->shortVersionString());
    record->build_ = nonEmpty(bundle->bundleVersion());
  }
  // Without a name in the bundle the desktop shows the file's name.
  if (!record->localizedName_ && application.bundleURL) record->localizedName_ = displayName(*application.bundleURL);
  return record;
}

std::optional<std::string> AFXRunningApplication::name() const {
  if (!name_) {
    auto bundle = bundleURL_ ? fnd::Bundle::bundleWithPath(bundleURL_->path()) : nullptr;
    auto bundleName = bundle ? infoText(*bundle, "CFBundleName") : std::nullopt;
    name_ = bundleName ? bundleName : localizedName_;
  }
  return *name_;
}

std::shared_ptr<fnd::URL> AFXRunningApplication::icon() const {
  if (!icon_) icon_ = iconOfBundleAtURL(bundleURL_);
  return *icon_;
}

std::shared_ptr<AFXKorviaBundleID> AFXRunningApplication::korviaBundleID() const {
  if (!korviaBundleID_) {
    korviaBundleID_ = bundleIdentifier_ ? AFXKorviaBundleID::initWithBundleID(*bundleIdentifier_) : nullptr;
  }
  return *korviaBundleID_;
}

std::optional<std::string> AFXRunningApplication::localizedNameForSignIn() const {
  if (!localizedNameForSignIn_) {
    auto identifier = korviaBundleID();
    std::optional<std::string> name = localizedName_;
    if (identifier && identifier->kind() != AFXKorviaBundleIDKindBase) {
      if (auto base = baseApplicationURL(identifier)) name = displayName(*base);
    }
    localizedNameForSignIn_ = std::move(name);
  }
  return *localizedNameForSignIn_;
}

std::shared_ptr<fnd::URL> AFXRunningApplication::iconForSignIn() const {
  if (!iconForSignIn_) {
    auto identifier = korviaBundleID();
    if (!identifier) {
      iconForSignIn_ = nullptr;
    } else if (identifier->kind() == AFXKorviaBundleIDKindBase) {
      iconForSignIn_ = icon();
    } else {
      auto base = baseApplicationURL(identifier);
      iconForSignIn_ = base ? iconOfBundleAtURL(base) : nullptr;
    }
  }
  return *iconForSignIn_;
}

bool AFXRunningApplication::isEqual(const fnd::Object& other) const {
  const auto* application = dynamic_cast<const AFXRunningApplication*>(&other);
  return application != nullptr && application->processIdentifier_ == processIdentifier_ &&
         application->bundleIdentifier_ == bundleIdentifier_;
}

// Equal records must hash alike, so only what equality looks at is mixed in.
std::size_t AFXRunningApplication::hash() const {
  return std::hash<std::int32_t>{}(processIdentifier_) ^ afx_model_detail::hashOf(bundleIdentifier_);
}

std::string AFXRunningApplication::description() const {
  return fnd::StringWithFormat("%@ %@ pid = %@ at %@", AFXBaseModelObject::description(),
                               bundleIdentifier_ ? fnd::Value(*bundleIdentifier_) : fnd::Value(),
                               fnd::Value(static_cast<std::int64_t>(processIdentifier_)),
                               bundleURL_ ? bundleURL_->path() : "(null)");
}

std::shared_ptr<AFXRunningApplication> AFXRunningApplicationOfBundle(const AFXFileReferenceURL& bundle) {
  for (const auto& application : fnd::LaunchServices::runningApplications()) {
    if (!application.bundleURL) continue;
    auto reference = AFXFileReferenceURL::fileReferenceURLWithURL(*application.bundleURL);
    if (reference && reference->isEqual(bundle)) {
      return AFXRunningApplication::runningApplicationFromNSRunningApplication(application);
    }
  }
  return nullptr;
}

std::shared_ptr<AFXRunningApplication> AFXRunningApplicationOfBundleAtURL(const fnd::URL& bundleURL) {
  auto reference = AFXFileReferenceURL::fileReferenceURLWithURL(bundleURL);
  return reference ? AFXRunningApplicationOfBundle(*reference) : nullptr;
}
