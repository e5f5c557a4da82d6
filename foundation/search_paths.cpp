#include "foundation/search_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <optional>

namespace fnd {

namespace {

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

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

// XDG ignores settings that are not absolute paths.
std::string xdg(const char* variable, std::string_view fallbackUnderHome) {
  if (auto value = environment(variable); value && value->front() == '/') return *value;
  return SearchPaths::homeDirectory() + "/" + std::string(fallbackUnderHome);
}

std::string join(std::string base, std::string_view rest) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  if (!rest.empty() && rest.front() != '/') base += '/';
  base += rest;
  return base.empty() ? "/" : base;
}

}  // namespace

std::string SearchPaths::systemRoot() {
  auto root = environment("KORVIA_SYSTEM_ROOT");
  return root && root->front() == '/' ? *root : "/";
}

std::string SearchPaths::homeDirectory() {
  if (auto home = environment("HOME")) return *home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "/";
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
      auto temporary = environment("TMPDIR");
      return temporary && temporary->front() == '/' ? *temporary : "/tmp";
    }
    default:
      break;
  }
  for (const Row& row : kLocations) {
    if (row.location == location) return join(systemRoot(), row.macPath);
  }
  return systemRoot();
}

std::string SearchPaths::resolve(std::string_view macPath) {
  for (const Row& row : kLocations) {
    if (!macPath.starts_with(row.macPath)) continue;
    const std::string_view rest = macPath.substr(row.macPath.size());
    // "/ApplicationsX" is not inside "/Applications".
    if (!rest.empty() && rest.front() != '/') continue;
    return join(path(row.location), rest);
  }
  if (macPath.starts_with("~/") || macPath == "~") return join(homeDirectory(), macPath.substr(1));
  return std::string(macPath);
}

}  // namespace fnd
