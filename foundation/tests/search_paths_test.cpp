#include "foundation/search_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace fnd {
namespace {

// Sets variables for one test and restores them afterwards.
class ScopedEnvironment {
 public:
  void set(const char* name, const char* value) {
    if (!saved_.contains(name)) {
      const char* previous = std::getenv(name);
      saved_[name] = previous ? std::optional<std::string>(previous) : std::nullopt;
    }
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(SearchPaths, EveryLocationResolvesInsideTheTestRoot) {
  ScopedEnvironment environment;
  environment.set("KORVIA_SYSTEM_ROOT", "/tmp/root/");
  environment.set("HOME", "/tmp/home");
  environment.set("XDG_DATA_HOME", "/tmp/home/data");
  environment.set("XDG_CACHE_HOME", "/tmp/home/cache");
  environment.set("XDG_STATE_HOME", "/tmp/home/state");
  environment.set("XDG_CONFIG_HOME", "/tmp/home/config");
  environment.set("TMPDIR", "/tmp/scratch");
  const std::map<std::string, std::string> expected = {
      {"/Applications/Korvia.app", "/tmp/root/Applications/Korvia.app"},
      {"/Library", "/tmp/root/Library"},
      {"/Volumes/Disk", "/tmp/root/Volumes/Disk"},
      {"/Users/Shared/x", "/tmp/root/Users/Shared/x"},
      {"/var/folders/ab", "/tmp/root/var/folders/ab"},
      {"~/Library/Application Support/Korvia", "/tmp/home/data/Korvia"},
      {"~/Library/Caches", "/tmp/home/cache"},
      {"~/Library/Logs/Korvia", "/tmp/home/state/Korvia/Logs"},
      {"~/Library/Logs/Korvia/installer.log", "/tmp/home/state/Korvia/Logs/installer.log"},
      {"~/Library/Logs", "/tmp/home/state"},
      {"~/Applications/Chronofold.app", "/tmp/home/Applications/Chronofold.app"},
      {"~/Library/Preferences/x.plist", "/tmp/home/config/x.plist"},
      {"~/Documents", "/tmp/home/Documents"},
      {"/ApplicationsX", "/ApplicationsX"},
      {"/usr/bin/env", "/usr/bin/env"},
  };
  for (const auto& [mac, linux] : expected) EXPECT_EQ(SearchPaths::resolve(mac), linux) << mac;
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::temporary), "/tmp/scratch");
}

TEST(SearchPaths, DefaultsWhenNothingIsSet) {
  ScopedEnvironment environment;
  environment.set("KORVIA_SYSTEM_ROOT", nullptr);
  environment.set("HOME", "/home/user");
  environment.set("XDG_DATA_HOME", nullptr);
  environment.set("XDG_CACHE_HOME", "relative/ignored");
  environment.set("XDG_STATE_HOME", "");
  environment.set("TMPDIR", nullptr);
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::applications), "/Applications");
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::userApplicationSupport), "/home/user/.local/share");
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::userCaches), "/home/user/.cache");
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::userLogs), "/home/user/.local/state");
  EXPECT_EQ(SearchPaths::path(SearchPathLocation::temporary), "/tmp");
}

}  // namespace
}  // namespace fnd
