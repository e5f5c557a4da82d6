#pragma once

// The client side of the system management service. Requests go out for
// the global identity; callbacks run on the queue the answer arrives on.
// The activities started through it are kept, on its internal queue, and
// started again on every new connection.

#include <memory>
#include <vector>

#include "foundation/queue.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/services/afx_family_client.h"
#include "interface/system_management/afx_activity.h"
#include "interface/system_management/afx_system_management_family.h"
#include "interface/system_management/afx_system_management_service.h"

class AFXSystemManagementClient final : public AFXFamilyClient, public AFXSystemManagementService {
 public:
  AFX_FAMILY_CLIENT_CLASS_OPERATIONS(AFXSystemManagementClient, AFXSystemManagementFamily)
  static std::string_view interprocessServiceName() { return AFXSystemManagementServiceName; }
  static std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke();

  using AFXSystemManagementService::ErrorCallback;
  using AFXSystemManagementService::ValueCallback;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void fetchCurrentEnvironmentUpdated(bool isUpdated, ValueCallback callback) override;
  void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                              ValueCallback callback) override;
  void pokeWithCallback(ValueCallback callback) override;
  void checkForUpdatesInitiatedByUser(bool initiatedByUser, ErrorCallback callback) override;
  void notifyFinderSyncExtensionLaunchedWithCallback(ValueCallback callback) override;
  void tearDownServiceWithCallback(BoolCallback callback) override;
  void fetchStartUpStatusWithCallback(ValueCallback callback) override;
  void showSignInWithPresentationStyle(std::int64_t presentationStyle, ValueCallback callback) override;
  void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType, ValueCallback callback) override;
  void fetchConsumptiveInternetUsagePermissionWithReason(std::uint64_t reason, bool canAskUser,
                                                         PermissionCallback callback) override;
  void cancelConsumptiveInternetUsagePermission(const std::string& cancellationKey) override;
  void uninstallKorviaForce(bool force, ErrorCallback callback) override;
  void prepareWholeSystemForTerminationWithCallback(BoolCallback callback) override;
  void presentError(const fnd::Error& error, ValueCallback callback) override;
  void signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool showTerminationDialog,
                             ErrorCallback callback) override;
  void fetchCurrentCustomerUpdated(bool isUpdated, bool canDestroyInvalidCustomer,
                                   const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                   std::int64_t presentationStyle, ValueCallback callback) override;
  void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                           ValueCallback callback) override;
  void fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer, double timeoutInterval,
                                       ValueCallback callback) override;
  void fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID, ValueCallback callback) override;
  void saveAPNSDeviceToken(const std::string& deviceToken, const std::shared_ptr<AFXCustomer>& customer,
                           const std::shared_ptr<AFXEnvironmentID>& environmentID, ErrorCallback callback) override;
  void startActivity(const std::shared_ptr<AFXActivity>& activity) override;
  void stopActivity(const std::shared_ptr<AFXActivity>& activity) override;
  void signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>& credentials) override;
  void fetchSignInWorkflowWithCallback(ValueCallback callback) override;

  void didEstablishInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>& streamID) override;

  // The activities held, read on the internal queue.
  std::vector<std::shared_ptr<AFXActivity>> currentActivities() const;

 private:
  AFXSystemManagementClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                            std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor);

  const fnd::Queue internalQueue_;
  // Touched on internalQueue_ only.
  std::vector<std::shared_ptr<AFXActivity>> currentActivities_;
};
