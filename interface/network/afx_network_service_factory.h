#pragma once

// What the network service asks of the services factory that owns it: the
// two record look-ups it forwards and the statistics client its downloads
// report to.

#include <functional>
#include <memory>

#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "interface/network/afx_metrics_sink.h"
#include "tools/qv_value_or_error.h"

class AFXNetworkServiceFactory {
 public:
  using Callback = std::function<void(const std::shared_ptr<QVValueOrError>& result)>;

  virtual ~AFXNetworkServiceFactory() = default;

  // The result holds the environment record.
  virtual void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, Callback callback) = 0;
  // The result holds the customer record; `forceUpdate` asks the service
  // rather than a cached copy.
  virtual void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool forceUpdate,
                                   Callback callback) = 0;
  // None when the factory has no statistics client.
  virtual std::shared_ptr<AFXMetricsSink> statsdClient() const = 0;
};
