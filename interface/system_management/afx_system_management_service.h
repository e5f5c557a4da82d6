#pragma once

// What the system management service offers its clients: the environment,
// the customer, activities, termination, sign-in and uninstallation.
// Value callbacks receive a value-or-error; the others are told per
// operation.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/error.h"
#include "interface/services/afx_management_service.h"
#include "tools/qv_value_or_error.h"

class AFXActivity;
class AFXCustomerCredentials;
class AFXRunningApplication;

class AFXSystemManagementService {
 public:
  virtual ~AFXSystemManagementService() = default;

  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  using ErrorCallback = std::function<void(const std::optional<fnd::Error>& error)>;
  using BoolCallback = std::function<void(bool value)>;
  using PermissionCallback = std::function<void(bool canUseInternet, const std::optional<std::string>& cancellationKey)>;

  // Global service.
  virtual void fetchCurrentEnvironmentUpdated(bool isUpdated, ValueCallback callback) = 0;
  virtual void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                                      ValueCallback callback) = 0;
  virtual void pokeWithCallback(ValueCallback callback) = 0;
  virtual void checkForUpdatesInitiatedByUser(bool initiatedByUser, ErrorCallback callback) = 0;
  virtual void notifyFinderSyncExtensionLaunchedWithCallback(ValueCallback callback) = 0;
  // NO when the service cannot be reached.
  virtual void tearDownServiceWithCallback(BoolCallback callback) = 0;
  virtual void fetchStartUpStatusWithCallback(ValueCallback callback) = 0;
  virtual void showSignInWithPresentationStyle(std::int64_t presentationStyle, ValueCallback callback) = 0;
  virtual void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType, ValueCallback callback) = 0;
  virtual void fetchConsumptiveInternetUsagePermissionWithReason(std::uint64_t reason, bool canAskUser,
                                                                 PermissionCallback callback) = 0;
  virtual void cancelConsumptiveInternetUsagePermission(const std::string& cancellationKey) = 0;
  virtual void uninstallKorviaForce(bool force, ErrorCallback callback) = 0;
  // YES when the service cannot be reached.
  virtual void prepareWholeSystemForTerminationWithCallback(BoolCallback callback) = 0;
  virtual void presentError(const fnd::Error& error, ValueCallback callback) = 0;

  // Customers.
  virtual void signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool showTerminationDialog,
                                     ErrorCallback callback) = 0;
  virtual void fetchCurrentCustomerUpdated(bool isUpdated, bool canDestroyInvalidCustomer,
                                           const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                           std::int64_t presentationStyle, ValueCallback callback) = 0;
  virtual void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                                   ValueCallback callback) = 0;
  virtual void fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer, double timeoutInterval,
                                               ValueCallback callback) = 0;
  virtual void fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                           ValueCallback callback) = 0;
  virtual void saveAPNSDeviceToken(const std::string& deviceToken, const std::shared_ptr<AFXCustomer>& customer,
                                   const std::shared_ptr<AFXEnvironmentID>& environmentID, ErrorCallback callback) = 0;

  // Activities: held until stopped, told again after a reconnection.
  virtual void startActivity(const std::shared_ptr<AFXActivity>& activity) = 0;
  virtual void stopActivity(const std::shared_ptr<AFXActivity>& activity) = 0;

  // Sign-in.
  virtual void signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>& credentials) = 0;
  virtual void fetchSignInWorkflowWithCallback(ValueCallback callback) = 0;
};
