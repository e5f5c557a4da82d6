#include "desktop_client/afx_reference_client_setup.h"

#include <unistd.h>

#include <algorithm>
#include <future>
#include <optional>
#include <set>
#include <sstream>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/queue.h"
#include "foundation/user_defaults.h"
#include "interface/client_services/afx_environment_setup_director.h"
#include "interface/client_services/afx_extension_controller.h"
#include "logging/dd_log_macros.h"

namespace {

// Where the set-up director looks for the client's file-manager extension.
constexpr std::string_view kExtensionPath = "/Contents/PlugIns/FinderSyncExt.appex";
constexpr std::string_view kAgentsPath = "/Contents/Library/LaunchServices";
constexpr std::string_view kIconAttribute = "metadata::custom-icon";

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

std::string parentOf(std::string path) {
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  return path.substr(0, path.rfind('/'));
}

std::optional<std::string> readText(const std::string& path) {
  auto bytes = files().contentsAtPath(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

bool writeText(const std::string& path, const std::string& text) {
  return files().createFileAtPath(path, std::vector<std::uint8_t>(text.begin(), text.end())).hasValue();
}

// The sidebar's text of a folder, as the set-up director writes it.
std::string folderText(const fnd::URL& folderURL) {
  std::string text = fnd::URL::fileURLWithPath(folderURL.path(), true)->absoluteString();
  if (!text.ends_with('/')) text.push_back('/');
  return text;
}

// A value of a desktop entry, escaped as the set-up director escapes it.
std::string desktopEntryValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

// The dock change must not run on the main queue, which the caller may hold.
bool onGlobalQueue(const std::function<bool()>& work) {
  std::promise<bool> done;
  auto result = done.get_future();
  fnd::Queue::global(fnd::QualityOfService::utility).async([&] { done.set_value(work()); });
  return result.get();
}

std::optional<std::string> runGio(std::vector<std::string> arguments) {
  fnd::ProcessLaunchOptions options;
  options.executablePath = "gio";
  options.searchPath = true;
  options.arguments = std::move(arguments);
  options.captureStandardOutput = true;
  options.captureStandardError = true;
  auto ran = fnd::Process::run(std::move(options));
  if (!ran || ran->status != 0) return std::nullopt;
  return std::string(ran->standardOutput.begin(), ran->standardOutput.end());
}

}  // namespace

struct AFXReferenceClientSetup::Receipt {
  std::set<std::string> createdFolders;
  std::set<std::string> createdFiles;
  // The folder settings file the icon replaced.
  std::shared_ptr<fnd::Data> replacedFolderSettings;

  static Receipt read(const std::string& path) {
    Receipt receipt;
    auto bytes = files().contentsAtPath(path);
    if (!bytes) return receipt;
    auto plist = fnd::PropertyListSerialization::propertyListWithData(*bytes);
    auto dictionary = plist ? plist->as<fnd::Dictionary>() : nullptr;
    if (!dictionary) return receipt;
    auto strings = [&](std::string_view key, std::set<std::string>& into) {
      if (auto array = dictionary->objectForKey(key).as<fnd::Array>()) {
        for (const auto& element : *array) {
          if (auto text = element.stringValue()) into.insert(*text);
        }
      }
    };
    strings("CreatedFolders", receipt.createdFolders);
    strings("CreatedFiles", receipt.createdFiles);
    receipt.replacedFolderSettings = dictionary->objectForKey("ReplacedFolderSettings").as<fnd::Data>();
    return receipt;
  }

  bool write(const std::string& path) const {
    auto array = [](const std::set<std::string>& items) {
      std::vector<fnd::Value> values;
      for (const auto& item : items) values.emplace_back(item);
      return fnd::Value(fnd::Array::make(std::move(values)));
    };
    std::vector<fnd::Dictionary::Entry> entries{{fnd::Value("CreatedFolders"), array(createdFolders)},
                                                {fnd::Value("CreatedFiles"), array(createdFiles)}};
    if (replacedFolderSettings) entries.emplace_back(fnd::Value("ReplacedFolderSettings"), fnd::Value(replacedFolderSettings));
    auto xml = fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(fnd::Dictionary::make(std::move(entries))),
                                                                    fnd::PropertyListFormat::xml);
    return xml && files().createFileAtPath(path, *xml).hasValue();
  }

  // Every folder from `folder` up that does not exist yet.
  void noteMissingFolders(std::string folder) {
    while (!folder.empty() && !files().fileExistsAtPath(folder)) {
      createdFolders.insert(folder);
      folder = parentOf(folder);
    }
  }
};

AFXReferenceClientSetup::AFXReferenceClientSetup(std::shared_ptr<fnd::URL> appsFolder, std::string stateFolder)
    : clientBundle_(fnd::Bundle::mainBundle()),
      appsFolder_(fnd::URL::fileURLWithPath(appsFolder->path(), true)),
      stateFolder_(std::move(stateFolder)) {}

std::vector<AFXAgent> AFXReferenceClientSetup::agents() const {
  std::vector<AFXAgent> agents;
  if (!clientBundle_) return agents;
  auto names = files().contentsOfDirectoryAtPath(clientBundle_->bundlePath() + std::string(kAgentsPath));
  if (!names) return agents;
  std::sort(names->begin(), names->end());
  for (const auto& name : *names) {
    if (name.ends_with(".app")) agents.push_back(AFXAgent::initWithSourceName(name, clientBundle_->bundleURL()));
  }
  return agents;
}

std::string AFXReferenceClientSetup::folderIconPath() const {
  if (!clientBundle_) return "";
  // The set-up director's order.
  for (const char* type : {"png", "svg"}) {
    if (auto icon = clientBundle_->pathForResource(AFXFolderIconResourceName, type)) return *icon;
  }
  return "";
}

std::string AFXReferenceClientSetup::folderSettingsPath() const { return appsFolder_->path() + "/.directory"; }

std::string AFXReferenceClientSetup::folderSettingsText() const {
  return "[Desktop Entry]\nIcon=" + desktopEntryValue(folderIconPath()) + "\n";
}

std::string AFXReferenceClientSetup::bookmarksWithoutFolder(const std::string& bookmarks, const fnd::URL& folderURL) {
  const std::string entry = folderText(folderURL);
  std::stringstream lines(bookmarks);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.find(' ');
    const std::string url = line.substr(0, space);
    const std::string label = space == std::string::npos ? "" : line.substr(space + 1);
    if ((url == entry || url + "/" == entry) && label == AFXReferenceClientBookmarkLabel) continue;
    kept += line + "\n";
  }
  return kept;
}

// Setting up

std::vector<std::string> AFXReferenceClientSetup::setUp() const {
  std::vector<std::string> problems;
  Receipt receipt = Receipt::read(receiptPath());
  const std::string folder = appsFolder_->path();
  receipt.noteMissingFolders(folder);
  const std::string bookmarks = AFXEnvironmentSetupDirector::sidebarBookmarksPath();
  receipt.noteMissingFolders(parentOf(bookmarks));
  if (!files().fileExistsAtPath(bookmarks)) receipt.createdFiles.insert(bookmarks);
  receipt.noteMissingFolders(parentOf(AFXEnvironmentSetupDirector::dockLauncherPathForFolder(*appsFolder_)));
  if (auto settings = readText(folderSettingsPath()); settings && *settings != folderSettingsText()) {
    receipt.replacedFolderSettings = fnd::Data::make(*settings);
  }
  for (const auto& agent : agents()) {
    receipt.noteMissingFolders(parentOf(agent.plistDestinationURL()->path()));
    receipt.noteMissingFolders(parentOf(agent.bundleDestinationURL()->path()));
  }
  // Kept before the steps run, so that an interrupted set-up is undone too.
  if (auto made = files().createDirectoryAtPath(stateFolder_, true); !made || !receipt.write(receiptPath())) {
    problems.push_back("Cannot keep the set-up's receipt in " + receiptPath());
  }
  if (auto made = files().createDirectoryAtPath(folder, true); !made) {
    problems.push_back("Cannot make the apps folder: " + made.error().description());
  }

  AFXEnvironmentSetupDirector::installShortcutsToFolder(*appsFolder_, nullptr);
  if (!onGlobalQueue([this] {
        return AFXEnvironmentSetupDirector::changePersistanceOfShortcutInDockOfFolder(*appsFolder_, true, nullptr);
      })) {
    problems.push_back("Cannot pin " + folder + " to the dock");
  }
  installAgents(problems);
  return problems;
}

void AFXReferenceClientSetup::installAgents(std::vector<std::string>& problems) const {
  std::vector<AFXAgent> installed;
  for (const auto& agent : agents()) {
    if (agent.bundleID().empty()) {
      problems.push_back("The agent " + agent.name() + " has no bundle identifier");
      continue;
    }
    if (!agent.wantsUpdate()) continue;
    // Replaced while stopped, then started afresh.
    if (agent.isLoaded()) AFXAgent::unloadAgents({agent});
    std::optional<fnd::Error> error;
    if (!agent.installWithError(&error)) {
      problems.push_back(error ? error->description() : "Cannot install the agent " + agent.name());
      continue;
    }
    installed.push_back(agent);
  }
  // A service manager that fails is logged; the agents stay installed.
  if (!installed.empty()) AFXAgent::loadAgents(installed);
}

// Undoing

std::vector<std::string> AFXReferenceClientSetup::undo() const {
  std::vector<std::string> problems;
  const Receipt receipt = Receipt::read(receiptPath());
  removeAgents(problems);

  const std::string launcher = AFXEnvironmentSetupDirector::dockLauncherPathForFolder(*appsFolder_);
  if (!onGlobalQueue([this] {
        return AFXEnvironmentSetupDirector::changePersistanceOfShortcutInDockOfFolder(*appsFolder_, false, nullptr);
      })) {
    // The folder is gone, so its tile cannot be told; the launcher goes anyway.
    (void)files().removeItemAtPath(launcher);
  }

  const std::string bookmarks = AFXEnvironmentSetupDirector::sidebarBookmarksPath();
  if (auto text = readText(bookmarks)) {
    const std::string kept = bookmarksWithoutFolder(*text, *appsFolder_);
    if (kept.empty() && receipt.createdFiles.contains(bookmarks)) {
      (void)files().removeItemAtPath(bookmarks);
    } else if (kept != *text && !writeText(bookmarks, kept)) {
      problems.push_back("Cannot rewrite " + bookmarks);
    }
  }

  removeFolderIcon(receipt, problems);

  if (clientBundle_) {
    auto extension = AFXExtensionController::initWithURL(
        *fnd::URL::fileURLWithPath(clientBundle_->bundlePath() + std::string(kExtensionPath), true));
    auto elections = extension ? fnd::UserDefaults::create(AFXExtensionElectionsDomain) : nullptr;
    if (elections) {
      if (auto removed = elections->removeObjectForKey(extension->bundleID()); !removed) {
        problems.push_back("Cannot withdraw the election of " + extension->bundleID());
      }
    }
  }

  // Deepest first; a folder that holds anything now stays.
  std::vector<std::string> folders(receipt.createdFolders.begin(), receipt.createdFolders.end());
  std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  for (const auto& folder : folders) (void)::rmdir(folder.c_str());
  (void)files().removeItemAtPath(receiptPath());
  return problems;
}

void AFXReferenceClientSetup::removeAgents(std::vector<std::string>& problems) const {
  std::vector<AFXAgent> present;
  for (const auto& agent : agents()) {
    if (agent.bundleID().empty()) continue;
    for (const auto& url : {agent.unitDestinationURL(), agent.plistDestinationURL(), agent.bundleDestinationURL()}) {
      if (files().fileExistsAtPath(url->path())) {
        present.push_back(agent);
        break;
      }
    }
  }
  if (present.empty()) return;
  AFXAgent::unloadAgents(present);
  for (const auto& agent : present) {
    for (const auto& url : {agent.unitDestinationURL(), agent.plistDestinationURL(), agent.bundleDestinationURL()}) {
      if (!files().fileExistsAtPath(url->path())) continue;
      if (auto removed = files().removeItemAtURL(*url); !removed) problems.push_back(removed.error().description());
    }
  }
}

void AFXReferenceClientSetup::removeFolderIcon(const Receipt& receipt, std::vector<std::string>& problems) const {
  const std::string icon = folderIconPath();
  if (icon.empty()) return;
  const std::string settings = folderSettingsPath();
  if (readText(settings) == folderSettingsText()) {
    if (receipt.replacedFolderSettings) {
      const auto& bytes = receipt.replacedFolderSettings->bytes();
      if (!writeText(settings, std::string(bytes.begin(), bytes.end()))) problems.push_back("Cannot restore " + settings);
    } else {
      (void)files().removeItemAtPath(settings);
    }
  }
  // Where the icon went into the file manager's metadata, it is withdrawn
  // only while it is still the client's.
  const std::string folder = appsFolder_->path();
  const auto info = runGio({"info", "-a", std::string(kIconAttribute), folder});
  const std::string ours = std::string(kIconAttribute) + ": " + fnd::URL::fileURLWithPath(icon)->absoluteString();
  if (info && info->find(ours + "\n") != std::string::npos) {
    if (!runGio({"set", "-t", "unset", folder, std::string(kIconAttribute)})) {
      problems.push_back("Cannot withdraw the icon of " + folder);
    }
  }
}
