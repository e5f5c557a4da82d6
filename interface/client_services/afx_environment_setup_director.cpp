#include "interface/client_services/afx_environment_setup_director.h"

#include <fstream>
#include <sstream>

#include "foundation/array.h"
#include "foundation/bundle.h"
#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/file_manager.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/queue.h"
#include "foundation/search_paths.h"
#include "foundation/user_defaults.h"
#include "foundation/uuid.h"
#include "interface/apps_management/model/afx_file_reference_url.h"
#include "interface/client_services/afx_extension_controller.h"
#include "logging/dd_log_macros.h"

namespace {

constexpr std::string_view kExtensionPath = "Contents/PlugIns/FinderSyncExt.appex";
constexpr std::string_view kServiceName = "Korvia";

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

std::string folderText(const fnd::URL& folderURL) {
  std::string text = fnd::URL::fileURLWithPath(folderURL.path(), true)->absoluteString();
  if (!text.ends_with('/')) text.push_back('/');
  return text;
}

// The folder's identity and place, as the dock tile keeps it.
std::shared_ptr<fnd::Data> bookmarkData(const fnd::URL& folderURL) {
  auto reference = AFXFileReferenceURL::fileReferenceURLWithURL(folderURL);
  if (!reference) return nullptr;
  auto record = fnd::Dictionary::make(
      {{fnd::Value("path"), fnd::Value(folderURL.path())},
       {fnd::Value("device"), fnd::Value(fnd::Number::numberWithUnsignedInteger(reference->device()))},
       {fnd::Value("inode"), fnd::Value(fnd::Number::numberWithUnsignedInteger(reference->inode()))}});
  auto bytes = fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(record), fnd::PropertyListFormat::binary);
  return bytes ? fnd::Data::make(std::move(*bytes)) : nullptr;
}

bool isTileOfFolder(const fnd::Value& tile, const std::string& text) {
  auto entry = tile.as<fnd::Dictionary>();
  auto data = entry ? entry->objectForKey("tile-data").as<fnd::Dictionary>() : nullptr;
  auto file = data ? data->objectForKey("file-data").as<fnd::Dictionary>() : nullptr;
  return file && file->objectForKey("_CFURLString").stringValue() == text;
}

fnd::Value newTile(const std::string& text, const std::shared_ptr<fnd::Data>& bookmark) {
  auto number = [](std::int64_t value) { return fnd::Value(fnd::Number::numberWithInteger(value)); };
  auto fileData = fnd::Dictionary::make(
      {{fnd::Value("_CFURLString"), fnd::Value(text)}, {fnd::Value("_CFURLStringType"), number(15)}});
  auto tileData = fnd::Dictionary::make({{fnd::Value("arrangement"), number(2)},
                                         {fnd::Value("book"), fnd::Value(bookmark)},
                                         {fnd::Value("displayas"), number(1)},
                                         {fnd::Value("file-data"), fnd::Value(fileData)},
                                         {fnd::Value("file-label"), fnd::Value(std::string(kServiceName))},
                                         {fnd::Value("file-type"), number(2)},
                                         {fnd::Value("showas"), number(2)}});
  return fnd::Value(fnd::Dictionary::make({{fnd::Value("GUID"), fnd::Value(fnd::UUID::make()->UUIDString())},
                                           {fnd::Value("tile-type"), fnd::Value("directory-tile")},
                                           {fnd::Value("tile-data"), fnd::Value(tileData)}}));
}

bool writeText(const std::string& path, const std::string& text) {
  return files().createFileAtPath(path, std::vector<std::uint8_t>(text.begin(), text.end())).hasValue();
}

// A value of a desktop entry: backslashes and line breaks escaped.
std::string desktopEntryValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else escaped.push_back(c);
  }
  return escaped;
}

}  // namespace

bool AFXEnvironmentSetupDirector::setFolderIcon(const fnd::URL& folderURL, const std::string& iconPath) {
  fnd::ProcessLaunchOptions options;
  options.executablePath = "gio";
  options.searchPath = true;
  options.arguments = {"set", "-t", "string", folderURL.path(), "metadata::custom-icon",
                       fnd::URL::fileURLWithPath(iconPath)->absoluteString()};
  options.captureStandardError = true;
  auto ran = fnd::Process::run(std::move(options));
  if (ran && ran->status == 0) return true;
  // Without a metadata store, the folder says its icon itself.
  return writeText(folderURL.path() + "/.directory", "[Desktop Entry]\nIcon=" + desktopEntryValue(iconPath) + "\n");
}

std::string AFXEnvironmentSetupDirector::sidebarBookmarksPath() {
  return fnd::SearchPaths::path(fnd::SearchPathLocation::userPreferences) + "/gtk-3.0/bookmarks";
}

bool AFXEnvironmentSetupDirector::addShortcutToFinderSidebar(const std::shared_ptr<fnd::URL>& folderURL) {
  DDLogInfo("Adding shortcut to finder sidebar of environment preparation");
  if (!folderURL) return false;
  const std::string path = sidebarBookmarksPath();
  if (!files().createDirectoryAtPath(fnd::URL::fileURLWithPath(path)->URLByDeletingLastPathComponent()->path(), true)) {
    return false;
  }
  std::string existing;
  if (files().fileExistsAtPath(path)) {
    auto bytes = files().contentsAtPath(path);
    if (!bytes) return false;
    existing.assign(bytes->begin(), bytes->end());
  }
  // An entry is the URL, optionally followed by a space and a label.
  const std::string entry = folderText(*folderURL);
  std::stringstream lines(existing);
  std::string kept = entry + " " + std::string(kServiceName) + "\n";
  for (std::string line; std::getline(lines, line);) {
    const std::string url = line.substr(0, line.find(' '));
    if (url == entry || url + "/" == entry || line.empty()) continue;
    kept += line + "\n";
  }
  (void)writeText(path, kept);
  return true;
}

std::string AFXEnvironmentSetupDirector::dockLauncherPathForFolder(const fnd::URL& folderURL) {
  return fnd::SearchPaths::path(fnd::SearchPathLocation::userApplicationSupport) + "/applications/korvia-folder-" +
         std::to_string(std::hash<std::string>{}(folderURL.path())) + ".desktop";
}

bool AFXEnvironmentSetupDirector::persistanceOfShortcutInDockOfFolder(const fnd::URL& folderURL) {
  auto dock = fnd::UserDefaults::create(AFXDockPreferencesDomain);
  if (!dock) return false;
  (void)dock->synchronize();
  auto tiles = dock->arrayForKey(AFXDockPersistentOthersKey);
  if (!tiles) return false;
  const std::string text = folderText(folderURL);
  for (const auto& tile : tiles->elements()) {
    if (isTileOfFolder(tile, text)) return true;
  }
  return false;
}

bool AFXEnvironmentSetupDirector::changePersistanceOfShortcutInDockOfFolder(const fnd::URL& folderURL, bool add,
                                                                            const std::function<void()>& completion) {
  FND_PARAMETER_ASSERT_TEXT(!fnd::Queue::main().isCurrent(), "![NSThread isMainThread]");
  DDLogInfo("Adding shortcut to dock of environment preparation");
  auto bookmark = bookmarkData(folderURL);
  if (!bookmark) return false;
  auto dock = fnd::UserDefaults::create(AFXDockPreferencesDomain);
  if (!dock) return false;
  (void)dock->synchronize();
  const std::string text = folderText(folderURL);
  std::vector<fnd::Value> tiles;
  if (auto stored = dock->arrayForKey(AFXDockPersistentOthersKey)) tiles = stored->elements();
  std::erase_if(tiles, [&](const fnd::Value& tile) { return isTileOfFolder(tile, text); });
  const std::string launcher = dockLauncherPathForFolder(folderURL);
  if (add) {
    tiles.insert(tiles.begin(), newTile(text, bookmark));
    (void)files().createDirectoryAtPath(fnd::URL::fileURLWithPath(launcher)->URLByDeletingLastPathComponent()->path(), true);
    (void)writeText(launcher, "[Desktop Entry]\nType=Application\nName=" + std::string(kServiceName) +
                                  "\nIcon=folder\nExec=xdg-open " + desktopEntryValue(folderURL.path()) + "\n");
  } else {
    (void)files().removeItemAtPath(launcher);
  }
  if (auto stored = dock->setObject(fnd::Value(fnd::Array::make(std::move(tiles))), AFXDockPersistentOthersKey); !stored) {
    DDLogError("Cannot store the dock's tiles: %@", stored.error());
  }
  if (completion) completion();
  return true;
}

void AFXEnvironmentSetupDirector::installShortcutsToFolder(const fnd::URL& folderURL,
                                                           const std::function<void(double)>& progressHandler) {
  auto bundle = fnd::Bundle::mainBundle();
  if (bundle) {
    for (const char* type : {"png", "svg"}) {
      if (auto icon = bundle->pathForResource(AFXFolderIconResourceName, type)) {
        (void)setFolderIcon(folderURL, *icon);
        break;
      }
    }
    auto extension = AFXExtensionController::initWithURL(
        *fnd::URL::fileURLWithPath(bundle->bundlePath() + "/" + std::string(kExtensionPath), true));
    if (extension) extension->setExtensionEnabled(true);
  }
  if (progressHandler) progressHandler(0.5);
  (void)addShortcutToFinderSidebar(fnd::URL::fileURLWithPath(folderURL.path(), true));
  if (progressHandler) progressHandler(1.0);
}
