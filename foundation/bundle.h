#pragma once

// Application bundles keep their layout on Linux:
// X.app/Contents/{Info.plist, MacOS/<executable>, Resources, PlugIns,
// Frameworks}, with ELF executables. A bundle is immutable once opened.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/dictionary.h"
#include "foundation/url.h"

namespace fnd {

class Bundle {
 public:
  // Null when the folder does not exist.
  static std::shared_ptr<Bundle> bundleWithPath(std::string path);
  // The bundle of the running program: the folder above Contents/MacOS when
  // the executable sits there, else the executable's own folder.
  static std::shared_ptr<Bundle> mainBundle();

  const std::string& bundlePath() const { return path_; }
  std::shared_ptr<URL> bundleURL() const { return URL::fileURLWithPath(path_, true); }

  // Contents/Info.plist (XML or binary); empty when it is missing or corrupt.
  const std::shared_ptr<Dictionary>& infoDictionary() const { return info_; }
  Value objectForInfoDictionaryKey(std::string_view key) const { return info_->objectForKey(key); }
  // "" when the information dictionary does not say.
  std::string bundleIdentifier() const;
  std::string shortVersionString() const;
  std::string bundleVersion() const;
  std::string executableName() const;

  std::optional<std::string> executablePath() const;
  std::string resourcePath() const;
  std::string builtInPlugInsPath() const;
  std::string privateFrameworksPath() const;
  // Looks in Resources, then in its Base.lproj and en.lproj folders. `type`
  // is the extension ("" when the name carries it).
  std::optional<std::string> pathForResource(std::string_view name, std::string_view type,
                                             std::string_view subdirectory = "") const;

 private:
  Bundle(std::string path, std::string contents, std::shared_ptr<Dictionary> info);
  std::string infoString(std::string_view key) const;

  std::string path_;
  // Contents/ for a bundle, the folder itself for a plain folder.
  std::string contents_;
  std::shared_ptr<Dictionary> info_;
};

}  // namespace fnd
