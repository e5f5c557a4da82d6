#pragma once

// Installing one of the desktop client's background agents for the current
// user: the agent bundle is copied out of the client into the product's
// application-support folder, its launch configuration is written with the
// copy's executable as the program, and the agent is started and stopped by
// the user's service manager.
//
// On Linux the launch configuration is a systemd user unit in
// $XDG_CONFIG_HOME/systemd/user, with the property-list configuration kept
// beside it for the client's own reading; loading is
// `systemctl --user enable --now`, unloading `disable --now`. Everything
// blocks the caller's thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bundle.h"
#include "foundation/error.h"
#include "foundation/url.h"
#include "interface/model/afx_library_version.h"

// The label of the agent the client watches for.
inline constexpr std::string_view AFXAgentLoadedLabel = "com.korvia.DesktopClient.KorviaAgent";
// The version the installed agents are measured against.
inline constexpr std::string_view AFXAgentLibraryProductVersion = AFXLibraryVersion;
// The agent's argument that makes it serve.
inline constexpr std::string_view AFXAgentServerArgument = "-xpcServer";

// "<application support>/Korvia/LaunchAgents/<name>".
std::shared_ptr<fnd::URL> AFXAgentGetDestinationURL(std::string_view name);

class AFXAgent {
 public:
  AFXAgent(std::string name, std::shared_ptr<fnd::URL> containerBundleURL);
  static AFXAgent initWithSourceName(std::string name, std::shared_ptr<fnd::URL> containerBundleURL) {
    return AFXAgent(std::move(name), std::move(containerBundleURL));
  }
  AFXAgent() = delete;
  // A copy starts afresh from the same name and container.
  AFXAgent(const AFXAgent& other) : AFXAgent(other.name_, other.containerBundleURL_) { oldName_ = other.oldName_; }
  AFXAgent& operator=(const AFXAgent&) = delete;

  const std::string& name() const { return name_; }
  const std::shared_ptr<fnd::URL>& containerBundleURL() const { return containerBundleURL_; }
  const std::optional<std::string>& oldName() const { return oldName_; }
  void setOldName(std::optional<std::string> oldName) { oldName_ = std::move(oldName); }

  std::shared_ptr<fnd::Bundle> containerBundle() const;
  // The agent bundle inside the container; looked for once.
  std::shared_ptr<fnd::Bundle> sourceBundle() const;
  std::string bundleID() const;
  std::shared_ptr<fnd::URL> bundleSourceURL() const;
  std::shared_ptr<fnd::URL> plistSourceURL() const;
  std::shared_ptr<fnd::URL> bundleDestinationURL() const;
  std::shared_ptr<fnd::URL> plistDestinationURL() const;
  // The systemd unit beside the configuration.
  std::shared_ptr<fnd::URL> unitDestinationURL() const;
  std::shared_ptr<fnd::Bundle> bundleAtDestination() const;
  std::shared_ptr<fnd::URL> agentExecutableURL() const;

  [[nodiscard]] bool installWithError(std::optional<fnd::Error>* error = nullptr) const;
  [[nodiscard]] bool copyWithError(std::optional<fnd::Error>* error = nullptr) const;
  [[nodiscard]] bool repairConfigWithError(std::optional<fnd::Error>* error = nullptr) const;
  bool removeFromQuarantine() const;

  bool isLoaded() const;
  bool wantsUpdate() const;

  static void loadAgents(const std::vector<AFXAgent>& agents);
  static void unloadAgents(const std::vector<AFXAgent>& agents);
  // Runs the service manager with the arguments and each agent's unit;
  // a failure is logged, not reported.
  static void launchctlPerformOperationWithArguments(const std::vector<std::string>& arguments,
                                                     const std::vector<AFXAgent>& agents);

 private:
  std::string unitName() const;

  std::string name_;
  std::shared_ptr<fnd::URL> containerBundleURL_;
  std::optional<std::string> oldName_;
  mutable bool sourceBundleLooked_ = false;
  mutable std::shared_ptr<fnd::Bundle> sourceBundle_;
};
