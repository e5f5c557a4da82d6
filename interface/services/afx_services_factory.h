#pragma once

// The one entry point through which a process reaches the desktop client's
// services. It makes one interprocess adaptor per service name at once, and
// later one service object per identity, cached until invalidated; requests
// for an identity whose service is being made wait for that one attempt. It
// follows the current environment and customer (asked of its delegate at
// start, then announced by the desktop client's distributed notifications)
// and tells the services that care.
//
// `services`, the current environment and the current customer live on the
// internal queue "com.quorvex.services-factory.internal-queue".

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/queue.h"
#include "interface/analytics/afx_analytics_tracker.h"
#include "interface/analytics/afx_statsd_client.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/network/afx_network_service_factory.h"
#include "interface/services/afx_base_service.h"
#include "interface/services/afx_service_class.h"
#include "tools/qv_proactor.h"

class AFXNetworkService;
class AFXServicesFactory;
class AFXActivity;
class AFXRunningApplication;

// The user information of the desktop client's notifications (their names
// are in afx_desktop_client_constants.h).
inline constexpr std::string_view AFXSystemManagementCurrentEnvironmentChangedNotificationEnvironmentSecureDataKey =
    "environment-secure-data";
inline constexpr std::string_view AFXSystemManagementCurrentEnvironmentChangedNotificationEnvironmentIDDataKey =
    "environment-id-data";
inline constexpr std::string_view AFXSystemManagementCurrentCustomerChangedNotificationCustomerSecureDataKey =
    "customer-secure-data";
inline constexpr std::string_view AFXSystemManagementCurrentCustomerChangedNotificationCustomerIDDataKey =
    "customer-id-data";
inline constexpr std::string_view AFXDidHandleSystemIntegrityRestorationDidRestoreKey = "didRestore";
// The per-environment key in the desktop client's shared preferences that
// says its environment was set up.
inline constexpr std::string_view AFXEnvironmentWasPreparedKey = "EnvironmentWasPrepared";

class AFXServicesFactoryDelegate {
 public:
  using EnvironmentCallback = std::function<void(const std::shared_ptr<AFXEnvironment>& environment)>;
  using CustomerCallback = std::function<void(const std::shared_ptr<AFXCustomer>& customer)>;

  virtual ~AFXServicesFactoryDelegate() = default;
  virtual void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory& factory,
                                                                  EnvironmentCallback callback) = 0;
  virtual void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory& factory,
                                                               CustomerCallback callback) = 0;
  // Optional: false when not implemented (the factory then handles it).
  virtual bool servicesFactoryHandleSystemIntegrityViolationWithCallback(AFXServicesFactory&,
                                                                          std::function<void(bool)>&) {
    return false;
  }
  // Optional: false when not implemented (the service is used as made).
  virtual bool servicesFactoryPrepareManagementService(AFXServicesFactory&, const std::shared_ptr<AFXBaseService>&,
                                                       std::function<void()>&) {
    return false;
  }
};

class AFXServicesFactory final : public AFXRegularInterprocessClientAdaptorDelegate,
                                 public AFXRegularInterprocessServerAdaptorDelegate,
                                 public QVProactorDelegate,
                                 public AFXNetworkServiceFactory,
                                 public std::enable_shared_from_this<AFXServicesFactory> {
  struct Token {};

 public:
  using ServiceClasses = std::vector<const AFXServiceClass*>;
  using ServiceCallback = std::function<void(const std::shared_ptr<QVValueOrError>& serviceOrError)>;
  // Either the adaptor or the error.
  using AdaptorCallback =
      std::function<void(const std::shared_ptr<AFXInterprocessAdaptor>& adaptor, const std::optional<fnd::Error>& error)>;

  static constexpr std::string_view kFindOrMakeServiceGroupID = "findOrMakeManamenentService";
  static constexpr std::string_view kSystemIntegrityGroupID = "handleSystemIntegrityViolation";
  static constexpr fnd::Clock::Duration kRestorationFallbackDelay = std::chrono::seconds(5);

  // With a network service of its own.
  static std::shared_ptr<AFXServicesFactory> initWithServicesClasses(ServiceClasses classes, std::string tierName,
                                                                     std::weak_ptr<AFXServicesFactoryDelegate> delegate);
  static std::shared_ptr<AFXServicesFactory> initWithServicesClasses(ServiceClasses classes, std::string tierName,
                                                                     std::shared_ptr<AFXNetworkService> networkService,
                                                                     std::weak_ptr<AFXServicesFactoryDelegate> delegate);
  AFXServicesFactory(Token, ServiceClasses classes, std::string tierName,
                     std::weak_ptr<AFXServicesFactoryDelegate> delegate);
  ~AFXServicesFactory() override;

  const std::string& tierName() const { return tierName_; }
  const std::shared_ptr<AFXNetworkService>& networkService() const { return networkService_; }
  std::shared_ptr<AFXServicesFactoryDelegate> delegate() const { return delegate_.lock(); }
  const fnd::Queue& internalQueue() const { return internalQueue_; }
  // The metric sink and the analytics tracker of this process, made with the
  // factory; both follow the current environment.
  std::shared_ptr<AFXMetricsSink> statsdClient() const override;
  const std::shared_ptr<AFXStatsdClient>& statsd() const { return statsdClient_; }
  const std::shared_ptr<AFXAnalyticsTracker>& analyticsTracker() const { return analyticsTracker_; }

  // Finding services. Callbacks run on a queue of the factory or its proactor.
  void fetchManagementServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID, ServiceCallback callback);
  void fetchSystemManagementServiceWithCallback(ServiceCallback callback);
  void fetchUIManagementServiceWithCallback(ServiceCallback callback);
  void fetchAppsManagementServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                  ServiceCallback callback);
  void fetchRemoteConfigurationServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                       ServiceCallback callback);
  void fetchRecommendationsServiceForCustomerID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                ServiceCallback callback);
  void fetchInterpocessAdaptorForServiceNamed(std::string_view serviceName, AdaptorCallback callback) const;
  void fetchAllServicesForName(std::string serviceName,
                               std::function<void(std::vector<std::shared_ptr<AFXBaseService>>)> callback);
  void invalidateService(const std::shared_ptr<AFXBaseService>& service, std::function<void()> callback);
  void unsafeInvalidateService(const std::shared_ptr<AFXBaseService>& service, std::function<void()> callback);
  void handleSystemIntegrityViolationWithCallback(std::function<void(bool)> callback);

  // The current environment and customer; read and set on the internal queue.
  std::shared_ptr<AFXEnvironment> currentEnvironment() const;
  std::shared_ptr<AFXCustomer> currentCustomer() const;
  void setCurrentEnvironment(const std::shared_ptr<AFXEnvironment>& environment, std::function<void()> pokeCompletionHandler);
  void setCurrentCustomer(const std::shared_ptr<AFXCustomer>& customer);
  void fetchCurrentEnvironmentWithCallback(AFXServicesFactoryDelegate::EnvironmentCallback callback);
  void fetchCurrentCustomerWithCallback(AFXServicesFactoryDelegate::CustomerCallback callback);

  // AFXRegularInterprocessClientAdaptorDelegate
  void regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(
      AFXRegularInterprocessClientAdaptor& adaptor, std::function<void(bool)> callback) override;
  void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                                const std::shared_ptr<fnd::UUID>& streamID) override;
  void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                            const std::shared_ptr<fnd::UUID>& streamID) override;
  void regularInterprocessClientAdaptorPrepareForTerminationWithCallback(AFXRegularInterprocessClientAdaptor& adaptor,
                                                                         std::function<void(bool)> callback) override;

  // AFXRegularInterprocessServerAdaptorDelegate: requests go to the service
  // their identity names.
  void regularInterprocessServerAdaptorPerformRequest(AFXRegularInterprocessServerAdaptor& adaptor,
                                                      const std::shared_ptr<AFXInterprocessRequest>& request,
                                                      AFXInterprocessRequest::ReportHandler reportHandler,
                                                      AFXInterprocessRequest::ResponseHandler responseHandler) override;
  void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                                const std::shared_ptr<fnd::UUID>& streamID) override;
  void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                            const std::shared_ptr<fnd::UUID>& streamID) override;

  // AFXNetworkServiceFactory, through the system management service.
  void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, Callback callback) override;
  void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool forceUpdate,
                           Callback callback) override;

  // Convenience calls through the system management service (defined with
  // that service): each fetches the service and calls its operation of the
  // same name; when the service cannot be had, the callback gets that error.
  void fetchCurrentEnvironmentUpdated(bool isUpdated, Callback callback);
  void fetchCurrentCustomerUpdated(bool isUpdated, bool canDestroyInvalidCustomer,
                                   const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                   std::int64_t presentationStyle, Callback callback);
  void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated, Callback callback);
  void updateEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, Callback callback);
  void fetchCustomerCabinetAccessTokenForCustomer(const std::shared_ptr<AFXCustomer>& customer, double timeoutInterval,
                                                  Callback callback);
  // Returns the new activity at once; failures are not reported.
  std::shared_ptr<AFXActivity> startActivityWithReason(std::string reason);
  void stopActivity(const std::shared_ptr<AFXActivity>& activity);
  // YES when the service cannot be had.
  void prepareWholeSystemForTerminationWithCallback(std::function<void(bool canTerminate)> callback);

 private:
  void start();
  void adoptStartEnvironment();
  void adoptStartCustomer();
  void observeNotifications();
  void findOrMakeManagementServiceForAction(const std::shared_ptr<QVProactorAction>& action);
  void finishFindOrMake(const std::shared_ptr<QVProactorAction>& action, const std::shared_ptr<QVValueOrError>& result);
  void handleSystemIntegrityViolationWithAction(const std::shared_ptr<QVProactorAction>& action);
  void finishIntegrityHandling(const std::shared_ptr<QVProactorAction>& action, bool didRestore, bool reset);
  void restoreSystemIntegrityWithAction(const std::shared_ptr<QVProactorAction>& action);
  void pokeServiceIDs(std::vector<std::shared_ptr<AFXServiceID>> serviceIDs, std::function<void()> completion);
  void forwardConnectionEvent(const std::string& serviceName, const std::shared_ptr<fnd::UUID>& streamID,
                              bool established);
  const AFXServiceClass* serviceClassForName(std::string_view serviceName) const;

  const std::string tierName_;
  const std::weak_ptr<AFXServicesFactoryDelegate> delegate_;
  const ServiceClasses classes_;
  std::shared_ptr<AFXNetworkService> networkService_;
  const std::shared_ptr<AFXStatsdClient> statsdClient_;
  const std::shared_ptr<AFXAnalyticsTracker> analyticsTracker_;
  std::unordered_map<std::string, const AFXServiceClass*> serviceClassesByServiceName_;
  std::unordered_map<std::string, std::shared_ptr<AFXInterprocessAdaptor>> interprocessAdaptorByServiceName_;
  std::shared_ptr<QVProactor> proactor_;
  const fnd::Queue internalQueue_;
  std::vector<fnd::DistributedNotificationCenter::ObserverToken> observers_;

  // Confined to the internal queue.
  std::vector<std::shared_ptr<AFXBaseService>> services_;
  std::shared_ptr<AFXEnvironment> currentEnvironment_;
  std::shared_ptr<AFXCustomer> currentCustomer_;
  // The integrity handling waiting for the desktop client's answer.
  std::shared_ptr<QVProactorAction> pendingRestoration_;
};
