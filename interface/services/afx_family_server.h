#pragma once

// A published service of a table-declared family: requests arriving for
// its identity run their operation on the handler the process attaches
// (through its factory delegate's preparation step), so one server class
// per family serves every process that publishes it.

#include <memory>
#include <mutex>
#include <string_view>

#include "interface/services/afx_regular_management_server.h"
#include "interface/services/afx_service_family.h"

class AFXFamilyServerBase : public AFXRegularManagementServer, public AFXFamilyService {
 public:
  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void setOperationHandler(std::shared_ptr<AFXFamilyService> handler);
  // Without a handler the call fails with a missing-service error.
  void performFamilyOperation(AFXFamilyCall call) override;

 protected:
  using AFXRegularManagementServer::AFXRegularManagementServer;
  std::shared_ptr<AFXInterprocessService> interprocessService() override;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<AFXFamilyService> handler_;
};

// Traits name the class, the service name and the family:
//   static std::string_view className();
//   static std::string_view interprocessServiceName();
//   static const AFXServiceFamily& family();
template <class Traits>
class AFXFamilyServer final : public AFXFamilyServerBase {
 public:
  static std::string_view className() { return Traits::className(); }
  static std::string_view interprocessServiceName() { return Traits::interprocessServiceName(); }
  static const fnd::Class& serviceIDClass() { return Traits::family().serviceIDClass(); }
  static ClassSet requestClasses() { return Traits::family().requestClasses(); }
  static std::shared_ptr<AFXFamilyServer> make(std::shared_ptr<AFXServiceID> serviceID,
                                               std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor,
                                               std::weak_ptr<AFXServicesFactory> servicesFactory) {
    return std::shared_ptr<AFXFamilyServer>(
        new AFXFamilyServer(std::move(serviceID), std::move(adaptor), std::move(servicesFactory)));
  }

 private:
  using AFXFamilyServerBase::AFXFamilyServerBase;
};
