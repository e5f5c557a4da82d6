#pragma once

// The common base of the service clients: requests made for this client's
// identity and sent through the adaptor its service name shares.
//
// A concrete client declares, as static members, `className()`,
// `interprocessServiceName()`, `serviceIDClass()`, `requestClasses()` and
// `make(serviceID, servicesFactory, interprocessAdaptor)`, and optionally
// the poking identities; the class descriptor AFXServiceClassOf<Client>()
// follows from them.

#include <memory>
#include <string>

#include "foundation/check.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "interface/services/afx_base_service.h"
#include "interface/services/afx_service_class.h"

class AFXRegularManagementClient : public AFXBaseService {
 public:
  using ClassSet = AFXInterprocessRequest::ClassSet;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor() const { return interprocessAdaptor_; }

  // The adaptor for the service name, made with the factory as delegate.
  static std::shared_ptr<AFXInterprocessAdaptor> makeInterprocessAdaptor(std::string_view serviceName,
                                                                          ClassSet requestClasses,
                                                                          const std::shared_ptr<AFXServicesFactory>& factory);

  // A request of the class (one of the client's request classes) for this
  // client's identity and the factory's tier name; none once the factory is
  // gone.
  std::shared_ptr<AFXInterprocessRequest> makeRequestOfClass(const fnd::Class& requestClass) const;
  template <class Request>
  std::shared_ptr<Request> makeRequest() const {
    return std::dynamic_pointer_cast<Request>(makeRequestOfClass(Request::staticClass()));
  }

  void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                      AFXInterprocessRequest::ReportHandler reportHandler,
                      AFXInterprocessRequest::ResponseHandler responseHandler) override;

 protected:
  AFXRegularManagementClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                             std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor,
                             ClassSet requestClasses);

 private:
  const std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor_;
  const ClassSet requestClasses_;
};

namespace afx_services_detail {
fnd::Error clientNotMadeError(std::string_view className);
// Asks the factory for the adaptor of the identity's service name.
void fetchClientAdaptor(const std::shared_ptr<AFXServiceID>& serviceID,
                        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                        std::function<void(std::shared_ptr<AFXRegularInterprocessClientAdaptor>,
                                           const std::optional<fnd::Error>&)> callback);
}  // namespace afx_services_detail

template <class Client>
class AFXRegularManagementClientClass final : public AFXServiceClass {
 public:
  std::string_view className() const override { return Client::className(); }
  std::string_view interprocessServiceName() const override { return Client::interprocessServiceName(); }
  const fnd::Class& serviceIDClass() const override { return Client::serviceIDClass(); }
  std::shared_ptr<AFXInterprocessAdaptor> makeInterprocessAdaptorForServicesFactory(
      const std::shared_ptr<AFXServicesFactory>& servicesFactory) const override {
    return AFXRegularManagementClient::makeInterprocessAdaptor(Client::interprocessServiceName(),
                                                               Client::requestClasses(), servicesFactory);
  }
  void makeServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                         const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                         const std::shared_ptr<AFXNetworkService>&, ServiceCallback callback) const override {
    std::weak_ptr<AFXServicesFactory> weakFactory = servicesFactory;
    afx_services_detail::fetchClientAdaptor(
        serviceID, servicesFactory,
        [serviceID, weakFactory, callback](std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor,
                                           const std::optional<fnd::Error>& error) {
          if (error) {
            callback(QVValueOrError::initWithError(*error));
            return;
          }
          std::shared_ptr<AFXBaseService> client = Client::make(serviceID, weakFactory, std::move(adaptor));
          if (!client) {
            callback(QVValueOrError::initWithError(afx_services_detail::clientNotMadeError(Client::className())));
            return;
          }
          callback(QVValueOrError::initWithValue(fnd::Value(std::move(client))));
        });
  }
  std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke() const override {
    if constexpr (requires { Client::makeGlobalServiceIDToPoke(); }) return Client::makeGlobalServiceIDToPoke();
    return nullptr;
  }
  std::shared_ptr<AFXServiceID> makeServiceIDToPokeWithNewEnvironment(
      const std::shared_ptr<AFXEnvironment>& environment) const override {
    if constexpr (requires { Client::makeServiceIDToPokeWithNewEnvironment(environment); }) {
      return Client::makeServiceIDToPokeWithNewEnvironment(environment);
    }
    return nullptr;
  }
  std::shared_ptr<AFXServiceID> makeServiceIDToPokeWithNewCustomer(
      const std::shared_ptr<AFXCustomer>& customer) const override {
    if constexpr (requires { Client::makeServiceIDToPokeWithNewCustomer(customer); }) {
      return Client::makeServiceIDToPokeWithNewCustomer(customer);
    }
    return nullptr;
  }
};

template <class Client>
const AFXServiceClass& AFXServiceClassOf() {
  static const AFXRegularManagementClientClass<Client> descriptor;
  return descriptor;
}
