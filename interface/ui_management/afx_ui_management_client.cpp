#include "interface/ui_management/afx_ui_management_client.h"

#include <string>

#include "interface/apps_management/model/afx_running_application.h"
#include "interface/model/afx_customer.h"

const fnd::Class& AFXUIManagementClient::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXUIManagementClient", &AFXRegularManagementClient::staticClass());
  return cls;
}

void AFXUIManagementClient::fetchCredentialsWithAccountName(const std::string& accountName,
                                                            const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                                            ValueCallback callback) {
  sendForField("fetchCredentialsWithAccountName:forRunningApplication:callback:",
               {{"accountName", accountName}, {"runningApplication", fnd::Value(runningApplication)}}, "credentials",
               std::move(callback));
}

void AFXUIManagementClient::presentError(const fnd::Error& error, ValueCallback callback) {
  sendAsReceived("presentError:callback:", {{"error", fnd::Value(error)}}, std::move(callback));
}

void AFXUIManagementClient::presentUserNotificationOfKind(std::uint64_t kind) {
  sendWithoutCallback("presentUserNotificationOfKind:", {{"kind", kind}});
}

void AFXUIManagementClient::presentUserNotificationOfBrandNewApps(const std::shared_ptr<fnd::Set>& brandNewApps) {
  sendWithoutCallback("presentUserNotificationOfBrandNewApps:", {{"brandNewApps", fnd::Value(brandNewApps)}});
}

void AFXUIManagementClient::proposeToUninstallKorviaWithCallback(BoolCallback callback) {
  sendForBool("proposeToUninstallKorviaWithCallback:", {}, "cancelled", false, std::move(callback));
}

void AFXUIManagementClient::pokeWithCallback(ValueCallback callback) {
  sendAsReceived("pokeWithCallback:", {}, std::move(callback));
}

void AFXUIManagementClient::proposeToUpdateRunningApplications(const std::shared_ptr<fnd::Set>& runningApplications,
                                                               bool withUserNotification,
                                                               const std::shared_ptr<fnd::Data>& additionalNotificationData,
                                                               SetCallback callback) {
  sendForResponse("proposeToUpdateRunningApplications:withUserNotification:additionalNotificationData:callback:",
                  {{"runningApplications", fnd::Value(runningApplications)},
                   {"showUserNotification", withUserNotification},
                   {"additionalNotificationData", fnd::Value(additionalNotificationData)}},
                  [callback = std::move(callback)](const std::shared_ptr<AFXFamilyResponse>& response) {
                    if (!callback) return;
                    auto quitted = response ? response->value("quittedApplications").as<fnd::Set>() : nullptr;
                    callback(quitted ? quitted : fnd::Set::make());
                  });
}

void AFXUIManagementClient::presentUserNotificationOfUpdatedApps(const std::shared_ptr<fnd::Set>& updatedApps) {
  sendWithoutCallback("presentUserNotificationOfUpdatedApps:", {{"updatedApps", fnd::Value(updatedApps)}});
}

void AFXUIManagementClient::presentAboutWindowWithCallback(ValueCallback callback) {
  sendAsReceived("presentAboutWindowWithCallback:", {}, std::move(callback));
}

void AFXUIManagementClient::askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason, BoolCallback callback) {
  sendForBool("askUserForConsumptiveInternetUsageWithReason:callback:", {{"reason", reason}}, "canUseInternet", false,
              std::move(callback));
}

void AFXUIManagementClient::presentTerminationWindowWithReason(std::int64_t reason, TerminationCallback callback) {
  sendForResponse("presentTerminationWindowWithReason:callback:", {{"reason", reason}},
                  [callback = std::move(callback)](const std::shared_ptr<AFXFamilyResponse>& response) {
                    if (!callback) return;
                    if (!response) {
                      callback(false, nullptr);
                      return;
                    }
                    callback(response->value("cancelledByUser").boolValue().value_or(false),
                             response->value("quittedAppURLs").as<fnd::Set>());
                  });
}

void AFXUIManagementClient::openOnlineHelpWithCallback(BoolCallback callback) {
  sendForBool("openOnlineHelpWithCallback:", {}, "didOpen", false, std::move(callback));
}

void AFXUIManagementClient::openFeedbackFormWithCallback(ValueCallback callback) {
  sendAsReceived("openFeedbackFormWithCallback:", {}, std::move(callback));
}

void AFXUIManagementClient::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                                   bool startingWithTrialPaymentPage, BoolCallback callback) {
  sendForBool("openCustomerWebAccount:startingWithTrialPaymentPage:callback:",
              {{"customer", fnd::Value(customer)}, {"openAddPaymentPage", startingWithTrialPaymentPage}}, "didOpenPage", false,
              std::move(callback));
}

void AFXUIManagementClient::changeStatusItemVisibilityToState(bool isVisible, BoolCallback callback) {
  sendForBool("changeStatusItemVisibilityToState:callback:", {{"isVisible", isVisible}}, "isVisible", false,
              std::move(callback));
}
