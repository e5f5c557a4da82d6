#include "installer/presentation/tests/installation_test_double.h"

#include <thread>

void ScriptedInstallation::installWithProgressBlock(AFXInstallationProgressHandler progressBlock,
                                                    AFXInstallationCompletion callback) {
  ++installs;
  std::lock_guard lock(mutex_);
  progress_ = std::move(progressBlock);
  completion_ = std::move(callback);
}

void ScriptedInstallation::stopInstallationWithCallback(std::function<void()> callback) {
  ++stops;
  std::lock_guard lock(mutex_);
  stopCallback_ = std::move(callback);
}

void ScriptedInstallation::launchWithCallback(std::function<void(bool opened)> callback) {
  ++launches;
  const bool answer = launchAnswer && state_.load() == 9;
  std::thread([callback = std::move(callback), answer] { callback(answer); }).join();
}

void ScriptedInstallation::report(AFXInstallationState state, double fraction) {
  state_ = state;
  AFXInstallationProgressHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = progress_;
  }
  if (handler) std::thread([&] { handler(state, fraction); }).join();
}

void ScriptedInstallation::finish(const std::optional<fnd::Error>& error) {
  if (!error) state_ = 9;
  AFXInstallationCompletion completion;
  {
    std::lock_guard lock(mutex_);
    completion = completion_;
  }
  if (completion) std::thread([&] { completion(error); }).join();
}

void ScriptedInstallation::completeStop() {
  state_ = 0;
  std::function<void()> callback;
  {
    std::lock_guard lock(mutex_);
    callback = std::move(stopCallback_);
  }
  if (callback) std::thread([&] { callback(); }).join();
}
