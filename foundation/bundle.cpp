#include "foundation/bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "foundation/process.h"
#include "foundation/property_list.h"

namespace fnd {

namespace {

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::shared_ptr<Dictionary> readInfoDictionary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Dictionary::make();
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto plist = PropertyListSerialization::propertyListWithData(bytes);
  auto info = plist ? plist->as<Dictionary>() : nullptr;
  return info ? info : Dictionary::make();
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

Bundle::Bundle(std::string path, std::string contents, std::shared_ptr<Dictionary> info)
    : path_(std::move(path)), contents_(std::move(contents)), info_(std::move(info)) {}

std::shared_ptr<Bundle> Bundle::bundleWithPath(std::string path) {
  path = withoutTrailingSlash(std::move(path));
  if (!isDirectory(path)) return nullptr;
  const std::string contents = isDirectory(path + "/Contents") ? path + "/Contents" : path;
  return std::shared_ptr<Bundle>(new Bundle(path, contents, readInfoDictionary(contents + "/Info.plist")));
}

std::shared_ptr<Bundle> Bundle::mainBundle() {
  static std::once_flag once;
  static std::shared_ptr<Bundle>* main = nullptr;
  std::call_once(once, [] {
    std::string executable = currentExecutablePath();
    if (executable.empty()) executable = "/";
    std::string folder = executable.substr(0, executable.rfind('/'));
    constexpr std::string_view kExecutables = "/Contents/MacOS";
    if (folder.ends_with(kExecutables)) folder.resize(folder.size() - kExecutables.size());
    main = new std::shared_ptr<Bundle>(bundleWithPath(folder.empty() ? "/" : folder));
  });
  return *main;
}

std::string Bundle::infoString(std::string_view key) const {
  return info_->objectForKey(key).stringValue().value_or("");
}

std::string Bundle::bundleIdentifier() const { return infoString("CFBundleIdentifier"); }
std::string Bundle::shortVersionString() const { return infoString("CFBundleShortVersionString"); }
std::string Bundle::bundleVersion() const { return infoString("CFBundleVersion"); }
std::string Bundle::executableName() const { return infoString("CFBundleExecutable"); }

std::optional<std::string> Bundle::executablePath() const {
  const std::string name = executableName();
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  return contents_ + "/MacOS/" + name;
}

std::string Bundle::resourcePath() const { return contents_ + "/Resources"; }
std::string Bundle::builtInPlugInsPath() const { return contents_ + "/PlugIns"; }
std::string Bundle::privateFrameworksPath() const { return contents_ + "/Frameworks"; }

std::optional<std::string> Bundle::pathForResource(std::string_view name, std::string_view type,
                                                   std::string_view subdirectory) const {
  // Names come from code, but a name that climbs out of the bundle is never
  // looked up.
  if (name.empty() || name.find("..") != std::string_view::npos || subdirectory.find("..") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string file(name);
  if (!type.empty()) file += (type.front() == '.' ? "" : ".") + std::string(type);
  std::string base = resourcePath();
  if (!subdirectory.empty()) base += "/" + std::string(subdirectory);
  for (const char* localization : {"", "/Base.lproj", "/en.lproj"}) {
    const std::string candidate = base + localization + "/" + file;
    if (isFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace fnd
