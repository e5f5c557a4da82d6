#pragma once

// The client side of the recommendations service of one customer.

#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/recommendations/afx_recommendations_family.h"
#include "interface/recommendations/afx_recommendations_service.h"
#include "interface/services/afx_family_client.h"

class AFXRecommendationsClient final : public AFXFamilyClient, public AFXRecommendationsService {
 public:
  AFX_FAMILY_CLIENT_CLASS_OPERATIONS(AFXRecommendationsClient, AFXRecommendationsFamily)
  static std::string_view interprocessServiceName() { return AFXRecommendationsServiceName; }
  using AFXRecommendationsService::ValueCallback;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void fetchRecommendedAppForAppID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) override;
  void fetchWelcomeRecommendedAppsExcludingAppIDs(const std::shared_ptr<fnd::Set>& appIDsToExclude,
                                                  ValueCallback callback) override;

 private:
  AFXRecommendationsClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                           std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXFamilyClient(std::move(serviceID), std::move(servicesFactory), std::move(adaptor), AFXRecommendationsFamily()) {}
};
