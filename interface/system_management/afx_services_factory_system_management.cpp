// The services factory's calls through the system management service.

#include "foundation/check.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "interface/services/afx_services_factory.h"
#include "interface/system_management/afx_activity.h"
#include "interface/system_management/afx_system_management_service.h"

namespace {

using SystemManagementCallback = std::function<void(const std::shared_ptr<AFXSystemManagementService>& service,
                                                    const std::optional<fnd::Error>& error)>;

void withSystemManagementService(AFXServicesFactory& factory, SystemManagementCallback callback) {
  factory.fetchSystemManagementServiceWithCallback(
      [callback = std::move(callback)](const std::shared_ptr<QVValueOrError>& serviceOrError) {
        if (serviceOrError->error()) {
          callback(nullptr, serviceOrError->error());
          return;
        }
        auto service = std::dynamic_pointer_cast<AFXSystemManagementService>(serviceOrError->value().object());
        FND_PARAMETER_ASSERT_TEXT(service != nullptr, "[service conformsToProtocol:@protocol(AFXSystemManagementService)]");
        callback(service, std::nullopt);
      });
}

}  // namespace

void AFXServicesFactory::fetchCurrentEnvironmentUpdated(bool isUpdated, Callback callback) {
  withSystemManagementService(*this, [isUpdated, callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(QVValueOrError::initWithError(*error));
    service->fetchCurrentEnvironmentUpdated(isUpdated, callback);
  });
}

void AFXServicesFactory::fetchCurrentCustomerUpdated(bool isUpdated, bool canDestroyInvalidCustomer,
                                                     const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                                     std::int64_t presentationStyle, Callback callback) {
  withSystemManagementService(*this, [=, callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(QVValueOrError::initWithError(*error));
    service->fetchCurrentCustomerUpdated(isUpdated, canDestroyInvalidCustomer, runningApplication, presentationStyle,
                                         callback);
  });
}

void AFXServicesFactory::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                                                Callback callback) {
  FND_PARAMETER_ASSERT_TEXT(environmentID != nullptr, "environmentID");
  withSystemManagementService(*this, [=, callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(QVValueOrError::initWithError(*error));
    service->fetchEnvironmentWithID(environmentID, isUpdated, callback);
  });
}

void AFXServicesFactory::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                Callback callback) {
  fetchEnvironmentWithID(environmentID, false, std::move(callback));
}

void AFXServicesFactory::updateEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                 Callback callback) {
  fetchEnvironmentWithID(environmentID, true, std::move(callback));
}

void AFXServicesFactory::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool forceUpdate,
                                             Callback callback) {
  FND_PARAMETER_ASSERT_TEXT(customerID != nullptr, "customerID");
  withSystemManagementService(*this, [=, callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(QVValueOrError::initWithError(*error));
    service->fetchCustomerWithID(customerID, forceUpdate, callback);
  });
}

void AFXServicesFactory::fetchCustomerCabinetAccessTokenForCustomer(const std::shared_ptr<AFXCustomer>& customer,
                                                                    double timeoutInterval, Callback callback) {
  FND_PARAMETER_ASSERT_TEXT(customer != nullptr, "customer");
  withSystemManagementService(*this, [=, callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(QVValueOrError::initWithError(*error));
    service->fetchCustomerCabinetAccessToken(customer, timeoutInterval, callback);
  });
}

std::shared_ptr<AFXActivity> AFXServicesFactory::startActivityWithReason(std::string reason) {
  auto activity = AFXActivity::initWithTierName(tierName(), std::move(reason));
  withSystemManagementService(*this, [activity](const auto& service, const auto&) {
    if (service) service->startActivity(activity);
  });
  return activity;
}

void AFXServicesFactory::stopActivity(const std::shared_ptr<AFXActivity>& activity) {
  withSystemManagementService(*this, [activity](const auto& service, const auto&) {
    if (service) service->stopActivity(activity);
  });
}

void AFXServicesFactory::prepareWholeSystemForTerminationWithCallback(std::function<void(bool)> callback) {
  withSystemManagementService(*this, [callback = std::move(callback)](const auto& service, const auto& error) {
    if (error) return callback(true);
    service->prepareWholeSystemForTerminationWithCallback(callback);
  });
}
