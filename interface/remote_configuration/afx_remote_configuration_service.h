#pragma once

// What the remote configuration service of one environment offers.

#include <functional>
#include <memory>

#include "tools/qv_value_or_error.h"

class AFXRemoteConfigurationService {
 public:
  virtual ~AFXRemoteConfigurationService() = default;
  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  // A value-or-error of the AFXRemoteConfiguration.
  virtual void fetchRemoteConfigurationWithCallback(ValueCallback callback) = 0;
};
