#include "interface/client_services/afx_agent.h"

#include <cstdlib>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/dictionary.h"
#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/search_paths.h"
#include "foundation/string.h"
#include "interface/errors/afx_errors.h"
#include "interface/placement/afx_quarantine.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_version_comparator.h"

namespace {

constexpr std::string_view kServiceManagerVariable = "KORVIA_SERVICE_MANAGER_COMMAND";

const fnd::FileManager& files() { return fnd::FileManager::defaultManager(); }

bool exists(const fnd::URL& url) { return files().attributesOfItemAtPath(url.path()).hasValue(); }

// The user's service manager: systemd's, unless the environment names
// another program (tests do).
std::string serviceManager() {
  return fnd::environmentValue(kServiceManagerVariable).value_or("systemctl");
}

std::optional<int> runServiceManager(std::vector<std::string> arguments) {
  fnd::ProcessLaunchOptions options;
  options.executablePath = serviceManager();
  options.searchPath = true;
  options.arguments = {"--user"};
  options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
  auto ended = fnd::Process::run(std::move(options));
  if (!ended) return std::nullopt;
  return ended->status;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
  return text;
}

// One ExecStart word: quoted, with systemd's escapes for "\", '"' and the
// specifier sign.
std::string unitWord(std::string_view word) {
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    if (c == '%') quoted.push_back('%');
    if (c == '\n') {
      quoted += "\\n";
      continue;
    }
    quoted.push_back(c);
  }
  return quoted + "\"";
}

}  // namespace

std::shared_ptr<fnd::URL> AFXAgentGetDestinationURL(std::string_view name) {
  return fnd::URL::fileURLWithPath(fnd::SearchPaths::resolve("~/Library/Application Support/Korvia/LaunchAgents/" +
                                                             std::string(name)),
                                   true);
}

AFXAgent::AFXAgent(std::string name, std::shared_ptr<fnd::URL> containerBundleURL)
    : name_(std::move(name)), containerBundleURL_(std::move(containerBundleURL)) {
  FND_PARAMETER_ASSERT(!name_.empty());
}

std::shared_ptr<fnd::Bundle> AFXAgent::containerBundle() const {
  return containerBundleURL_ ? fnd::Bundle::bundleWithPath(containerBundleURL_->path()) : fnd::Bundle::mainBundle();
}

std::shared_ptr<fnd::URL> AFXAgent::bundleSourceURL() const {
  auto container = containerBundle();
  if (!container) return nullptr;
  return fnd::URL::fileURLWithPath(container->bundlePath() + "/Contents/Library/LaunchServices/" + name_, true);
}

std::shared_ptr<fnd::Bundle> AFXAgent::sourceBundle() const {
  if (!sourceBundleLooked_) {
    sourceBundleLooked_ = true;
    if (auto url = bundleSourceURL()) sourceBundle_ = fnd::Bundle::bundleWithPath(url->path());
  }
  return sourceBundle_;
}

std::string AFXAgent::bundleID() const {
  auto bundle = sourceBundle();
  return bundle ? bundle->bundleIdentifier() : std::string();
}

std::shared_ptr<fnd::URL> AFXAgent::plistSourceURL() const {
  auto bundle = sourceBundle();
  if (!bundle || bundle->bundleIdentifier().empty()) return nullptr;
  auto path = bundle->pathForResource(bundle->bundleIdentifier(), "plist");
  return path ? fnd::URL::fileURLWithPath(*path) : nullptr;
}

std::shared_ptr<fnd::URL> AFXAgent::bundleDestinationURL() const { return AFXAgentGetDestinationURL(name_); }

std::shared_ptr<fnd::URL> AFXAgent::plistDestinationURL() const {
  auto source = plistSourceURL();
  const std::string fileName = source ? source->lastPathComponent() : bundleID() + ".plist";
  return fnd::URL::fileURLWithPath(fnd::SearchPaths::path(fnd::SearchPathLocation::userPreferences) + "/systemd/user/" +
                                   fileName);
}

std::string AFXAgent::unitName() const { return bundleID() + ".service"; }

std::shared_ptr<fnd::URL> AFXAgent::unitDestinationURL() const {
  return plistDestinationURL()->URLByDeletingLastPathComponent()->URLByAppendingPathComponent(unitName());
}

std::shared_ptr<fnd::Bundle> AFXAgent::bundleAtDestination() const {
  return fnd::Bundle::bundleWithPath(bundleDestinationURL()->path());
}

std::shared_ptr<fnd::URL> AFXAgent::agentExecutableURL() const {
  auto bundle = sourceBundle();
  if (!bundle) return nullptr;
  auto executable = bundle->executablePath();
  if (!executable || !executable->starts_with(bundle->bundlePath() + "/")) return nullptr;
  return fnd::URL::fileURLWithPath(bundleDestinationURL()->path() + executable->substr(bundle->bundlePath().size()));
}

// Installing

bool AFXAgent::installWithError(std::optional<fnd::Error>* error) const {
  return copyWithError(error) && repairConfigWithError(error) && removeFromQuarantine();
}

bool AFXAgent::copyWithError(std::optional<fnd::Error>* error) const {
  std::optional<fnd::Error> failure;
  if (oldName_) {
    auto old = AFXAgentGetDestinationURL(*oldName_);
    if (exists(*old)) {
      if (auto removed = files().removeItemAtURL(*old); !removed) failure = removed.error();
    }
  }
  auto destination = bundleDestinationURL();
  fnd::Expected<void> cleared = fnd::success();
  if (exists(*destination)) {
    cleared = files().removeItemAtURL(*destination);
  } else {
    cleared = files().createDirectoryAtURL(*destination->URLByDeletingLastPathComponent(), true);
  }
  if (!cleared) {
    failure = cleared.error();
  } else {
    auto source = bundleSourceURL();
    auto copied = source ? files().copyItemAtURL(*source, *destination)
                         : fnd::Expected<void>(afx_makeErrorOfMissingObjectOfKind("agent bundle"));
    if (!copied) failure = copied.error();
  }
  if (!failure) return true;
  if (error != nullptr) *error = afx_makeFailedInstallOfAgentNamed(name_, "copy", failure);
  return false;
}

bool AFXAgent::repairConfigWithError(std::optional<fnd::Error>* error) const {
  auto executable = agentExecutableURL();
  FND_PARAMETER_ASSERT_TEXT(executable != nullptr, "self.agentExecutablePath");
  auto fail = [&](const fnd::Error& underlying) {
    if (error != nullptr) *error = afx_makeFailedInstallOfAgentNamed(name_, "repairConfig", underlying);
    return false;
  };
  std::vector<fnd::Dictionary::Entry> entries;
  if (auto source = plistSourceURL()) {
    auto bytes = files().contentsAtPath(source->path());
    if (!bytes) return fail(bytes.error());
    auto plist = fnd::PropertyListSerialization::propertyListWithData(*bytes);
    if (!plist) return fail(plist.error());
    if (auto dictionary = plist->as<fnd::Dictionary>()) entries = dictionary->entries();
  }
  const fnd::Value programArguments(
      fnd::Array::make({fnd::Value(executable->path()), fnd::Value(std::string(AFXAgentServerArgument))}));
  std::erase_if(entries, [](const auto& entry) { return entry.first.stringValue() == "ProgramArguments"; });
  entries.emplace_back(fnd::Value("ProgramArguments"), programArguments);
  auto configuration = fnd::Dictionary::make(std::move(entries));

  auto destination = plistDestinationURL();
  if (auto made = files().createDirectoryAtURL(*destination->URLByDeletingLastPathComponent(), true); !made) {
    return fail(made.error());
  }
  auto xml = fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(configuration), fnd::PropertyListFormat::xml);
  if (!xml) return fail(xml.error());
  if (auto written = files().createFileAtPath(destination->path(), *xml); !written) return fail(written.error());

  // The service manager's own form of the same configuration.
  const std::string label = configuration->objectForKey("Label").stringValue().value_or(bundleID());
  const std::string unit = "[Unit]\nDescription=" + label + "\n\n[Service]\nExecStart=" + unitWord(executable->path()) +
                           " " + unitWord(AFXAgentServerArgument) + "\n\n[Install]\nWantedBy=default.target\n";
  const std::vector<std::uint8_t> unitBytes(unit.begin(), unit.end());
  if (auto written = files().createFileAtPath(unitDestinationURL()->path(), unitBytes); !written) {
    return fail(written.error());
  }
  return true;
}

bool AFXAgent::removeFromQuarantine() const { return AFXRemoveFromQuarantine(bundleDestinationURL()->path()); }

// The service manager

void AFXAgent::launchctlPerformOperationWithArguments(const std::vector<std::string>& arguments,
                                                      const std::vector<AFXAgent>& agents) {
  std::vector<std::string> all = arguments;
  for (const auto& agent : agents) all.push_back(agent.unitName());
  auto status = runServiceManager(all);
  if (!status || *status != 0) DDLogError("Did fail to perform task %@", joined(all));
}

void AFXAgent::loadAgents(const std::vector<AFXAgent>& agents) {
  launchctlPerformOperationWithArguments({"enable", "--now"}, agents);
}

void AFXAgent::unloadAgents(const std::vector<AFXAgent>& agents) {
  launchctlPerformOperationWithArguments({"disable", "--now"}, agents);
}

bool AFXAgent::isLoaded() const {
  auto status = runServiceManager({"is-active", "--quiet", std::string(AFXAgentLoadedLabel) + ".service"});
  return status && *status == 0;
}

bool AFXAgent::wantsUpdate() const {
  auto installed = bundleAtDestination();
  if (!installed || !installed->infoDictionary() || installed->infoDictionary()->count() == 0) return true;
  if (!isLoaded()) return true;
  return QVVersionComparator::compareVersion(installed->bundleVersion(), AFXAgentLibraryProductVersion) ==
         NSOrderedAscending;
}
