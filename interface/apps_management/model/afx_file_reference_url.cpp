#include "interface/apps_management/model/afx_file_reference_url.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "foundation/search_paths.h"
#include "interface/model/afx_model_support.h"

namespace {

// How far a moved file is looked for: this many folders above its last
// place, and this deep below each folder searched.
constexpr int kAncestorLevels = 3;
constexpr std::size_t kSearchDepth = 3;

std::optional<fnd::FileAttributes> attributesOf(const std::string& path) {
  auto attributes = fnd::FileManager::defaultManager().attributesOfItemAtPath(path);
  if (!attributes) return std::nullopt;
  return *attributes;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string userTrashPath() {
  return fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport) + "/Trash";
}

}  // namespace

const fnd::Class& AFXFileReferenceURL::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXFileReferenceURL", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<AFXFileReferenceURL> AFXFileReferenceURL::fileReferenceURLWithURL(const fnd::URL& url) {
  if (!url.isFileURL()) return nullptr;
  const std::string path = url.path();
  const auto attributes = attributesOf(path);
  if (!attributes) return nullptr;
  (void)staticClass();
  return std::shared_ptr<AFXFileReferenceURL>(
      new AFXFileReferenceURL(static_cast<dev_t>(attributes->systemNumber), static_cast<ino_t>(attributes->systemFileNumber),
                              path, attributes->type == fnd::FileType::directory));
}

bool AFXFileReferenceURL::identifies(const std::string& path) const {
  const auto attributes = attributesOf(path);
  return attributes && attributes->systemNumber == static_cast<std::uint64_t>(device_) &&
         attributes->systemFileNumber == static_cast<std::uint64_t>(inode_);
}

std::optional<std::string> AFXFileReferenceURL::search() const {
  std::vector<std::string> roots;
  std::string folder = parentOf(lastKnownPath_);
  for (int level = 0; level < kAncestorLevels && folder != "/"; ++level, folder = parentOf(folder)) {
    roots.push_back(folder);
  }
  roots.push_back(fnd::SearchPaths::path(fnd::SearchPathLocation::applications));
  roots.push_back(fnd::SearchPaths::path(fnd::SearchPathLocation::userApplications));
  roots.push_back(userTrashPath());

  for (const std::string& root : roots) {
    // A move keeps the file on its file system; other ones cannot hold it.
    const auto rootAttributes = attributesOf(root);
    if (!rootAttributes || rootAttributes->systemNumber != static_cast<std::uint64_t>(device_)) continue;
    auto enumerator = fnd::FileManager::defaultManager().enumeratorAtURL(
        *fnd::URL::fileURLWithPath(root, true), {.skipsPackageDescendants = true},
        [](const fnd::URL&, const fnd::Error&) { return true; });
    while (auto item = enumerator.nextObject()) {
      const std::string path = item->path();
      if (identifies(path)) return path;
      if (enumerator.level() >= kSearchDepth) enumerator.skipDescendants();
    }
  }
  return std::nullopt;
}

std::shared_ptr<fnd::URL> AFXFileReferenceURL::filePathURL() const {
  if (!identifies(lastKnownPath_)) {
    auto found = search();
    if (!found) return nullptr;
    lastKnownPath_ = *found;
  }
  return fnd::URL::fileURLWithPath(lastKnownPath_, isDirectory_);
}

std::shared_ptr<fnd::URL> AFXFileReferenceURL::lastKnownFilePathURL() const {
  return fnd::URL::fileURLWithPath(lastKnownPath_, isDirectory_);
}

bool AFXFileReferenceURL::isEqual(const fnd::Object& other) const {
  const auto* reference = dynamic_cast<const AFXFileReferenceURL*>(&other);
  return reference != nullptr && reference->device_ == device_ && reference->inode_ == inode_;
}

std::size_t AFXFileReferenceURL::hash() const {
  return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(inode_)) ^
         (std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(device_)) << 1);
}

std::string AFXFileReferenceURL::description() const {
  return fnd::StringWithFormat("file:///.file/id=%@.%@ (%@)", static_cast<std::uint64_t>(device_),
                               static_cast<std::uint64_t>(inode_), lastKnownPath_);
}

// AFXFileReferenceURLToFilePathURLValueTransformer

std::shared_ptr<const AFXFileReferenceURLToFilePathURLValueTransformer>
AFXFileReferenceURLToFilePathURLValueTransformer::shared() {
  static const auto transformer = std::make_shared<const AFXFileReferenceURLToFilePathURLValueTransformer>();
  return transformer;
}

fnd::Value AFXFileReferenceURLToFilePathURLValueTransformer::transformedValue(const fnd::Value& value) const {
  const auto reference = value.as<AFXFileReferenceURL>();
  if (!reference) return value;
  auto path = reference->filePathURL();
  return fnd::Value(path ? path : reference->lastKnownFilePathURL());
}

fnd::Value AFXFileReferenceURLToFilePathURLValueTransformer::reverseTransformedValue(const fnd::Value& value) const {
  const auto url = value.as<fnd::URL>();
  if (!url) return value;
  auto reference = AFXFileReferenceURL::fileReferenceURLWithURL(*url);
  return reference ? fnd::Value(reference) : value;
}

// Lost copies

bool inTrash(const fnd::URL& url) {
  const std::string path = url.path();
  if (path.find("/.Trash/") != std::string::npos || path.find("/.Trash-") != std::string::npos) return true;
  const std::string trash = userTrashPath() + "/";
  return path.compare(0, trash.size(), trash) == 0;
}

namespace {

bool inSystemBackup(const std::string& path) {
  std::size_t start = 0;
  while (start < path.size()) {
    const auto end = std::min(path.find('/', start), path.size());
    const std::string component = path.substr(start, end - start);
    const auto dot = component.find_last_of('.');
    if (dot != std::string::npos && component.substr(dot + 1) == "backupdb") return true;
    start = end + 1;
  }
  return false;
}

bool inCloneToolBackup(const std::string& path) {
  for (std::string folder = path;; folder = parentOf(folder)) {
    auto items = fnd::FileManager::defaultManager().contentsOfDirectoryAtPath(folder);
    if (items) {
      for (const std::string& name : *items) {
        if (lowercased(name).starts_with("_ccc safetynet")) return true;
      }
    }
    if (folder == "/") return false;
  }
}

bool inVersionedBackup(const std::string& path) {
  // Names compare in lower case; the folder is looked up as it is spelt.
  for (std::string folder = path; folder != "/" && !folder.empty(); folder = parentOf(folder)) {
    const std::string name = lowercased(folder.substr(folder.find_last_of('/') + 1));
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) continue;
    const std::string extension = name.substr(dot + 1);
    if (!extension.starts_with("wrp")) continue;
    const std::string digits = extension.substr(3);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
      continue;
    }
    bool isDirectory = false;
    if (fnd::FileManager::defaultManager().fileExistsAtPath(folder, &isDirectory) && isDirectory &&
        extension == "wrp" + std::to_string(std::stoull(digits.substr(0, 18)))) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool inBackup(const fnd::URL& url) {
  const std::string path = url.path();
  return inSystemBackup(path) || inCloneToolBackup(path) || inVersionedBackup(path);
}

bool isLostForMonitoring(const fnd::URL& url) { return inTrash(url) || inBackup(url); }
