#include "interface/system_management/afx_system_management_client.h"

#include <algorithm>

#include "interface/apps_management/model/afx_running_application.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "tools/qv_queue_builder.h"

const fnd::Class& AFXSystemManagementClient::staticClass() {
  static const fnd::Class& cls =
      fnd::Class::define("AFXSystemManagementClient", &AFXRegularManagementClient::staticClass());
  return cls;
}

std::shared_ptr<AFXServiceID> AFXSystemManagementClient::makeGlobalServiceIDToPoke() {
  return AFXGlobalServiceID::initWithServiceName(std::string(AFXSystemManagementServiceName));
}

AFXSystemManagementClient::AFXSystemManagementClient(std::shared_ptr<AFXServiceID> serviceID,
                                                     std::weak_ptr<AFXServicesFactory> servicesFactory,
                                                     std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
    : AFXFamilyClient(std::move(serviceID), std::move(servicesFactory), std::move(adaptor), AFXSystemManagementFamily()),
      internalQueue_(QVQueueBuilder::internalQueueWithName("system-management-client")) {}

void AFXSystemManagementClient::fetchCurrentEnvironmentUpdated(bool isUpdated, ValueCallback callback) {
  sendForField("fetchCurrentEnvironmentUpdated:callback:", {{"isUpdated", isUpdated}}, "environment",
               std::move(callback));
}

void AFXSystemManagementClient::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                       bool isUpdated, ValueCallback callback) {
  sendForField("fetchEnvironmentWithID:isUpdated:callback:",
               {{"environmentID", fnd::Value(environmentID)}, {"isUpdated", isUpdated}}, "environment",
               std::move(callback));
}

void AFXSystemManagementClient::pokeWithCallback(ValueCallback callback) {
  sendAsReceived("pokeWithCallback:", {}, std::move(callback));
}

void AFXSystemManagementClient::checkForUpdatesInitiatedByUser(bool initiatedByUser, ErrorCallback callback) {
  sendForError("checkForUpdatesInitiatedByUser:callback:", {{"initiatedByUser", initiatedByUser}}, std::move(callback));
}

void AFXSystemManagementClient::notifyFinderSyncExtensionLaunchedWithCallback(ValueCallback callback) {
  sendAsReceived("notifyFinderSyncExtensionLaunchedWithCallback:", {}, std::move(callback));
}

void AFXSystemManagementClient::tearDownServiceWithCallback(BoolCallback callback) {
  sendForBool("tearDownServiceWithCallback:", {}, "willTerminate", false, std::move(callback));
}

void AFXSystemManagementClient::fetchStartUpStatusWithCallback(ValueCallback callback) {
  sendForField("fetchStartUpStatusWithCallback:", {}, "status", std::move(callback));
}

void AFXSystemManagementClient::showSignInWithPresentationStyle(std::int64_t presentationStyle, ValueCallback callback) {
  sendAsReceived("showSignInWithPresentationStyle:callback:", {{"presentationStyle", presentationStyle}},
                 std::move(callback));
}

void AFXSystemManagementClient::fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                                       ValueCallback callback) {
  sendForField("fetchUninstallerExecutableInfoWithType:callback:", {{"uninstallType", uninstallType}},
               "executableInfo", std::move(callback));
}

void AFXSystemManagementClient::fetchConsumptiveInternetUsagePermissionWithReason(std::uint64_t reason, bool canAskUser,
                                                                                  PermissionCallback callback) {
  sendForResponse("fetchConsumptiveInternetUsagePermissionWithReason:canAskUser:callback:",
                  {{"canAskUser", canAskUser}, {"reason", reason}},
                  [callback = std::move(callback)](const std::shared_ptr<AFXFamilyResponse>& response) {
                    if (!callback) return;
                    if (!response) {
                      callback(false, std::nullopt);
                      return;
                    }
                    callback(response->value("canUseInternet").boolValue().value_or(false),
                             response->value("cancellationKey").stringValue());
                  });
}

void AFXSystemManagementClient::cancelConsumptiveInternetUsagePermission(const std::string& cancellationKey) {
  sendWithoutCallback("cancelConsumptiveInternetUsagePermission:", {{"cancellationKey", cancellationKey}});
}

void AFXSystemManagementClient::uninstallKorviaForce(bool force, ErrorCallback callback) {
  sendForError("uninstallKorviaForce:callback:", {{"force", force}}, std::move(callback));
}

void AFXSystemManagementClient::prepareWholeSystemForTerminationWithCallback(BoolCallback callback) {
  sendForBool("prepareWholeSystemForTerminationWithCallback:", {}, "canTerminate", true, std::move(callback));
}

void AFXSystemManagementClient::presentError(const fnd::Error& error, ValueCallback callback) {
  sendAsReceived("presentError:callback:", {{"error", fnd::Value(error)}}, std::move(callback));
}

void AFXSystemManagementClient::signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                      bool showTerminationDialog, ErrorCallback callback) {
  sendForError("signOutCustomerWithID:showTerminationDialog:callback:",
               {{"customerID", fnd::Value(customerID)}, {"showTerminationDialog", showTerminationDialog}},
               std::move(callback));
}

void AFXSystemManagementClient::fetchCurrentCustomerUpdated(bool isUpdated, bool canDestroyInvalidCustomer,
                                                            const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                                            std::int64_t presentationStyle, ValueCallback callback) {
  sendForField("fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:",
               {{"isUpdated", isUpdated},
                {"canDestroyInvalidCustomer", canDestroyInvalidCustomer},
                {"runningApplication", fnd::Value(runningApplication)},
                {"presentationStyle", presentationStyle}},
               "customer", std::move(callback));
}

void AFXSystemManagementClient::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                                                    ValueCallback callback) {
  sendForField("fetchCustomerWithID:isUpdated:callback:",
               {{"customerID", fnd::Value(customerID)}, {"isUpdated", isUpdated}}, "customer", std::move(callback));
}

void AFXSystemManagementClient::fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer,
                                                                double timeoutInterval, ValueCallback callback) {
  sendForField("fetchCustomerCabinetAccessToken:timeoutInterval:callback:",
               {{"customer", fnd::Value(customer)}, {"timeoutInterval", timeoutInterval}}, "accessToken",
               std::move(callback));
}

void AFXSystemManagementClient::fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                            ValueCallback callback) {
  sendForField("fetchCustomerIdentityWithID:callback:", {{"customerID", fnd::Value(customerID)}}, "identity",
               std::move(callback));
}

void AFXSystemManagementClient::saveAPNSDeviceToken(const std::string& deviceToken,
                                                    const std::shared_ptr<AFXCustomer>& customer,
                                                    const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                    ErrorCallback callback) {
  sendForError("saveAPNSDeviceToken:forCustomer:environmentID:callback:",
               {{"deviceToken", deviceToken}, {"customer", fnd::Value(customer)}, {"environmentID", fnd::Value(environmentID)}},
               std::move(callback));
}

void AFXSystemManagementClient::startActivity(const std::shared_ptr<AFXActivity>& activity) {
  auto weak = std::weak_ptr<AFXSystemManagementClient>(
      std::dynamic_pointer_cast<AFXSystemManagementClient>(shared_from_this()));
  internalQueue_.async([weak, activity] {
    auto self = weak.lock();
    if (!self || !activity) return;
    const auto found = std::find_if(self->currentActivities_.begin(), self->currentActivities_.end(),
                                    [&](const auto& held) { return held->isEqual(*activity); });
    if (found != self->currentActivities_.end()) return;
    self->currentActivities_.push_back(activity);
    self->sendWithoutCallback("startActivity:reportStreamID:", {{"activity", fnd::Value(activity)}});
  });
}

void AFXSystemManagementClient::stopActivity(const std::shared_ptr<AFXActivity>& activity) {
  auto weak = std::weak_ptr<AFXSystemManagementClient>(
      std::dynamic_pointer_cast<AFXSystemManagementClient>(shared_from_this()));
  internalQueue_.async([weak, activity] {
    auto self = weak.lock();
    if (!self) return;
    std::erase_if(self->currentActivities_, [&](const auto& held) { return activity && held->isEqual(*activity); });
    self->sendWithoutCallback("stopActivity:reportStreamID:", {{"activity", fnd::Value(activity)}});
  });
}

void AFXSystemManagementClient::didEstablishInterprocessConnectionWithEsteblishedStreamID(
    const std::shared_ptr<fnd::UUID>& streamID) {
  AFXFamilyClient::didEstablishInterprocessConnectionWithEsteblishedStreamID(streamID);
  auto weak = std::weak_ptr<AFXSystemManagementClient>(
      std::dynamic_pointer_cast<AFXSystemManagementClient>(shared_from_this()));
  internalQueue_.async([weak] {
    auto self = weak.lock();
    if (!self) return;
    // The service ties activities to the stream; a new stream must learn
    // them again.
    for (const auto& activity : self->currentActivities_) {
      self->sendWithoutCallback("startActivity:reportStreamID:", {{"activity", fnd::Value(activity)}});
    }
  });
}

std::vector<std::shared_ptr<AFXActivity>> AFXSystemManagementClient::currentActivities() const {
  std::vector<std::shared_ptr<AFXActivity>> activities;
  internalQueue_.sync([&] { activities = currentActivities_; });
  return activities;
}

void AFXSystemManagementClient::signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>& credentials) {
  sendWithoutCallback("signInWithCredentials:", {{"credentials", fnd::Value(credentials)}});
}

void AFXSystemManagementClient::fetchSignInWorkflowWithCallback(ValueCallback callback) {
  sendForField("fetchSignInWorkflowWithCallback:", {}, "workflow", std::move(callback));
}
