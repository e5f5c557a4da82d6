#pragma once

// The root of every service object, client or server: its identity and the
// factory that made it (held weakly: the factory owns its services).

#include <functional>
#include <memory>

#include "foundation/object.h"
#include "foundation/uuid.h"
#include "interface/services/afx_management_service.h"

class AFXServicesFactory;
class AFXAnalyticsTracker;

class AFXBaseService : public fnd::Object, public AFXManagementService, public AFXRegularManagementService {
 public:
  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }
  AFXBaseService() = delete;

  const std::shared_ptr<AFXServiceID>& serviceID() const override { return serviceID_; }
  std::shared_ptr<AFXServicesFactory> servicesFactory() const { return servicesFactory_.lock(); }
  std::shared_ptr<AFXMetricsSink> statsdClient() const override;
  std::shared_ptr<AFXAnalyticsTracker> analyticsTracker() const;

  // Asked before the process ends; the base agrees.
  virtual void prepareForTerminationWithCallback(std::function<void(bool)> callback);
  // Asked before the factory lets go of the service: the termination
  // question, whose answer does not matter.
  virtual void prepareForInvalidationWithCallback(std::function<void()> callback);
  virtual void didEstablishInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>& streamID);
  virtual void didLooseInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>& streamID);

  std::string description() const override;

 protected:
  AFXBaseService(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory);

 private:
  const std::shared_ptr<AFXServiceID> serviceID_;
  const std::weak_ptr<AFXServicesFactory> servicesFactory_;
};
