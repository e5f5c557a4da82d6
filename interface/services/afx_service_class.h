#pragma once

// The class side of a service: what the services factory asks of a service
// class before any object of it exists. One descriptor per class, made once
// (AFXServiceClassOf<Service>() for the regular clients and servers).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/class.h"
#include "interface/interprocess/afx_interprocess_adaptor.h"
#include "interface/interprocess/afx_service_id.h"
#include "tools/qv_value_or_error.h"

class AFXServicesFactory;
class AFXNetworkService;
class AFXEnvironment;
class AFXCustomer;

class AFXServiceClass {
 public:
  // The result's value is the new AFXBaseService.
  using ServiceCallback = std::function<void(const std::shared_ptr<QVValueOrError>& serviceOrError)>;

  virtual ~AFXServiceClass() = default;

  virtual std::string_view className() const = 0;
  virtual std::string_view interprocessServiceName() const = 0;
  virtual const fnd::Class& serviceIDClass() const = 0;
  virtual std::shared_ptr<AFXInterprocessAdaptor> makeInterprocessAdaptorForServicesFactory(
      const std::shared_ptr<AFXServicesFactory>& servicesFactory) const = 0;
  virtual void makeServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                                 const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                 const std::shared_ptr<AFXNetworkService>& networkService,
                                 ServiceCallback callback) const = 0;

  // The identities to make at start, and when the environment or customer
  // changes; none for classes without that capability.
  virtual std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke() const { return nullptr; }
  virtual std::shared_ptr<AFXServiceID> makeServiceIDToPokeWithNewEnvironment(
      const std::shared_ptr<AFXEnvironment>&) const {
    return nullptr;
  }
  virtual std::shared_ptr<AFXServiceID> makeServiceIDToPokeWithNewCustomer(const std::shared_ptr<AFXCustomer>&) const {
    return nullptr;
  }
};
