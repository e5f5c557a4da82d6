#pragma once

// The bases of the requests to the service's web back end: each gives its
// work the network service and, as needed, the environment and the customer
// the request is for. The network service is held weakly: it belongs to the
// services factory.

#include <functional>
#include <memory>

#include "foundation/error.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment.h"
#include "interface/model/afx_environment_id.h"
#include "interface/network/afx_network_service.h"

class AFXWebService {
 public:
  using ErrorBlock = std::function<void(const fnd::Error& error)>;

  explicit AFXWebService(std::weak_ptr<AFXNetworkService> networkService) : networkService_(std::move(networkService)) {}
  virtual ~AFXWebService() = default;
  AFXWebService() = delete;

  std::shared_ptr<AFXNetworkService> networkService() const { return networkService_.lock(); }

 protected:
  // The network service, or the missing-service error through `onError`.
  std::shared_ptr<AFXNetworkService> requireNetworkService(const ErrorBlock& onError) const;

 private:
  std::weak_ptr<AFXNetworkService> networkService_;
};

class AFXGlobalWebService : public AFXWebService {
 public:
  using AFXWebService::AFXWebService;
  using Block = std::function<void(const std::shared_ptr<AFXNetworkService>& networkService)>;
  using EnvironmentBlock = std::function<void(const std::shared_ptr<AFXNetworkService>& networkService,
                                              const std::shared_ptr<AFXEnvironment>& environment)>;

  void perform(Block block, ErrorBlock onError) const;
  void performForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID, EnvironmentBlock block,
                               ErrorBlock onError) const;
};

class AFXEnvironmentRelatedWebService : public AFXGlobalWebService {
 public:
  AFXEnvironmentRelatedWebService(std::shared_ptr<AFXEnvironmentID> environmentID,
                                  std::weak_ptr<AFXNetworkService> networkService)
      : AFXGlobalWebService(std::move(networkService)), environmentID_(std::move(environmentID)) {}

  const std::shared_ptr<AFXEnvironmentID>& environmentID() const { return environmentID_; }
  void perform(EnvironmentBlock block, ErrorBlock onError) const;

 private:
  std::shared_ptr<AFXEnvironmentID> environmentID_;
};

class AFXCustomerRelatedWebService : public AFXWebService {
 public:
  using Block = std::function<void(const std::shared_ptr<AFXNetworkService>& networkService,
                                   const std::shared_ptr<AFXEnvironment>& environment,
                                   const std::shared_ptr<AFXCustomer>& customer)>;

  AFXCustomerRelatedWebService(std::shared_ptr<AFXCustomerID> customerID, std::weak_ptr<AFXNetworkService> networkService)
      : AFXWebService(std::move(networkService)), customerID_(std::move(customerID)) {}

  const std::shared_ptr<AFXCustomerID>& customerID() const { return customerID_; }
  // Fetches the customer's environment and the customer at once; the
  // environment's error goes first. Answers on a utility worker.
  void perform(Block block, ErrorBlock onError) const;

 private:
  std::shared_ptr<AFXCustomerID> customerID_;
};
