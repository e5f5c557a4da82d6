#include "interface/services/afx_regular_management_client.h"

#include <algorithm>

#include "interface/errors/afx_errors.h"
#include "interface/services/afx_services_factory.h"
#include "logging/dd_log_macros.h"

const fnd::Class& AFXRegularManagementClient::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXRegularManagementClient", &AFXBaseService::staticClass());
  return cls;
}

AFXRegularManagementClient::AFXRegularManagementClient(std::shared_ptr<AFXServiceID> serviceID,
                                                       std::weak_ptr<AFXServicesFactory> servicesFactory,
                                                       std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor,
                                                       ClassSet requestClasses)
    : AFXBaseService(std::move(serviceID), std::move(servicesFactory)),
      interprocessAdaptor_(std::move(interprocessAdaptor)),
      requestClasses_(std::move(requestClasses)) {
  FND_PARAMETER_ASSERT_TEXT(interprocessAdaptor_ != nullptr, "interprocessAdaptor");
}

std::shared_ptr<AFXInterprocessAdaptor> AFXRegularManagementClient::makeInterprocessAdaptor(
    std::string_view serviceName, ClassSet requestClasses, const std::shared_ptr<AFXServicesFactory>& factory) {
  return AFXRegularInterprocessClientAdaptor::initWithServiceName(std::string(serviceName), factory->tierName(),
                                                                 std::move(requestClasses), factory);
}

std::shared_ptr<AFXInterprocessRequest> AFXRegularManagementClient::makeRequestOfClass(const fnd::Class& requestClass) const {
  FND_PARAMETER_ASSERT_TEXT(std::find(requestClasses_.begin(), requestClasses_.end(), &requestClass) != requestClasses_.end(),
                            "[self.class.requestClasses containsObject:requestClass]");
  auto factory = servicesFactory();
  if (!factory) {
    DDLogError("Did fail to make request of class %@ for %@ because services factory does not exist any more",
               requestClass.name(), description());
    return nullptr;
  }
  auto request = std::dynamic_pointer_cast<AFXInterprocessRequest>(requestClass.makeInstance());
  FND_PARAMETER_ASSERT_TEXT(request != nullptr, "[requestClass isSubclassOfClass:AFXInterprocessRequest.class]");
  request->setRequestingTierName(factory->tierName());
  request->setServiceID(serviceID());
  return request;
}

void AFXRegularManagementClient::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                AFXInterprocessRequest::ReportHandler reportHandler,
                                                AFXInterprocessRequest::ResponseHandler responseHandler) {
  FND_PARAMETER_ASSERT(request != nullptr);
  FND_PARAMETER_ASSERT_TEXT(request->requestingTierName().has_value(), "request.requestingTierName");
  FND_PARAMETER_ASSERT_TEXT(request->serviceID() != nullptr, "request.serviceID");
  interprocessAdaptor_->performRequest(request, std::move(reportHandler), std::move(responseHandler));
}

namespace afx_services_detail {

fnd::Error clientNotMadeError(std::string_view className) {
  return afx_makeErrorOfMissingServiceNamed(std::string(className), "make management service");
}

void fetchClientAdaptor(const std::shared_ptr<AFXServiceID>& serviceID,
                        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                        std::function<void(std::shared_ptr<AFXRegularInterprocessClientAdaptor>,
                                           const std::optional<fnd::Error>&)> callback) {
  servicesFactory->fetchInterpocessAdaptorForServiceNamed(
      serviceID->serviceName().value_or(""),
      [callback](const std::shared_ptr<AFXInterprocessAdaptor>& adaptor, const std::optional<fnd::Error>& error) {
        auto clientAdaptor = std::dynamic_pointer_cast<AFXRegularInterprocessClientAdaptor>(adaptor);
        if (error || !clientAdaptor) {
          callback(nullptr, error ? error : std::optional<fnd::Error>(afx_makeErrorOfMissingServiceNamed(
                                                "client adaptor", "sending interprocess messages")));
          return;
        }
        callback(std::move(clientAdaptor), std::nullopt);
      });
}

}  // namespace afx_services_detail
