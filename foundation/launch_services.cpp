#include "foundation/launch_services.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <utility>

#include "foundation/bundle.h"
#include "foundation/error.h"
#include "foundation/file_manager.h"
#include "foundation/search_paths.h"
#include "foundation/sqlite_database.h"

namespace fnd {
namespace {

constexpr std::string_view kRegistryFolder = "korvia-launchservices";
constexpr std::string_view kRegistryName = "registry.sqlite3";
constexpr std::string_view kSchema =
    "CREATE TABLE IF NOT EXISTS bundles ("
    " path TEXT PRIMARY KEY,"
    " identifier TEXT NOT NULL COLLATE NOCASE,"
    " sequence INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS bundles_by_identifier ON bundles (identifier, sequence);";
// "Utilities" inside "/Applications" holds apps; deeper folders are not
// where users keep them.
constexpr std::size_t kScanDepth = 2;
constexpr std::string_view kExecutableFolder = "/Contents/MacOS/";
constexpr std::string_view kDeletedSuffix = " (deleted)";

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

bool hasAppExtension(const URL& url) { return equalIgnoringCase(url.pathExtension(), "app"); }

// The path without links, so one bundle reached two ways is one copy.
std::string canonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

Error applicationNotFound(std::string_view path) {
  return Error(NSOSStatusErrorDomain, kLSApplicationNotFoundErr,
               {{Value(NSFilePathErrorKey), Value(std::string(path))}});
}

Expected<std::unique_ptr<SQLiteDatabase>> openRegistry() {
  const std::string path = LaunchServices::registryPath();
  const std::string folder = path.substr(0, path.rfind('/'));
  if (auto made = FileManager::defaultManager().createDirectoryAtPath(folder, true, {.posixPermissions = 0700});
      !made) {
    return made.error();
  }
  auto database = SQLiteDatabase::open(path, SQLiteDatabase::OpenMode::readWriteCreate);
  if (!database) return database.error();
  if (auto wal = (*database)->execute("PRAGMA journal_mode=WAL"); !wal) return wal.error();
  if (auto schema = (*database)->execute(kSchema); !schema) return schema.error();
  return std::move(*database);
}

struct Registered {
  std::string path;
  std::string identifier;
};

Expected<std::vector<Registered>> registeredWithIdentifier(std::string_view identifier) {
  auto database = openRegistry();
  if (!database) return database.error();
  auto statement = (*database)->prepare(
      "SELECT path, identifier FROM bundles WHERE identifier = ?1 ORDER BY sequence DESC");
  if (!statement) return statement.error();
  if (auto bound = statement->bind(1, identifier); !bound) return bound.error();
  std::vector<Registered> rows;
  for (;;) {
    auto row = statement->step();
    if (!row) return row.error();
    if (!*row) break;
    rows.push_back({statement->columnText(0), statement->columnText(1)});
  }
  return rows;
}

std::optional<RunningApplication> runningApplication(pid_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  std::string target(PATH_MAX, '\0');
  const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
  if (length <= 0) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  // An app replaced while it runs still counts as running.
  if (target.ends_with(kDeletedSuffix)) target.resize(target.size() - kDeletedSuffix.size());
  const auto folder = target.rfind(kExecutableFolder);
  if (folder == std::string::npos || folder == 0) return std::nullopt;
  if (target.find('/', folder + kExecutableFolder.size()) != std::string::npos) return std::nullopt;
  const std::string bundlePath = target.substr(0, folder);
  RunningApplication application;
  application.processIdentifier = pid;
  application.bundleURL = URL::fileURLWithPath(bundlePath, true);
  application.executableURL = URL::fileURLWithPath(target);
  if (auto bundle = Bundle::bundleWithPath(bundlePath)) application.bundleIdentifier = bundle->bundleIdentifier();
  return application;
}

}  // namespace

std::string LaunchServices::registryPath() {
  return SearchPaths::path(SearchPathLocation::userApplicationSupport) + "/" + std::string(kRegistryFolder) + "/" +
         std::string(kRegistryName);
}

Expected<void> LaunchServices::registerURL(const URL& bundleURL, bool update) {
  const std::string path = canonicalPath(bundleURL.path());
  bool isDirectory = false;
  if (!FileManager::defaultManager().fileExistsAtPath(path, &isDirectory) || !isDirectory) {
    return applicationNotFound(path);
  }
  auto bundle = Bundle::bundleWithPath(path);
  const std::string identifier = bundle ? bundle->bundleIdentifier() : "";
  if (identifier.empty()) return applicationNotFound(path);

  auto database = openRegistry();
  if (!database) return database.error();
  auto statement = (*database)->prepare(
      update ? "INSERT OR REPLACE INTO bundles (path, identifier, sequence)"
               " VALUES (?1, ?2, (SELECT IFNULL(MAX(sequence), 0) + 1 FROM bundles))"
             : "INSERT OR IGNORE INTO bundles (path, identifier, sequence)"
               " VALUES (?1, ?2, (SELECT IFNULL(MAX(sequence), 0) + 1 FROM bundles))");
  if (!statement) return statement.error();
  if (auto bound = statement->bind(1, path); !bound) return bound.error();
  if (auto bound = statement->bind(2, identifier); !bound) return bound.error();
  auto done = statement->step();
  if (!done) return done.error();
  return success();
}

Expected<void> LaunchServices::unregisterURL(const URL& bundleURL) {
  auto database = openRegistry();
  if (!database) return database.error();
  auto statement = (*database)->prepare("DELETE FROM bundles WHERE path = ?1 OR path = ?2");
  if (!statement) return statement.error();
  if (auto bound = statement->bind(1, bundleURL.path()); !bound) return bound.error();
  if (auto bound = statement->bind(2, canonicalPath(bundleURL.path())); !bound) return bound.error();
  auto done = statement->step();
  if (!done) return done.error();
  return success();
}

std::vector<std::shared_ptr<URL>> LaunchServices::URLsForApplicationsWithBundleIdentifier(
    std::string_view bundleIdentifier) {
  std::vector<std::shared_ptr<URL>> urls;
  if (bundleIdentifier.empty()) return urls;
  std::set<std::string> seen;
  auto add = [&](const std::string& path) {
    // A record outlives its bundle: only a bundle that is still there and
    // still this app counts.
    auto bundle = Bundle::bundleWithPath(path);
    if (!bundle || !equalIgnoringCase(bundle->bundleIdentifier(), bundleIdentifier)) return;
    if (!seen.insert(canonicalPath(path)).second) return;
    urls.push_back(URL::fileURLWithPath(path, true));
  };
  // An unreadable registry leaves the applications folders.
  if (auto registered = registeredWithIdentifier(bundleIdentifier)) {
    for (const auto& row : *registered) add(row.path);
  }
  for (const auto& url : applicationsInApplicationsFolders()) add(url->path());
  return urls;
}

std::vector<std::shared_ptr<URL>> LaunchServices::applicationsInApplicationsFolders() {
  std::vector<std::shared_ptr<URL>> apps;
  for (auto location : {SearchPathLocation::applications, SearchPathLocation::userApplications}) {
    const auto folder = URL::fileURLWithPath(SearchPaths::path(location), true);
    auto enumerator = FileManager::defaultManager().enumeratorAtURL(
        *folder, {.skipsPackageDescendants = true, .skipsHiddenFiles = true},
        [](const URL&, const Error&) { return true; });
    while (auto item = enumerator.nextObject()) {
      if (hasAppExtension(*item)) {
        bool isDirectory = false;
        if (FileManager::defaultManager().fileExistsAtPath(item->path(), &isDirectory) && isDirectory) {
          apps.push_back(URL::fileURLWithPath(item->path(), true));
        }
        enumerator.skipDescendants();
      } else if (enumerator.level() >= kScanDepth) {
        enumerator.skipDescendants();
      }
    }
  }
  return apps;
}

std::vector<RunningApplication> LaunchServices::runningApplications() {
  std::vector<pid_t> pids;
  if (DIR* proc = ::opendir("/proc")) {
    while (dirent* entry = ::readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(entry->d_name, &end, 10);
      if (end != entry->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
  }
  std::sort(pids.begin(), pids.end());
  std::vector<RunningApplication> applications;
  for (pid_t pid : pids) {
    if (auto application = runningApplication(pid)) applications.push_back(std::move(*application));
  }
  return applications;
}

std::vector<RunningApplication> LaunchServices::runningApplicationsWithBundleIdentifier(
    std::string_view bundleIdentifier) {
  auto applications = runningApplications();
  std::erase_if(applications, [&](const RunningApplication& application) {
    return bundleIdentifier.empty() || !equalIgnoringCase(application.bundleIdentifier, bundleIdentifier);
  });
  return applications;
}

}  // namespace fnd
