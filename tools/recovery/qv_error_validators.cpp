#include "tools/recovery/qv_error_validators.h"

#include <utility>

#include "foundation/check.h"
#include "tools/qv_queue_builder.h"

QVErrorValidatorInfo::QVErrorValidatorInfo(std::shared_ptr<void> validator, Selector selector, std::string errorDomain)
    : validator_(std::move(validator)), selector_(std::move(selector)), errorDomain_(std::move(errorDomain)) {
  FND_PARAMETER_ASSERT(selector_);
}

QVErrorValidators::QVErrorValidators() : queue_(QVQueueBuilder::internalQueueWithName("error-validators")) {}

void QVErrorValidators::addValidatorInfo(QVErrorValidatorInfo info) {
  queue_.sync([&] {
    auto& infos = arraysOfValidatorInfosByErrorDomain_[info.errorDomain()];
    infos.push_back(std::move(info));
  });
}

std::vector<QVErrorValidatorInfo> QVErrorValidators::validatorInfosForErrorDomain(std::string_view errorDomain) const {
  return queue_.sync([&] {
    const auto found = arraysOfValidatorInfosByErrorDomain_.find(errorDomain);
    return found == arraysOfValidatorInfosByErrorDomain_.end() ? std::vector<QVErrorValidatorInfo>{} : found->second;
  });
}

std::optional<fnd::Error> QVErrorValidators::validateError(const fnd::Error& error) const {
  // A copy, so validators run outside the queue and may add validators.
  std::optional<fnd::Error> current = error;
  for (const auto& info : validatorInfosForErrorDomain(error.domain())) {
    current = info.validateError(*current);
    if (!current) break;
  }
  return current;
}
