#include "interface/placement/afx_permissions.h"

#include "foundation/file_manager.h"

namespace {

constexpr std::uint16_t kOwnerBits = 0700;

std::uint16_t openedPermissions(std::uint16_t permissions) {
  const auto owner = static_cast<std::uint16_t>(permissions & kOwnerBits);
  return static_cast<std::uint16_t>(permissions | (owner >> 3) | (owner >> 6));
}

}  // namespace

bool AFXFixPermissions(const fnd::URL& url, std::optional<fnd::Error>* error) {
  const fnd::FileManager& manager = fnd::FileManager::defaultManager();
  const std::string path = url.path();
  auto attributes = manager.attributesOfItemAtPath(path);
  if (!attributes) {
    if (error != nullptr) *error = attributes.error();
    return false;
  }
  if (attributes->type == fnd::FileType::symbolicLink) return true;
  const std::uint16_t wanted = openedPermissions(attributes->posixPermissions);
  if (wanted == attributes->posixPermissions) return true;
  auto written = manager.setAttributes({.posixPermissions = wanted}, path);
  if (!written) {
    if (error != nullptr) *error = written.error();
    return false;
  }
  return true;
}

bool AFXFixPermissionsRecursive(const fnd::URL& url, const AFXPermissionsErrorHandler& onError) {
  bool stopped = false;
  auto report = [&](const fnd::Error& error) {
    if (onError && !onError(error)) stopped = true;
    return !stopped;
  };
  std::optional<fnd::Error> error;
  if (!AFXFixPermissions(url, &error) && !report(*error)) return false;
  // Fixing a folder first opens it for the walk that follows.
  auto enumerator = fnd::FileManager::defaultManager().enumeratorAtURL(
      url, {}, [&](const fnd::URL&, const fnd::Error& walkError) { return report(walkError); });
  while (auto item = enumerator.nextObject()) {
    error.reset();
    if (!AFXFixPermissions(*item, &error) && !report(*error)) return false;
  }
  return !stopped;
}
