#pragma once

// What the installer's window asks of an installation: its state, a run with
// reports, retry, stop and launch. The installation manager is the one
// implementation; the window's tests drive the window with their own.

#include <functional>
#include <optional>

#include "foundation/error.h"

using AFXInstallationState = std::int64_t;
// Called on whichever thread made the change.
using AFXInstallationProgressHandler = std::function<void(AFXInstallationState state, double progress)>;
// No error on success.
using AFXInstallationCompletion = std::function<void(const std::optional<fnd::Error>& error)>;

class AFXInstallationManaging {
 public:
  virtual ~AFXInstallationManaging() = default;
  virtual AFXInstallationState state() const = 0;
  virtual void installWithProgressBlock(AFXInstallationProgressHandler progressBlock,
                                        AFXInstallationCompletion callback) = 0;
  virtual void retryAfterError() = 0;
  virtual void stopInstallationWithCallback(std::function<void()> callback) = 0;
  virtual void launchWithCallback(std::function<void(bool opened)> callback) = 0;
};
