#include "desktop_client/afx_reference_push_delegate.h"

#include "foundation/bundle.h"
#include "foundation/process.h"
#include "foundation/workspace.h"
#include "interface/errors/afx_errors.h"
#include "interface/system_management/afx_system_management_client.h"
#include "logging/dd_log_macros.h"

void AFXReferencePushDelegate::userNotificationsManagerNeedsLaunchApp(AFXPushNotificationsManager&,
                                                                      const std::optional<std::string>& bundleID,
                                                                      const std::optional<std::int64_t>& appID) {
  std::optional<std::string> path;
  if (bundleID) {
    if (auto url = fnd::Workspace::sharedWorkspace().URLForApplicationWithBundleIdentifier(*bundleID)) path = url->path();
  }
  if (!path && appID) path = service_->installedPathOfApp(*appID);
  auto bundle = path ? fnd::Bundle::bundleWithPath(*path) : nullptr;
  const auto executable = bundle ? bundle->executablePath() : std::nullopt;
  if (!executable) {
    DDLogError("No app to open for %@ %@", bundleID.value_or("-"), appID.value_or(0));
    return;
  }
  fnd::ProcessLaunchOptions options;
  options.executablePath = *executable;
  if (auto launched = fnd::Process::launch(options); !launched) DDLogError("Cannot open %@: %@", *path, launched.error());
}

void AFXReferencePushDelegate::userNotificationsManagerNeedsFetchSystemManagementService(AFXPushNotificationsManager&,
                                                                                        ValueCallback callback) {
  std::shared_ptr<AFXServicesFactory> factory;
  {
    std::lock_guard lock(mutex_);
    if (!factory_) {
      factory_ = AFXServicesFactory::initWithServicesClasses({&AFXServiceClassOf<AFXSystemManagementClient>()},
                                                             "KorviaDesktopClient", weak_from_this());
    }
    factory = factory_;
  }
  factory->fetchSystemManagementServiceWithCallback(std::move(callback));
}

void AFXReferencePushDelegate::userNotificationsManagerNeedsFetchCurrentCustomerURLInfo(AFXPushNotificationsManager&,
                                                                                        CustomerURLInfoCallback callback) {
  if (auto customer = service_->currentCustomer()) {
    callback(AFXCustomerURLInfo::initWithCustomer(customer, std::nullopt), std::nullopt);
  } else {
    callback(nullptr, afx_makeErrorOfMissingObjectOfKind("customer"));
  }
}

void AFXReferencePushDelegate::servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&,
                                                                                  EnvironmentCallback callback) {
  callback(service_->currentEnvironment());
}

void AFXReferencePushDelegate::servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) {
  callback(service_->currentCustomer());
}
