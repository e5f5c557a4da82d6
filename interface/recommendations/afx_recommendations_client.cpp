#include "interface/recommendations/afx_recommendations_client.h"

const fnd::Class& AFXRecommendationsClient::staticClass() {
  static const fnd::Class& cls =
      fnd::Class::define("AFXRecommendationsClient", &AFXRegularManagementClient::staticClass());
  return cls;
}

void AFXRecommendationsClient::fetchRecommendedAppForAppID(const std::shared_ptr<fnd::Number>& appID,
                                                           ValueCallback callback) {
  sendForField("fetchRecommendedAppForAppID:callback:", {{"appID", fnd::Value(appID)}}, "recommendedApp",
               std::move(callback));
}

void AFXRecommendationsClient::fetchWelcomeRecommendedAppsExcludingAppIDs(const std::shared_ptr<fnd::Set>& appIDsToExclude,
                                                                          ValueCallback callback) {
  sendForField("fetchWelcomeRecommendedAppsExcludingAppIDs:callback:", {{"appIDsToExclude", fnd::Value(appIDsToExclude)}},
               "recommendedApps", std::move(callback));
}
