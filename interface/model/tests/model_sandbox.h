#pragma once

// A temporary system root and home for one test: every location the model
// resolves (applications folders, application support, shared users'
// folder, the Trash) lies inside it, and the variables are restored and the
// tree removed afterwards.

#include <stdlib.h>

#include <map>
#include <optional>
#include <string>

#include "foundation/file_manager.h"

class ModelSandbox {
 public:
  ModelSandbox() {
    std::string pattern = "/tmp/korvia-model-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    set("KORVIA_SYSTEM_ROOT", root_ + "/system");
    set("HOME", root_ + "/home");
    set("XDG_DATA_HOME", root_ + "/home/.local/share");
    set("XDG_CACHE_HOME", root_ + "/home/.cache");
    set("XDG_STATE_HOME", root_ + "/home/.local/state");
    set("XDG_CONFIG_HOME", root_ + "/home/.config");
    (void)fnd::FileManager::defaultManager().createDirectoryAtPath(root_ + "/system/Applications", true);
    (void)fnd::FileManager::defaultManager().createDirectoryAtPath(root_ + "/home", true);
  }
  ~ModelSandbox() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    // Folders made read-only by a test must be writable again to go.
    (void)fnd::FileManager::defaultManager().setAttributes({.posixPermissions = 0755}, root_ + "/system/Applications");
    (void)fnd::FileManager::defaultManager().removeItemAtPath(root_);
  }
  ModelSandbox(const ModelSandbox&) = delete;
  ModelSandbox& operator=(const ModelSandbox&) = delete;

  const std::string& root() const { return root_; }
  std::string systemApplications() const { return root_ + "/system/Applications"; }
  std::string userApplications() const { return root_ + "/home/Applications"; }
  std::string applicationSupport() const { return root_ + "/home/.local/share"; }

  void set(const std::string& name, const std::string& value) {
    if (!saved_.contains(name)) {
      const char* previous = std::getenv(name.c_str());
      saved_[name] = previous ? std::optional<std::string>(previous) : std::nullopt;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_;
};
