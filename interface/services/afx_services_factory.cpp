#include "interface/services/afx_services_factory.h"

#include "foundation/bundle.h"
#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/launch_services.h"
#include "foundation/number.h"
#include "foundation/user_defaults.h"
#include "foundation/workspace.h"
#include "interface/errors/afx_errors.h"
#include "interface/network/afx_network_service.h"
#include "interface/web/afx_customer_urls.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

constexpr std::string_view kServiceOrErrorKey = "serviceOrError";
constexpr std::string_view kFindOrMakeOperation = "_findOrMakeManagementServiceForAction:";
constexpr std::string_view kIntegrityOperation = "_handleSystemIntegrityViolationWithAction:";

std::shared_ptr<fnd::Data> dataIn(const fnd::DistributedNotification& notification, std::string_view key) {
  if (!notification.userInfo) return nullptr;
  return notification.userInfo->objectForKey(fnd::Value(std::string(key))).as<fnd::Data>();
}

}  // namespace

// Construction

AFXServicesFactory::AFXServicesFactory(Token, ServiceClasses classes, std::string tierName,
                                       std::weak_ptr<AFXServicesFactoryDelegate> delegate)
    : tierName_(std::move(tierName)),
      delegate_(std::move(delegate)),
      classes_(std::move(classes)),
      statsdClient_(AFXStatsdClient::create()),
      analyticsTracker_(AFXAnalyticsTracker::trackerWithApplicationName(tierName_, fnd::Bundle::mainBundle()->bundleIdentifier(),
                                                                        nullptr)),
      internalQueue_(QVQueueBuilder::internalQueueWithName("services-factory")) {
  for (const AFXServiceClass* serviceClass : classes_) {
    FND_PARAMETER_ASSERT_TEXT(serviceClass != nullptr,
                              "All classes registered in factory should be subclasses of AFXBaseService and (null) is not.");
    serviceClassesByServiceName_.emplace(std::string(serviceClass->interprocessServiceName()), serviceClass);
  }
  registerOperation(std::string(kFindOrMakeOperation),
                    [this](const std::shared_ptr<QVProactorAction>& action) { findOrMakeManagementServiceForAction(action); });
  registerOperation(std::string(kIntegrityOperation),
                    [this](const std::shared_ptr<QVProactorAction>& action) { handleSystemIntegrityViolationWithAction(action); });
}

std::shared_ptr<AFXServicesFactory> AFXServicesFactory::initWithServicesClasses(
    ServiceClasses classes, std::string tierName, std::weak_ptr<AFXServicesFactoryDelegate> delegate) {
  auto factory = std::make_shared<AFXServicesFactory>(Token{}, std::move(classes), std::move(tierName), std::move(delegate));
  factory->networkService_ = AFXNetworkService::create(factory);
  factory->start();
  return factory;
}

std::shared_ptr<AFXServicesFactory> AFXServicesFactory::initWithServicesClasses(
    ServiceClasses classes, std::string tierName, std::shared_ptr<AFXNetworkService> networkService,
    std::weak_ptr<AFXServicesFactoryDelegate> delegate) {
  auto factory = std::make_shared<AFXServicesFactory>(Token{}, std::move(classes), std::move(tierName), std::move(delegate));
  factory->networkService_ = std::move(networkService);
  factory->start();
  return factory;
}

void AFXServicesFactory::start() {
  proactor_ = QVProactor::initWithDelegate(shared_from_this());
  (void)proactor_->addGroupWithID(fnd::Value(std::string(kFindOrMakeServiceGroupID)), true, kFindOrMakeOperation);
  (void)proactor_->addGroupWithID(fnd::Value(std::string(kSystemIntegrityGroupID)), true, kIntegrityOperation);
  // Every adaptor, with its listener, exists from the start; none connects yet.
  for (const AFXServiceClass* serviceClass : classes_) {
    interprocessAdaptorByServiceName_.emplace(std::string(serviceClass->interprocessServiceName()),
                                              serviceClass->makeInterprocessAdaptorForServicesFactory(shared_from_this()));
  }
  std::vector<std::shared_ptr<AFXServiceID>> globals;
  for (const AFXServiceClass* serviceClass : classes_) {
    if (auto serviceID = serviceClass->makeGlobalServiceIDToPoke()) globals.push_back(std::move(serviceID));
  }
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  internalQueue_.async([weak, globals = std::move(globals)]() mutable {
    auto self = weak.lock();
    if (!self) return;
    self->pokeServiceIDs(std::move(globals), [weak] {
      if (auto factory = weak.lock()) factory->adoptStartEnvironment();
    });
  });
  observeNotifications();
}

// The start: the delegate's environment first, then its customer.
void AFXServicesFactory::adoptStartEnvironment() {
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  fetchCurrentEnvironmentWithCallback([weak](const std::shared_ptr<AFXEnvironment>& environment) {
    auto self = weak.lock();
    if (!self) return;
    self->internalQueue_.async([weak, environment] {
      auto factory = weak.lock();
      if (!factory) return;
      factory->setCurrentEnvironment(environment, [weak] {
        if (auto current = weak.lock()) current->adoptStartCustomer();
      });
    });
  });
}

void AFXServicesFactory::adoptStartCustomer() {
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  fetchCurrentCustomerWithCallback([weak](const std::shared_ptr<AFXCustomer>& customer) {
    auto self = weak.lock();
    if (!self) return;
    self->internalQueue_.async([weak, customer] {
      if (auto factory = weak.lock()) factory->setCurrentCustomer(customer);
    });
  });
}

void AFXServicesFactory::observeNotifications() {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) {
    DDLogError("Cannot follow the desktop client's notifications: %@", center.error());
    return;
  }
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  auto observe = [&](std::string_view name, std::function<void(AFXServicesFactory&, const fnd::DistributedNotification&)> handler) {
    auto token = (*center)->addObserverForName(std::string(name), std::nullopt, internalQueue_,
                                               [weak, handler](const fnd::DistributedNotification& notification) {
                                                 if (auto self = weak.lock()) handler(*self, notification);
                                               });
    if (token) {
      observers_.push_back(*token);
    } else {
      DDLogError("Cannot observe %@: %@", std::string(name), token.error());
    }
  };
  observe(AFXSystemManagementCurrentEnvironmentChangedNotification,
          [](AFXServicesFactory& self, const fnd::DistributedNotification& notification) {
            auto data = dataIn(notification, AFXSystemManagementCurrentEnvironmentChangedNotificationEnvironmentSecureDataKey);
            self.setCurrentEnvironment(data ? AFXEnvironmentMakeFromSecureSerialization(data->bytes()) : nullptr, nullptr);
          });
  observe(AFXSystemManagementCurrentCustomerChangedNotification,
          [](AFXServicesFactory& self, const fnd::DistributedNotification& notification) {
            auto data = dataIn(notification, AFXSystemManagementCurrentCustomerChangedNotificationCustomerSecureDataKey);
            self.setCurrentCustomer(data ? AFXCustomerMakeFromSecureSerialization(data->bytes()) : nullptr);
          });
  observe(AFXDidHandleSystemIntegrityRestorationNotification,
          [](AFXServicesFactory& self, const fnd::DistributedNotification& notification) {
            bool didRestore = false;
            if (notification.userInfo) {
              auto value = notification.userInfo->objectForKey(fnd::Value(std::string(AFXDidHandleSystemIntegrityRestorationDidRestoreKey)));
              didRestore = value.boolValue().value_or(false);
            }
            auto pending = std::move(self.pendingRestoration_);
            self.pendingRestoration_.reset();
            if (pending) self.finishIntegrityHandling(pending, didRestore, true);
          });
}

AFXServicesFactory::~AFXServicesFactory() {
  if (auto center = fnd::DistributedNotificationCenter::defaultCenter()) {
    for (auto token : observers_) (*center)->removeObserver(token);
  }
  // Nothing can run on the internal queue for a factory being destroyed, so
  // the services are read here directly.
  for (const auto& service : services_) service->prepareForInvalidationWithCallback([service] {});
}

std::shared_ptr<AFXMetricsSink> AFXServicesFactory::statsdClient() const { return statsdClient_; }

const AFXServiceClass* AFXServicesFactory::serviceClassForName(std::string_view serviceName) const {
  auto found = serviceClassesByServiceName_.find(std::string(serviceName));
  return found == serviceClassesByServiceName_.end() ? nullptr : found->second;
}

// Finding services

void AFXServicesFactory::fetchManagementServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                                                      ServiceCallback callback) {
  FND_PARAMETER_ASSERT_TEXT(serviceID != nullptr, "serviceID");
  auto action = proactor_->groupWithID(fnd::Value(std::string(kFindOrMakeServiceGroupID)))->actionForArgument(fnd::Value(serviceID));
  action->addCompletionHandler([callback = std::move(callback)](const QVProactorResult& result) {
    auto serviceOrError = result.objectForKey(fnd::Value(std::string(kServiceOrErrorKey))).as<QVValueOrError>();
    FND_PARAMETER_ASSERT(serviceOrError != nullptr);
    callback(serviceOrError);
  });
}

void AFXServicesFactory::fetchSystemManagementServiceWithCallback(ServiceCallback callback) {
  fetchManagementServiceWithID(AFXGlobalServiceID::initWithServiceName(std::string(AFXSystemManagementServiceName)),
                               std::move(callback));
}

void AFXServicesFactory::fetchUIManagementServiceWithCallback(ServiceCallback callback) {
  fetchManagementServiceWithID(AFXGlobalServiceID::initWithServiceName(std::string(AFXUIManagementServiceName)),
                               std::move(callback));
}

void AFXServicesFactory::fetchAppsManagementServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                                    ServiceCallback callback) {
  fetchManagementServiceWithID(
      AFXEnvironmentServiceID::initWithServiceName(std::string(AFXAppsManagementServiceName), environmentID),
      std::move(callback));
}

void AFXServicesFactory::fetchRemoteConfigurationServiceForEnvironmentID(
    const std::shared_ptr<AFXEnvironmentID>& environmentID, ServiceCallback callback) {
  fetchManagementServiceWithID(
      AFXEnvironmentServiceID::initWithServiceName(std::string(AFXRemoteConfigurationServiceName), environmentID),
      std::move(callback));
}

void AFXServicesFactory::fetchRecommendationsServiceForCustomerID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                                  ServiceCallback callback) {
  fetchManagementServiceWithID(
      AFXCustomerServiceID::initWithServiceName(std::string(AFXRecommendationsServiceName), customerID),
      std::move(callback));
}

void AFXServicesFactory::fetchInterpocessAdaptorForServiceNamed(std::string_view serviceName,
                                                                AdaptorCallback callback) const {
  // The table is built before anyone can ask and never changes after.
  auto found = interprocessAdaptorByServiceName_.find(std::string(serviceName));
  if (found == interprocessAdaptorByServiceName_.end() || !found->second) {
    callback(nullptr, afx_makeErrorOfMissingServiceNamed("interprocess adaptor for " + std::string(serviceName),
                                                         "sending interprocess messages"));
    return;
  }
  callback(found->second, std::nullopt);
}

void AFXServicesFactory::fetchAllServicesForName(std::string serviceName,
                                                 std::function<void(std::vector<std::shared_ptr<AFXBaseService>>)> callback) {
  FND_PARAMETER_ASSERT_TEXT(!serviceName.empty(), "serviceName");
  internalQueue_.async([self = shared_from_this(), serviceName = std::move(serviceName), callback = std::move(callback)] {
    std::vector<std::shared_ptr<AFXBaseService>> found;
    for (const auto& service : self->services_) {
      if (service->serviceID()->serviceName() == serviceName) found.push_back(service);
    }
    callback(std::move(found));
  });
}

void AFXServicesFactory::findOrMakeManagementServiceForAction(const std::shared_ptr<QVProactorAction>& action) {
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  internalQueue_.async([weak, action] {
    auto self = weak.lock();
    if (!self) return;
    auto serviceID = action->argument().as<AFXServiceID>();
    DDLogInfo("First looking for cached service with ID %@", serviceID);
    for (const auto& service : self->services_) {
      if (service->serviceID()->isEqual(*serviceID)) {
        self->finishFindOrMake(action, QVValueOrError::initWithValue(fnd::Value(service)));
        return;
      }
    }
    DDLogInfo("Making new service with ID %@", serviceID);
    const AFXServiceClass* serviceClass = self->serviceClassForName(serviceID->serviceName().value_or(""));
    FND_PARAMETER_ASSERT_TEXT(serviceClass != nullptr, "managementServiceClass");
    FND_PARAMETER_ASSERT_TEXT(self->networkService_ != nullptr, "networkService");
    serviceClass->makeServiceWithID(serviceID, self, self->networkService_,
                                    [weak, action, serviceID](const std::shared_ptr<QVValueOrError>& made) {
      auto factory = weak.lock();
      if (!factory) {
        auto gone = afx_makeErrorOfMissingServiceNamed("self as AFXServicesFactory", "make management service");
        action->setObject(fnd::Value(QVValueOrError::initWithError(gone)), fnd::Value(std::string(kServiceOrErrorKey)));
        action->completeAndReset();
        return;
      }
      auto service = made->value().as<AFXBaseService>();
      if (made->error() || !service) {
        auto error = made->error() ? *made->error() : afx_makeErrorOfMissingServiceNamed(
                                                           serviceID->serviceName().value_or(""), "make management service");
        DDLogError("Failed making service %@ with error %@", serviceID, error);
        factory->finishFindOrMake(action, QVValueOrError::initWithError(error));
        return;
      }
      auto keep = [weak, action, service] {
        auto owner = weak.lock();
        if (!owner) return;
        owner->internalQueue_.async([owner, action, service] {
          owner->services_.push_back(service);
          owner->finishFindOrMake(action, QVValueOrError::initWithValue(fnd::Value(service)));
        });
      };
      std::function<void()> prepared = keep;
      auto delegate = factory->delegate();
      if (!delegate || !delegate->servicesFactoryPrepareManagementService(*factory, service, prepared)) keep();
    });
  });
}

void AFXServicesFactory::finishFindOrMake(const std::shared_ptr<QVProactorAction>& action,
                                          const std::shared_ptr<QVValueOrError>& result) {
  action->setObject(fnd::Value(result), fnd::Value(std::string(kServiceOrErrorKey)));
  // A failed attempt is not kept: the next request tries again.
  if (result->error()) {
    action->completeAndReset();
  } else {
    action->complete();
  }
}

void AFXServicesFactory::invalidateService(const std::shared_ptr<AFXBaseService>& service, std::function<void()> callback) {
  FND_PARAMETER_ASSERT_TEXT(service != nullptr, "service");
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  internalQueue_.async([weak, service, callback = std::move(callback)]() mutable {
    auto self = weak.lock();
    if (!self) {
      if (callback) callback();
      return;
    }
    self->unsafeInvalidateService(service, std::move(callback));
  });
}

void AFXServicesFactory::unsafeInvalidateService(const std::shared_ptr<AFXBaseService>& service,
                                                 std::function<void()> callback) {
  FND_PARAMETER_ASSERT_TEXT(service != nullptr, "service");
  std::erase(services_, service);
  proactor_->groupWithID(fnd::Value(std::string(kFindOrMakeServiceGroupID)))
      ->actionForArgument(fnd::Value(service->serviceID()))
      ->reset();
  // The service stays alive until it has answered.
  service->prepareForInvalidationWithCallback([service, callback = std::move(callback)] {
    if (callback) callback();
  });
}

// The current environment and customer

std::shared_ptr<AFXEnvironment> AFXServicesFactory::currentEnvironment() const {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  return currentEnvironment_;
}

std::shared_ptr<AFXCustomer> AFXServicesFactory::currentCustomer() const {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  return currentCustomer_;
}

void AFXServicesFactory::pokeServiceIDs(std::vector<std::shared_ptr<AFXServiceID>> serviceIDs,
                                        std::function<void()> completion) {
  auto finish = [self = shared_from_this(), completion = std::move(completion)] {
    self->internalQueue_.async([completion] {
      if (completion) completion();
    });
  };
  if (serviceIDs.empty()) {
    finish();
    return;
  }
  auto remaining = std::make_shared<std::atomic<std::size_t>>(serviceIDs.size());
  for (const auto& serviceID : serviceIDs) {
    fetchManagementServiceWithID(serviceID, [remaining, finish](const std::shared_ptr<QVValueOrError>&) {
      if (remaining->fetch_sub(1) == 1) finish();
    });
  }
}

void AFXServicesFactory::setCurrentEnvironment(const std::shared_ptr<AFXEnvironment>& environment,
                                               std::function<void()> pokeCompletionHandler) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  currentEnvironment_ = environment;
  if (const auto identifier = environment ? environment->identifier() : nullptr) {
    if (statsdClient_) statsdClient_->setEnvironmentID(identifier);
    analyticsTracker_->setEnabled(identifier->isAnalyticsTrackingEnabled());
  }
  std::vector<std::shared_ptr<AFXServiceID>> serviceIDs;
  for (const AFXServiceClass* serviceClass : classes_) {
    if (auto serviceID = serviceClass->makeServiceIDToPokeWithNewEnvironment(environment)) serviceIDs.push_back(serviceID);
  }
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  pokeServiceIDs(std::move(serviceIDs), [weak, environment, pokeCompletionHandler = std::move(pokeCompletionHandler)] {
    auto self = weak.lock();
    if (!self) return;
    FND_PARAMETER_ASSERT(self->internalQueue_.isCurrent());
    for (const auto& service : self->services_) {
      auto follower = std::dynamic_pointer_cast<AFXEnvironmentBasedService>(service);
      if (!follower) continue;
      auto own = follower->environmentID();
      const bool isOwn = environment && environment->identifier() && own && own->isEqual(*environment->identifier());
      follower->updateEnvironment(isOwn ? environment : nullptr);
    }
    if (pokeCompletionHandler) pokeCompletionHandler();
  });
}

void AFXServicesFactory::setCurrentCustomer(const std::shared_ptr<AFXCustomer>& customer) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  currentCustomer_ = customer;
  std::vector<std::shared_ptr<AFXServiceID>> serviceIDs;
  for (const AFXServiceClass* serviceClass : classes_) {
    if (auto serviceID = serviceClass->makeServiceIDToPokeWithNewCustomer(customer)) serviceIDs.push_back(serviceID);
  }
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  pokeServiceIDs(std::move(serviceIDs), [weak, customer] {
    auto self = weak.lock();
    if (!self) return;
    for (const auto& service : self->services_) {
      if (auto follower = std::dynamic_pointer_cast<AFXCustomerBasedService>(service)) {
        auto own = follower->customerID();
        const bool isOwn = customer && customer->identifier() && own && own->isEqual(*customer->identifier());
        follower->updateCustomer(isOwn ? customer : nullptr);
      }
      if (auto dependent = std::dynamic_pointer_cast<AFXCustomerDependentService>(service)) dependent->updateCustomer(customer);
    }
  });
}

void AFXServicesFactory::fetchCurrentEnvironmentWithCallback(AFXServicesFactoryDelegate::EnvironmentCallback callback) {
  auto delegate = this->delegate();
  if (!delegate) {
    callback(nullptr);
    return;
  }
  delegate->servicesFactoryFetchCurrentEnvironmentWithCallback(*this, std::move(callback));
}

void AFXServicesFactory::fetchCurrentCustomerWithCallback(AFXServicesFactoryDelegate::CustomerCallback callback) {
  auto delegate = this->delegate();
  if (!delegate) {
    callback(nullptr);
    return;
  }
  delegate->servicesFactoryFetchCurrentCustomerWithCallback(*this, std::move(callback));
}

// Connection events

void AFXServicesFactory::forwardConnectionEvent(const std::string& serviceName, const std::shared_ptr<fnd::UUID>& streamID,
                                                bool established) {
  if (established) {
    DDLogInfo("Did establish connection with %@", serviceName);
  } else {
    DDLogInfo("Did loose connection with %@", serviceName);
  }
  internalQueue_.async([self = shared_from_this(), serviceName, streamID, established] {
    for (const auto& service : self->services_) {
      if (service->serviceID()->serviceName() != serviceName) continue;
      if (established) {
        service->didEstablishInterprocessConnectionWithEsteblishedStreamID(streamID);
      } else {
        service->didLooseInterprocessConnectionWithEsteblishedStreamID(streamID);
      }
    }
  });
}

void AFXServicesFactory::didEstablishConnectionOfRegularInterprocessClientAdaptor(
    AFXRegularInterprocessClientAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& streamID) {
  forwardConnectionEvent(adaptor.serviceName(), streamID, true);
}

void AFXServicesFactory::didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                                              const std::shared_ptr<fnd::UUID>& streamID) {
  forwardConnectionEvent(adaptor.serviceName(), streamID, false);
}

void AFXServicesFactory::didEstablishConnectionOfRegularInterprocessServerAdaptor(
    AFXRegularInterprocessServerAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& streamID) {
  forwardConnectionEvent(adaptor.serviceName(), streamID, true);
}

void AFXServicesFactory::didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                                              const std::shared_ptr<fnd::UUID>& streamID) {
  forwardConnectionEvent(adaptor.serviceName(), streamID, false);
}

void AFXServicesFactory::regularInterprocessClientAdaptorPrepareForTerminationWithCallback(
    AFXRegularInterprocessClientAdaptor&, std::function<void(bool)> callback) {
  internalQueue_.async([self = shared_from_this(), callback = std::move(callback)] {
    if (self->services_.empty()) {
      callback(true);
      return;
    }
    auto remaining = std::make_shared<std::atomic<std::size_t>>(self->services_.size());
    auto refusals = std::make_shared<std::atomic<std::size_t>>(0);
    for (const auto& service : self->services_) {
      service->prepareForTerminationWithCallback([remaining, refusals, callback](bool canTerminate) {
        if (!canTerminate) refusals->fetch_add(1);
        if (remaining->fetch_sub(1) == 1) callback(refusals->load() == 0);
      });
    }
  });
}

void AFXServicesFactory::regularInterprocessServerAdaptorPerformRequest(
    AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
    AFXInterprocessRequest::ReportHandler reportHandler, AFXInterprocessRequest::ResponseHandler responseHandler) {
  fetchManagementServiceWithID(request->serviceID(), [request, reportHandler, responseHandler](
                                                         const std::shared_ptr<QVValueOrError>& serviceOrError) {
    auto service = serviceOrError->value().as<AFXBaseService>();
    if (serviceOrError->error() || !service) {
      responseHandler(serviceOrError);
      return;
    }
    service->performRequest(request, reportHandler, responseHandler);
  });
}

// System integrity

void AFXServicesFactory::regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(
    AFXRegularInterprocessClientAdaptor&, std::function<void(bool)> callback) {
  handleSystemIntegrityViolationWithCallback(std::move(callback));
}

void AFXServicesFactory::handleSystemIntegrityViolationWithCallback(std::function<void(bool)> callback) {
  auto action = proactor_->groupWithID(fnd::Value(std::string(kSystemIntegrityGroupID)))->defaultAction();
  action->addCompletionHandler([callback = std::move(callback)](const QVProactorResult& result) {
    callback(result.objectForKey(fnd::Value(std::string(AFXDidHandleSystemIntegrityRestorationDidRestoreKey))).boolValue().value_or(false));
  });
}

void AFXServicesFactory::finishIntegrityHandling(const std::shared_ptr<QVProactorAction>& action, bool didRestore,
                                                 bool reset) {
  action->setObject(fnd::Value(didRestore), fnd::Value(std::string(AFXDidHandleSystemIntegrityRestorationDidRestoreKey)));
  if (reset) {
    action->completeAndReset();
  } else {
    action->complete();
  }
}

void AFXServicesFactory::handleSystemIntegrityViolationWithAction(const std::shared_ptr<QVProactorAction>& action) {
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  internalQueue_.async([weak, action] {
    auto self = weak.lock();
    if (!self) return;
    // Only an environment the desktop client has set up can be restored.
    bool prepared = false;
    if (self->currentEnvironment_ && self->currentEnvironment_->identifier()) {
      auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
      const std::string key = std::to_string(self->currentEnvironment_->identifier()->hash()) + "-" +
                              std::string(AFXEnvironmentWasPreparedKey);
      prepared = defaults && defaults->boolForKey(key);
    }
    if (!prepared) {
      self->finishIntegrityHandling(action, false, true);
      return;
    }
    std::function<void(bool)> answer = [weak, action](bool didRestore) {
      if (auto factory = weak.lock()) factory->finishIntegrityHandling(action, didRestore, true);
    };
    auto delegate = self->delegate();
    if (delegate && delegate->servicesFactoryHandleSystemIntegrityViolationWithCallback(*self, answer)) return;
    self->restoreSystemIntegrityWithAction(action);
  });
}

void AFXServicesFactory::restoreSystemIntegrityWithAction(const std::shared_ptr<QVProactorAction>& action) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  DDLogWarn("Restoring system integrity");
  std::weak_ptr<AFXServicesFactory> weak = weak_from_this();
  // Without an answer the handling ends with NO and stays ended.
  auto fallback = [weak, action] {
    auto self = weak.lock();
    if (!self || self->pendingRestoration_ != action) return;
    self->pendingRestoration_.reset();
    self->finishIntegrityHandling(action, false, false);
  };
  pendingRestoration_ = action;
  const bool clientKnown = !fnd::LaunchServices::URLsForApplicationsWithBundleIdentifier(AFXDesktopClientBundleIdentifier).empty();
  auto url = restoreIntegrityURL();
  if (clientKnown && url && fnd::Workspace::sharedWorkspace().openURL(*url)) {
    internalQueue_.after(kRestorationFallbackDelay, fallback);
    return;
  }
  fallback();
}

// The network service's record look-ups

