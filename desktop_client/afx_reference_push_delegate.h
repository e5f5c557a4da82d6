#pragma once

// What the reference client's push notifications manager asks of the rest
// of the client: its own system management service (reached over the bus
// like any other caller), launching an app by bundle identifier or
// catalogue identifier, and the signed-in customer's page context.

#include <memory>
#include <mutex>

#include "desktop_client/afx_reference_desktop_client_service.h"
#include "interface/client_services/afx_push_notifications_manager.h"
#include "interface/services/afx_services_factory.h"

class AFXReferencePushDelegate final : public AFXUserNotificationsManagerDelegate,
                                       public AFXServicesFactoryDelegate,
                                       public std::enable_shared_from_this<AFXReferencePushDelegate> {
 public:
  explicit AFXReferencePushDelegate(std::shared_ptr<AFXReferenceDesktopClientService> service)
      : service_(std::move(service)) {}

  // AFXUserNotificationsManagerDelegate
  void userNotificationsManagerNeedsLaunchApp(AFXPushNotificationsManager& manager, const std::optional<std::string>& bundleID,
                                              const std::optional<std::int64_t>& appID) override;
  void userNotificationsManagerNeedsFetchSystemManagementService(AFXPushNotificationsManager& manager,
                                                                ValueCallback callback) override;
  void userNotificationsManagerNeedsFetchCurrentCustomerURLInfo(AFXPushNotificationsManager& manager,
                                                                CustomerURLInfoCallback callback) override;

  // AFXServicesFactoryDelegate of the factory that reaches the client's own
  // system management service.
  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&, EnvironmentCallback callback) override;
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) override;

 private:
  const std::shared_ptr<AFXReferenceDesktopClientService> service_;
  std::mutex mutex_;
  std::shared_ptr<AFXServicesFactory> factory_;
};
