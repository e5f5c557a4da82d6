#pragma once

// The client side of the user-interface management service.

#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/services/afx_family_client.h"
#include "interface/ui_management/afx_ui_management_family.h"
#include "interface/ui_management/afx_ui_management_service.h"

class AFXUIManagementClient final : public AFXFamilyClient, public AFXUIManagementService {
 public:
  AFX_FAMILY_CLIENT_CLASS_OPERATIONS(AFXUIManagementClient, AFXUIManagementFamily)
  static std::string_view interprocessServiceName() { return AFXUIManagementServiceName; }
  using AFXUIManagementService::ValueCallback;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void fetchCredentialsWithAccountName(const std::string& accountName,
                                       const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                       ValueCallback callback) override;
  void presentError(const fnd::Error& error, ValueCallback callback) override;
  void presentUserNotificationOfKind(std::uint64_t kind) override;
  void presentUserNotificationOfBrandNewApps(const std::shared_ptr<fnd::Set>& brandNewApps) override;
  void proposeToUninstallKorviaWithCallback(BoolCallback callback) override;
  void pokeWithCallback(ValueCallback callback) override;
  void proposeToUpdateRunningApplications(const std::shared_ptr<fnd::Set>& runningApplications, bool withUserNotification,
                                          const std::shared_ptr<fnd::Data>& additionalNotificationData,
                                          SetCallback callback) override;
  void presentUserNotificationOfUpdatedApps(const std::shared_ptr<fnd::Set>& updatedApps) override;
  void presentAboutWindowWithCallback(ValueCallback callback) override;
  void askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason, BoolCallback callback) override;
  void presentTerminationWindowWithReason(std::int64_t reason, TerminationCallback callback) override;
  void openOnlineHelpWithCallback(BoolCallback callback) override;
  void openFeedbackFormWithCallback(ValueCallback callback) override;
  void openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer, bool startingWithTrialPaymentPage,
                              BoolCallback callback) override;
  void changeStatusItemVisibilityToState(bool isVisible, BoolCallback callback) override;

 private:
  AFXUIManagementClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                        std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXFamilyClient(std::move(serviceID), std::move(servicesFactory), std::move(adaptor), AFXUIManagementFamily()) {}
};
