#pragma once

// What the recommendations service of one customer offers.

#include <functional>
#include <memory>

#include "foundation/number.h"
#include "foundation/set.h"
#include "tools/qv_value_or_error.h"

class AFXRecommendationsService {
 public:
  virtual ~AFXRecommendationsService() = default;
  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  // A value-or-error of the AFXRecommendedApp.
  virtual void fetchRecommendedAppForAppID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) = 0;
  // A value-or-error of the array of AFXRecommendedApp.
  virtual void fetchWelcomeRecommendedAppsExcludingAppIDs(const std::shared_ptr<fnd::Set>& appIDsToExclude,
                                                          ValueCallback callback) = 0;
};
