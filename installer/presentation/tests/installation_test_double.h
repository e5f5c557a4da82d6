#pragma once

// An installation the window's tests script: they report states, finish
// runs and complete stops themselves, and see what the window asked for.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

#include "installer/afx_installation_managing.h"

class ScriptedInstallation final : public AFXInstallationManaging {
 public:
  AFXInstallationState state() const override { return state_.load(); }
  void installWithProgressBlock(AFXInstallationProgressHandler progressBlock,
                                AFXInstallationCompletion callback) override;
  void retryAfterError() override { ++retries; }
  void stopInstallationWithCallback(std::function<void()> callback) override;
  void launchWithCallback(std::function<void(bool opened)> callback) override;

  // Reports from another thread, as the manager does.
  void report(AFXInstallationState state, double fraction);
  void finish(const std::optional<fnd::Error>& error);
  // Ends the pending stop (state back to idle).
  void completeStop();

  std::atomic<int> installs{0};
  std::atomic<int> retries{0};
  std::atomic<int> stops{0};
  std::atomic<int> launches{0};
  bool launchAnswer = true;

 private:
  std::atomic<AFXInstallationState> state_{0};
  std::mutex mutex_;
  AFXInstallationProgressHandler progress_;
  AFXInstallationCompletion completion_;
  std::function<void()> stopCallback_;
};
