#include "interface/services/afx_regular_management_server.h"

#include "foundation/check.h"
#include "interface/errors/afx_errors.h"
#include "interface/services/afx_services_factory.h"
#include "logging/dd_log_macros.h"

const fnd::Class& AFXRegularManagementServer::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXRegularManagementServer", &AFXBaseService::staticClass());
  return cls;
}

AFXRegularManagementServer::AFXRegularManagementServer(
    std::shared_ptr<AFXServiceID> serviceID, std::shared_ptr<AFXRegularInterprocessServerAdaptor> interprocessAdaptor,
    std::weak_ptr<AFXServicesFactory> servicesFactory)
    : AFXBaseService(std::move(serviceID), std::move(servicesFactory)), interprocessAdaptor_(std::move(interprocessAdaptor)) {
  FND_PARAMETER_ASSERT_TEXT(interprocessAdaptor_ != nullptr, "interprocessAdaptor");
}

std::shared_ptr<AFXInterprocessAdaptor> AFXRegularManagementServer::makeInterprocessAdaptor(
    std::string_view serviceName, ClassSet requestClasses, const std::shared_ptr<AFXServicesFactory>& factory) {
  auto adaptor = AFXRegularInterprocessServerAdaptor::initWithServiceName(std::string(serviceName),
                                                                         std::move(requestClasses), factory);
  if (!adaptor) {
    DDLogError("Cannot publish %@: %@", std::string(serviceName), adaptor.error());
    return nullptr;
  }
  return *adaptor;
}

void AFXRegularManagementServer::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                AFXInterprocessRequest::ReportHandler reportHandler,
                                                AFXInterprocessRequest::ResponseHandler responseHandler) {
  FND_PARAMETER_ASSERT(request != nullptr);
  request->performOnService(interprocessService(), std::move(reportHandler), std::move(responseHandler));
}

namespace afx_services_detail {

void fetchServerAdaptor(const std::shared_ptr<AFXServiceID>& serviceID,
                        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                        std::function<void(std::shared_ptr<AFXRegularInterprocessServerAdaptor>,
                                           const std::optional<fnd::Error>&)> callback) {
  servicesFactory->fetchInterpocessAdaptorForServiceNamed(
      serviceID->serviceName().value_or(""),
      [callback](const std::shared_ptr<AFXInterprocessAdaptor>& adaptor, const std::optional<fnd::Error>& error) {
        auto serverAdaptor = std::dynamic_pointer_cast<AFXRegularInterprocessServerAdaptor>(adaptor);
        if (error || !serverAdaptor) {
          callback(nullptr, error ? error : std::optional<fnd::Error>(afx_makeErrorOfMissingServiceNamed(
                                                "server adaptor", "publishing interprocess services")));
          return;
        }
        callback(std::move(serverAdaptor), std::nullopt);
      });
}

}  // namespace afx_services_detail
