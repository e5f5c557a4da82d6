#include "interface/model/afx_environment.h"

#include <unistd.h>

#include <array>

#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "foundation/search_paths.h"
#include "interface/model/afx_model_support.h"
#include "interface/model/afx_secure_serialization.h"

namespace {

bool isWritableDirectory(const std::string& path) {
  bool isDirectory = false;
  return fnd::FileManager::defaultManager().fileExistsAtPath(path, &isDirectory) && isDirectory &&
         ::access(path.c_str(), W_OK) == 0;
}

// The key text is put together a character at a time so that it does not
// sit in the binary as one string.
const afx_model_detail::SerializationKey& environmentSerializationKey() {
  static const afx_model_detail::SerializationKey key = [] {
    constexpr std::array<std::uint8_t, 44> masked = {
        0x11, 0x35, 0x28, 0x2c, 0x33, 0x3b, 0x77, 0x1f, 0x34, 0x2c, 0x33, 0x28, 0x35, 0x34, 0x37,
        0x3f, 0x34, 0x2e, 0x77, 0x6a, 0x6d, 0x77, 0x09, 0x3f, 0x39, 0x2f, 0x28, 0x3f, 0x77, 0x08,
        0x3f, 0x3e, 0x33, 0x28, 0x3f, 0x39, 0x2e, 0x77, 0x0c, 0x3f, 0x28, 0x29, 0x33, 0x35};
    std::string text;
    for (std::uint8_t c : masked) text.push_back(static_cast<char>(c ^ 0x5a));
    return afx_model_detail::serializationKeyFromText(text);
  }();
  return key;
}

}  // namespace

const fnd::Class& AFXEnvironment::staticClass() {
  using afx_model_detail::memberProperty;
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXEnvironment", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXEnvironment>(new AFXEnvironment); },
      {memberProperty("identifier", &AFXEnvironment::identifier_),
       memberProperty("endpointsManifest", &AFXEnvironment::endpointsManifest_),
       memberProperty("URLForAppsDirectory", &AFXEnvironment::appsDirectory_),
       memberProperty("URLForPersistentDirectory", &AFXEnvironment::persistentDirectory_),
       memberProperty("URLForResourcesDirectory", &AFXEnvironment::resourcesDirectory_),
       memberProperty("URLForTeasersDirectory", &AFXEnvironment::teasersDirectory_)},
      &AFXEnvironment::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXEnvironment::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("identifier", AFXEnvironmentID::staticClass());
  reflection->addPropertyForSelector("endpointsManifest", AFXEndpointsManifest::staticClass());
  reflection->addPropertyForSelector("URLForAppsDirectory", fnd::URL::staticClass());
  reflection->addPropertyForSelector("URLForPersistentDirectory", fnd::URL::staticClass());
  reflection->addPropertyForSelector("URLForResourcesDirectory", fnd::URL::staticClass());
  reflection->addPropertyForSelector("URLForTeasersDirectory", fnd::URL::staticClass());
  return reflection;
}

std::shared_ptr<AFXEnvironment> AFXEnvironment::initWithIdentifier(std::shared_ptr<AFXEnvironmentID> identifier,
                                                                   std::shared_ptr<AFXEndpointsManifest> manifest) {
  FND_PARAMETER_ASSERT(identifier != nullptr);
  (void)staticClass();
  auto environment = std::shared_ptr<AFXEnvironment>(new AFXEnvironment);
  environment->identifier_ = std::move(identifier);
  environment->endpointsManifest_ = std::move(manifest);
  return environment;
}

std::optional<std::string> AFXEnvironment::name() const {
  return endpointsManifest_ ? endpointsManifest_->name() : std::nullopt;
}

std::optional<std::string> AFXEnvironment::displayName() const {
  if (!identifier_ || identifier_->isDefault()) return std::nullopt;
  auto manifestURL = identifier_->manifestURL();
  return fnd::StringWithFormat("%@ (%@)", name().value_or("(null)"), manifestURL ? manifestURL->host() : "");
}

bool AFXEnvironment::isEqual(const fnd::Object& other) const {
  const auto* environment = dynamic_cast<const AFXEnvironment*>(&other);
  return environment != nullptr && fnd::Value(identifier_).isEqual(fnd::Value(environment->identifier_));
}

std::size_t AFXEnvironment::hash() const { return afx_model_detail::hashOf(fnd::Value(identifier_)); }

std::string AFXEnvironment::description() const {
  return fnd::StringWithFormat("Environment <%p> (%@ at %@)", reinterpret_cast<std::uintptr_t>(this),
                               name().value_or("(null)"),
                               fnd::Value(endpointsManifest_ ? endpointsManifest_->originURL() : nullptr));
}

std::vector<std::uint8_t> AFXEnvironmentGetSecureSerialization(const AFXEnvironment& environment) {
  return afx_model_detail::secureSerialize(
      fnd::Value(std::const_pointer_cast<fnd::Object>(environment.shared_from_this())), environmentSerializationKey());
}

std::shared_ptr<AFXEnvironment> AFXEnvironmentMakeFromSecureSerialization(std::span<const std::uint8_t> data) {
  return afx_model_detail::secureDeserialize(data, environmentSerializationKey(), AFXEnvironment::staticClass())
      .as<AFXEnvironment>();
}

std::shared_ptr<fnd::URL> QVAcceptableURLDomainMask(unsigned domainMask) {
  std::vector<std::string> candidates;
  if ((domainMask & QVUserDomainMask) != 0) {
    candidates.push_back(fnd::SearchPaths::path(fnd::SearchPathLocation::userApplications));
  }
  if ((domainMask & QVLocalDomainMask) != 0) {
    candidates.push_back(fnd::SearchPaths::path(fnd::SearchPathLocation::applications));
  }
  for (const std::string& path : candidates) {
    if ((domainMask & QVUserDomainMask) != 0) {
      // A missing folder is simply not writable; the next candidate decides.
      (void)fnd::FileManager::defaultManager().createDirectoryAtPath(path, true);
    }
    if (isWritableDirectory(path)) return fnd::URL::fileURLWithPath(path, true);
  }
  return nullptr;
}

namespace afx_environment_detail {

std::shared_ptr<fnd::URL> appsDirectoryURL() {
  for (unsigned mask : {unsigned{QVLocalDomainMask}, unsigned{QVUserDomainMask}}) {
    if (auto folder = QVAcceptableURLDomainMask(mask)) return folder->URLByAppendingPathComponent("Korvia", true);
  }
  return fnd::URL::fileURLWithPath(fnd::SearchPaths::resolve("/Applications/Korvia"), true);
}

std::shared_ptr<fnd::URL> ensureTeasersDirectoryURL() {
  const std::string path = fnd::SearchPaths::resolve("/Users/Shared/Korvia/Apps");
  const fnd::FileManager& files = fnd::FileManager::defaultManager();
  const fnd::FileAttributeChanges worldWritable{.posixPermissions = 0777};
  bool isDirectory = false;
  if (files.fileExistsAtPath(path, &isDirectory) && isDirectory) {
    // Teaser apps of every user of the machine go here.
    (void)files.setAttributes(worldWritable, path);
  } else {
    // A file or a dangling link in the way is replaced by the folder.
    (void)files.removeItemAtPath(path);
    if (files.createDirectoryAtPath(path, true, worldWritable)) {
      // The umask may have narrowed what creation set.
      (void)files.setAttributes(worldWritable, path);
    }
  }
  return fnd::URL::fileURLWithPath(path, true);
}

std::shared_ptr<fnd::URL> environmentDirectoryURL(const AFXEnvironmentID& identifier, std::string_view leaf) {
  auto url = fnd::URL::fileURLWithPath(fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport), true)
                 ->URLByAppendingPathComponent("Korvia", true)
                 ->URLByAppendingPathComponent(identifier.directoryName(), true)
                 ->URLByAppendingPathComponent(leaf, true);
  (void)fnd::FileManager::defaultManager().createDirectoryAtURL(*url, true);
  return url;
}

}  // namespace afx_environment_detail
