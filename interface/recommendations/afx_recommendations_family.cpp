#include "interface/recommendations/afx_recommendations_family.h"

#include "foundation/number.h"
#include "interface/interprocess/afx_service_id.h"
#include "interface/recommendations/afx_recommended_app.h"

const AFXServiceFamily& AFXRecommendationsFamily() {
  using namespace afx_family;
  static const AFXServiceFamily family(Table{
      "AFXRecommendationsRequest",
      "AFXRecommendationsResponse",
      "AFXRecommendationsReport",
      &AFXCustomerServiceID::staticClass,
      {{"fetchRecommendedAppForAppID:callback:",
        {"AFXFetchRecommendedAppRequest", {number("appID")}},
        {"AFXFetchRecommendedAppResponse", {object("recommendedApp", {&AFXRecommendedApp::staticClass})}},
        std::nullopt,
        Reply::valueOrError},
       {"fetchWelcomeRecommendedAppsExcludingAppIDs:callback:",
        {"AFXFetchWelcomeRecommendedAppsRequest", {setOf("appIDsToExclude", {&fnd::Number::staticClass})}},
        {"AFXFetchWelcomeRecommendedAppsResponse", {arrayOf("recommendedApps", {&AFXRecommendedApp::staticClass})}},
        std::nullopt,
        Reply::valueOrError}}});
  return family;
}
