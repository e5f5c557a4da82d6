#pragma once

// The server side of the desktop client's five services: one family server
// per service name. A process that publishes them gives these classes to its
// services factory and attaches its operation handler to each server as the
// factory prepares it.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/recommendations/afx_recommendations_family.h"
#include "interface/remote_configuration/afx_remote_configuration_family.h"
#include "interface/services/afx_family_server.h"
#include "interface/services/afx_regular_management_server.h"
#include "interface/services/afx_services_factory.h"
#include "interface/system_management/afx_system_management_family.h"
#include "interface/ui_management/afx_ui_management_family.h"

namespace afx_desktop_client_servers_detail {

template <const char* ClassName, const std::string_view& ServiceName, const AFXServiceFamily& (*Family)()>
struct Traits {
  static std::string_view className() { return ClassName; }
  static std::string_view interprocessServiceName() { return ServiceName; }
  static const AFXServiceFamily& family() { return Family(); }
};

inline constexpr char kSystemManagementServer[] = "AFXSystemManagementServer";
inline constexpr char kAppsManagementServer[] = "AFXAppsManagementServer";
inline constexpr char kUIManagementServer[] = "AFXUIManagementServer";
inline constexpr char kRemoteConfigurationServer[] = "AFXRemoteConfigurationServer";
inline constexpr char kRecommendationsServer[] = "AFXRecommendationsServer";

}  // namespace afx_desktop_client_servers_detail

using AFXSystemManagementServer = AFXFamilyServer<afx_desktop_client_servers_detail::Traits<
    afx_desktop_client_servers_detail::kSystemManagementServer, AFXSystemManagementServiceName, &AFXSystemManagementFamily>>;
using AFXAppsManagementServer = AFXFamilyServer<afx_desktop_client_servers_detail::Traits<
    afx_desktop_client_servers_detail::kAppsManagementServer, AFXAppsManagementServiceName, &AFXAppsManagementFamily>>;
using AFXUIManagementServer = AFXFamilyServer<afx_desktop_client_servers_detail::Traits<
    afx_desktop_client_servers_detail::kUIManagementServer, AFXUIManagementServiceName, &AFXUIManagementFamily>>;
using AFXRemoteConfigurationServer = AFXFamilyServer<afx_desktop_client_servers_detail::Traits<
    afx_desktop_client_servers_detail::kRemoteConfigurationServer, AFXRemoteConfigurationServiceName,
    &AFXRemoteConfigurationFamily>>;
using AFXRecommendationsServer = AFXFamilyServer<afx_desktop_client_servers_detail::Traits<
    afx_desktop_client_servers_detail::kRecommendationsServer, AFXRecommendationsServiceName, &AFXRecommendationsFamily>>;

// All five, for the services factory of the publishing process.
inline std::vector<const AFXServiceClass*> AFXDesktopClientServerClasses() {
  return {&AFXServerClassOf<AFXSystemManagementServer>(), &AFXServerClassOf<AFXAppsManagementServer>(),
          &AFXServerClassOf<AFXUIManagementServer>(), &AFXServerClassOf<AFXRemoteConfigurationServer>(),
          &AFXServerClassOf<AFXRecommendationsServer>()};
}

// The services factory's delegate in a process that publishes the five
// servers: every server runs its requests on `handler`; the current
// environment is what `environment` gives (none without it); no customer.
class AFXDesktopClientServersDelegate final : public AFXServicesFactoryDelegate {
 public:
  explicit AFXDesktopClientServersDelegate(std::shared_ptr<AFXFamilyService> handler,
                                           std::function<std::shared_ptr<AFXEnvironment>()> environment = {})
      : handler_(std::move(handler)), environment_(std::move(environment)) {}

  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&, EnvironmentCallback callback) override {
    callback(environment_ ? environment_() : nullptr);
  }
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) override {
    callback(nullptr);
  }
  bool servicesFactoryPrepareManagementService(AFXServicesFactory&, const std::shared_ptr<AFXBaseService>& service,
                                               std::function<void()>& completion) override {
    if (auto server = std::dynamic_pointer_cast<AFXFamilyServerBase>(service)) server->setOperationHandler(handler_);
    completion();
    return true;
  }

 private:
  const std::shared_ptr<AFXFamilyService> handler_;
  const std::function<std::shared_ptr<AFXEnvironment>()> environment_;
};
