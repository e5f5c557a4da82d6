#include "interface/web/afx_web_service.h"

#include <atomic>

#include "foundation/check.h"
#include "foundation/queue.h"
#include "interface/errors/afx_errors.h"

std::shared_ptr<AFXNetworkService> AFXWebService::requireNetworkService(const ErrorBlock& onError) const {
  auto service = networkService();
  if (!service) onError(afx_makeErrorOfMissingServiceNamed("network service", "web service request"));
  return service;
}

void AFXGlobalWebService::perform(Block block, ErrorBlock onError) const {
  if (auto service = requireNetworkService(onError)) block(service);
}

void AFXGlobalWebService::performForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                  EnvironmentBlock block, ErrorBlock onError) const {
  auto service = requireNetworkService(onError);
  if (!service) return;
  service->fetchEnvironmentWithID(environmentID, [service, block, onError](const std::shared_ptr<QVValueOrError>& result) {
    auto environment = result->value().as<AFXEnvironment>();
    if (result->error() || !environment) {
      onError(result->error() ? *result->error() : afx_makeErrorOfMissingObjectOfKind("environment"));
      return;
    }
    block(service, environment);
  });
}

void AFXEnvironmentRelatedWebService::perform(EnvironmentBlock block, ErrorBlock onError) const {
  performForEnvironmentID(environmentID_, std::move(block), std::move(onError));
}

namespace {

// Both answers of the customer-related fetch, whichever comes first.
// Each answer fills its own slot before counting itself, so the second to
// count sees both.
struct CustomerFetch {
  std::atomic<int> answers{0};
  std::shared_ptr<QVValueOrError> environment;
  std::shared_ptr<QVValueOrError> customer;
};

}  // namespace

void AFXCustomerRelatedWebService::perform(Block block, ErrorBlock onError) const {
  auto service = requireNetworkService(onError);
  if (!service) return;
  FND_PARAMETER_ASSERT(customerID_ != nullptr);
  auto fetch = std::make_shared<CustomerFetch>();
  auto answered = [fetch, service, block, onError] {
    fnd::Queue::global(fnd::QualityOfService::utility).async([fetch, service, block, onError] {
      auto environment = fetch->environment->value().as<AFXEnvironment>();
      auto customer = fetch->customer->value().as<AFXCustomer>();
      if (fetch->environment->error() || !environment) {
        onError(fetch->environment->error() ? *fetch->environment->error()
                                            : afx_makeErrorOfMissingObjectOfKind("environment"));
      } else if (fetch->customer->error() || !customer) {
        onError(fetch->customer->error() ? *fetch->customer->error() : afx_makeErrorOfMissingObjectOfKind("customer"));
      } else {
        block(service, environment, customer);
      }
    });
  };
  auto record = [fetch, answered](bool isEnvironment, const std::shared_ptr<QVValueOrError>& result) {
    (isEnvironment ? fetch->environment : fetch->customer) = result;
    if (fetch->answers.fetch_add(1, std::memory_order_acq_rel) == 1) answered();
  };
  service->fetchEnvironmentWithID(customerID_->environmentID(),
                                  [record](const std::shared_ptr<QVValueOrError>& result) { record(true, result); });
  service->fetchCustomerWithID(customerID_, [record](const std::shared_ptr<QVValueOrError>& result) { record(false, result); });
}
