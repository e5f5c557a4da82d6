#pragma once

// The common base of the service objects a process publishes: requests that
// arrive through the server adaptor of the service name are handed to the
// service their identity names (the services factory finds or makes it).
//
// A concrete server declares, as static members, `className()`,
// `interprocessServiceName()`, `serviceIDClass()`, `requestClasses()` and
// `make(serviceID, servicesFactory, interprocessAdaptor)`, and implements its
// family's service protocol; AFXServerClassOf<Server>() follows from them.

#include <memory>
#include <string>

#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"
#include "interface/services/afx_base_service.h"
#include "interface/services/afx_service_class.h"

class AFXRegularManagementServer : public AFXBaseService {
 public:
  using ClassSet = AFXInterprocessRequest::ClassSet;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor() const { return interprocessAdaptor_; }

  // The server adaptor for the service name, with the factory as delegate;
  // none (logged) when the name cannot be published.
  static std::shared_ptr<AFXInterprocessAdaptor> makeInterprocessAdaptor(std::string_view serviceName,
                                                                          ClassSet requestClasses,
                                                                          const std::shared_ptr<AFXServicesFactory>& factory);

  // Runs the request on this service: `performOnService` of the request's
  // class with this object as the service.
  void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                      AFXInterprocessRequest::ReportHandler reportHandler,
                      AFXInterprocessRequest::ResponseHandler responseHandler) override;

 protected:
  AFXRegularManagementServer(std::shared_ptr<AFXServiceID> serviceID,
                             std::shared_ptr<AFXRegularInterprocessServerAdaptor> interprocessAdaptor,
                             std::weak_ptr<AFXServicesFactory> servicesFactory);

  // The service object the requests run on: this server, as its family's
  // service protocol.
  virtual std::shared_ptr<AFXInterprocessService> interprocessService() = 0;

 private:
  const std::shared_ptr<AFXRegularInterprocessServerAdaptor> interprocessAdaptor_;
};

namespace afx_services_detail {
void fetchServerAdaptor(const std::shared_ptr<AFXServiceID>& serviceID,
                        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                        std::function<void(std::shared_ptr<AFXRegularInterprocessServerAdaptor>,
                                           const std::optional<fnd::Error>&)> callback);
fnd::Error clientNotMadeError(std::string_view className);
}  // namespace afx_services_detail

template <class Server>
class AFXRegularManagementServerClass final : public AFXServiceClass {
 public:
  std::string_view className() const override { return Server::className(); }
  std::string_view interprocessServiceName() const override { return Server::interprocessServiceName(); }
  const fnd::Class& serviceIDClass() const override { return Server::serviceIDClass(); }
  std::shared_ptr<AFXInterprocessAdaptor> makeInterprocessAdaptorForServicesFactory(
      const std::shared_ptr<AFXServicesFactory>& servicesFactory) const override {
    return AFXRegularManagementServer::makeInterprocessAdaptor(Server::interprocessServiceName(),
                                                               Server::requestClasses(), servicesFactory);
  }
  void makeServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                         const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                         const std::shared_ptr<AFXNetworkService>&, ServiceCallback callback) const override {
    std::weak_ptr<AFXServicesFactory> weakFactory = servicesFactory;
    afx_services_detail::fetchServerAdaptor(
        serviceID, servicesFactory,
        [serviceID, weakFactory, callback](std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor,
                                           const std::optional<fnd::Error>& error) {
          if (error) {
            callback(QVValueOrError::initWithError(*error));
            return;
          }
          std::shared_ptr<AFXBaseService> server = Server::make(serviceID, std::move(adaptor), weakFactory);
          if (!server) {
            callback(QVValueOrError::initWithError(afx_services_detail::clientNotMadeError(Server::className())));
            return;
          }
          callback(QVValueOrError::initWithValue(fnd::Value(std::move(server))));
        });
  }
  std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke() const override {
    if constexpr (requires { Server::makeGlobalServiceIDToPoke(); }) return Server::makeGlobalServiceIDToPoke();
    return nullptr;
  }
};

template <class Server>
const AFXServiceClass& AFXServerClassOf() {
  static const AFXRegularManagementServerClass<Server> descriptor;
  return descriptor;
}
