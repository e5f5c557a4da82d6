#pragma once

// What the user-interface management service offers other processes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/set.h"
#include "tools/qv_value_or_error.h"

class AFXCustomer;
class AFXRunningApplication;

class AFXUIManagementService {
 public:
  virtual ~AFXUIManagementService() = default;
  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  using BoolCallback = std::function<void(bool value)>;
  using SetCallback = std::function<void(const std::shared_ptr<fnd::Set>& set)>;
  using TerminationCallback = std::function<void(bool cancelledByUser, const std::shared_ptr<fnd::Set>& quittedAppURLs)>;

  virtual void fetchCredentialsWithAccountName(const std::string& accountName,
                                               const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                               ValueCallback callback) = 0;
  virtual void presentError(const fnd::Error& error, ValueCallback callback) = 0;
  virtual void presentUserNotificationOfKind(std::uint64_t kind) = 0;
  virtual void presentUserNotificationOfBrandNewApps(const std::shared_ptr<fnd::Set>& brandNewApps) = 0;
  // NO on error.
  virtual void proposeToUninstallKorviaWithCallback(BoolCallback callback) = 0;
  virtual void pokeWithCallback(ValueCallback callback) = 0;
  // An empty set when there is none or on error.
  virtual void proposeToUpdateRunningApplications(const std::shared_ptr<fnd::Set>& runningApplications,
                                                  bool withUserNotification,
                                                  const std::shared_ptr<fnd::Data>& additionalNotificationData,
                                                  SetCallback callback) = 0;
  virtual void presentUserNotificationOfUpdatedApps(const std::shared_ptr<fnd::Set>& updatedApps) = 0;
  virtual void presentAboutWindowWithCallback(ValueCallback callback) = 0;
  virtual void askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason, BoolCallback callback) = 0;
  // NO and none on error.
  virtual void presentTerminationWindowWithReason(std::int64_t reason, TerminationCallback callback) = 0;
  virtual void openOnlineHelpWithCallback(BoolCallback callback) = 0;
  virtual void openFeedbackFormWithCallback(ValueCallback callback) = 0;
  virtual void openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer, bool startingWithTrialPaymentPage,
                                      BoolCallback callback) = 0;
  virtual void changeStatusItemVisibilityToState(bool isVisible, BoolCallback callback) = 0;
};
