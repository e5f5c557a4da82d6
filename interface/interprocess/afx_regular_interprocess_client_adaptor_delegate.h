#pragma once

#include <functional>
#include <memory>

#include "foundation/uuid.h"

class AFXRegularInterprocessClientAdaptor;

// Told of the connection's life (the services factory).
class AFXRegularInterprocessClientAdaptorDelegate {
 public:
  virtual ~AFXRegularInterprocessClientAdaptorDelegate() = default;

  virtual void regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(
      AFXRegularInterprocessClientAdaptor& adaptor, std::function<void(bool)> callback) = 0;
  virtual void didEstablishConnectionOfRegularInterprocessClientAdaptor(
      AFXRegularInterprocessClientAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& esteblishedStreamID) = 0;
  virtual void didLooseConnectionOfRegularInterprocessClientAdaptor(
      AFXRegularInterprocessClientAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& esteblishedStreamID) = 0;
  virtual void regularInterprocessClientAdaptorPrepareForTerminationWithCallback(
      AFXRegularInterprocessClientAdaptor& adaptor, std::function<void(bool)> callback) = 0;
};
