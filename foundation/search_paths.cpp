#include "foundation/search_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "foundation/check.h"
#include "foundation/process.h"

namespace fnd {

namespace {

constexpr std::size_t kMaximumUserEntrySize = 1 << 20;

struct Row {
  SearchPathLocation location;
  std::string_view macPath;
};

// The one table: every location the system names, by its macOS spelling.
constexpr std::array<Row, 10> kLocations = {{
    {SearchPathLocation::applications, "/Applications"},
    {SearchPathLocation::library, "/Library"},
    {SearchPathLocation::volumes, "/Volumes"},
    {SearchPathLocation::usersShared, "/Users/Shared"},
    {SearchPathLocation::varFolders, "/var/folders"},
    {SearchPathLocation::userApplicationSupport, "~/Library/Application Support"},
    {SearchPathLocation::userCaches, "~/Library/Caches"},
    {SearchPathLocation::userLogs, "~/Library/Logs"},
    {SearchPathLocation::userApplications, "~/Applications"},
    {SearchPathLocation::userPreferences, "~/Library/Preferences"},
}};

// An absolute setting, or nothing: XDG ignores relative ones, and a relative
// root or temporary folder would move with the current directory.
std::optional<std::string> absoluteEnvironment(const char* name) {
  auto value = environmentValue(name);
  if (!value || value->front() != '/') return std::nullopt;
  return value;
}

// Collapses repeated slashes and drops a trailing one, so callers can compare
// and join paths as text. "." and ".." stay: resolving them needs the disk.
std::string normalized(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !result.empty() && result.back() == '/') continue;
    result += c;
  }
  if (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string join(std::string_view base, std::string_view rest) {
  return normalized(std::string(base) + "/" + std::string(rest));
}

std::string xdg(const char* variable, std::string_view fallbackUnderHome) {
  if (auto value = absoluteEnvironment(variable)) return normalized(*value);
  return join(SearchPaths::homeDirectory(), fallbackUnderHome);
}

}  // namespace

std::string SearchPaths::systemRoot() {
  auto root = absoluteEnvironment("KORVIA_SYSTEM_ROOT");
  return root ? normalized(*root) : "/";
}

std::string SearchPaths::homeDirectory() {
  if (auto home = absoluteEnvironment("HOME")) return normalized(*home);
  // getpwuid_r, since other threads may be reading the user database too.
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < kMaximumUserEntrySize) {
    buffer.resize(buffer.size() * 2);
  }
  return found && found->pw_dir && found->pw_dir[0] == '/' ? normalized(found->pw_dir) : "/";
}

std::string SearchPaths::path(SearchPathLocation location) {
  switch (location) {
    case SearchPathLocation::userApplicationSupport:
      return xdg("XDG_DATA_HOME", ".local/share");
    case SearchPathLocation::userCaches:
      return xdg("XDG_CACHE_HOME", ".cache");
    case SearchPathLocation::userLogs:
      return xdg("XDG_STATE_HOME", ".local/state");
    case SearchPathLocation::userPreferences:
      return xdg("XDG_CONFIG_HOME", ".config");
    case SearchPathLocation::userApplications:
      return join(homeDirectory(), "Applications");
    case SearchPathLocation::temporary: {
      auto temporary = absoluteEnvironment("TMPDIR");
      return temporary ? normalized(*temporary) : "/tmp";
    }
    default:
      break;
  }
  for (const Row& row : kLocations) {
    if (row.location == location) return join(systemRoot(), row.macPath);
  }
  FND_NOT_REACHED();
}

std::string SearchPaths::resolve(std::string_view macPath) {
  // An application's logs, "~/Library/Logs/<App>/…", live in the state
  // folder as "<App>/Logs/…", beside whatever other state the app keeps.
  constexpr std::string_view kLogs = "~/Library/Logs/";
  if (macPath.starts_with(kLogs) && macPath.size() > kLogs.size()) {
    const std::string_view inside = macPath.substr(kLogs.size());
    const std::size_t slash = inside.find('/');
    const std::string_view app = inside.substr(0, slash);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : inside.substr(slash);
    if (app != "." && app != ".." && !app.empty()) {
      return join(join(path(SearchPathLocation::userLogs), std::string(app) + "/Logs"), rest);
    }
  }
  for (const Row& row : kLocations) {
    if (!macPath.starts_with(row.macPath)) continue;
    const std::string_view rest = macPath.substr(row.macPath.size());
    // "/ApplicationsX" is not inside "/Applications".
    if (!rest.empty() && rest.front() != '/') continue;
    return join(path(row.location), rest);
  }
  if (macPath.starts_with("~/") || macPath == "~") return join(homeDirectory(), macPath.substr(1));
  return normalized(macPath);
}

}  // namespace fnd
