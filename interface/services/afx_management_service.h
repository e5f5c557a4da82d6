#pragma once

// What every service object offers, and the capabilities a service may have
// that make the services factory keep it informed.

#include <functional>
#include <memory>

#include "interface/interprocess/afx_interprocess_request.h"
#include "interface/interprocess/afx_service_id.h"

class AFXEnvironment;
class AFXEnvironmentID;
class AFXCustomer;
class AFXCustomerID;
class AFXMetricsSink;

class AFXManagementService {
 public:
  virtual ~AFXManagementService() = default;
  virtual const std::shared_ptr<AFXServiceID>& serviceID() const = 0;
  // None once the owning factory is gone.
  virtual std::shared_ptr<AFXMetricsSink> statsdClient() const = 0;
};

class AFXRegularManagementService {
 public:
  virtual ~AFXRegularManagementService() = default;
  virtual void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                              AFXInterprocessRequest::ReportHandler reportHandler,
                              AFXInterprocessRequest::ResponseHandler responseHandler) = 0;
};

// A service that exists per environment and follows the current one: it is
// given the new environment when it is its own, none otherwise.
class AFXEnvironmentBasedService {
 public:
  virtual ~AFXEnvironmentBasedService() = default;
  virtual void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) = 0;
  virtual std::shared_ptr<AFXEnvironmentID> environmentID() const = 0;
};

// A service that exists per customer and follows the current one.
class AFXCustomerBasedService {
 public:
  virtual ~AFXCustomerBasedService() = default;
  virtual void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) = 0;
  virtual std::shared_ptr<AFXCustomerID> customerID() const = 0;
};

// A service that is told of every current customer, whoever it belongs to.
class AFXCustomerDependentService {
 public:
  virtual ~AFXCustomerDependentService() = default;
  virtual void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) = 0;
};
