#include "interface/services/afx_base_service.h"

#include "foundation/format.h"
#include "interface/services/afx_services_factory.h"

const fnd::Class& AFXBaseService::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXBaseService", &fnd::Object::staticClass());
  return cls;
}

AFXBaseService::AFXBaseService(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory)
    : serviceID_(std::move(serviceID)), servicesFactory_(std::move(servicesFactory)) {}

std::shared_ptr<AFXMetricsSink> AFXBaseService::statsdClient() const {
  auto factory = servicesFactory();
  return factory ? factory->statsdClient() : nullptr;
}

std::shared_ptr<AFXAnalyticsTracker> AFXBaseService::analyticsTracker() const {
  auto factory = servicesFactory();
  return factory ? factory->analyticsTracker() : nullptr;
}

void AFXBaseService::prepareForTerminationWithCallback(std::function<void(bool)> callback) { callback(true); }

void AFXBaseService::prepareForInvalidationWithCallback(std::function<void()> callback) {
  prepareForTerminationWithCallback([callback = std::move(callback)](bool) { callback(); });
}

void AFXBaseService::didEstablishInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>&) {}
void AFXBaseService::didLooseInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>&) {}

std::string AFXBaseService::description() const {
  return "<" + objectClass().name() + " " + (serviceID_ ? serviceID_->description() : "(no identity)") + ">";
}
