#pragma once

// The client side of the remote configuration service of one environment.

#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/remote_configuration/afx_remote_configuration_family.h"
#include "interface/remote_configuration/afx_remote_configuration_service.h"
#include "interface/services/afx_family_client.h"

class AFXRemoteConfigurationClient final : public AFXFamilyClient, public AFXRemoteConfigurationService {
 public:
  AFX_FAMILY_CLIENT_CLASS_OPERATIONS(AFXRemoteConfigurationClient, AFXRemoteConfigurationFamily)
  static std::string_view interprocessServiceName() { return AFXRemoteConfigurationServiceName; }
  using AFXRemoteConfigurationService::ValueCallback;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void fetchRemoteConfigurationWithCallback(ValueCallback callback) override;

 private:
  AFXRemoteConfigurationClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                               std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXFamilyClient(std::move(serviceID), std::move(servicesFactory), std::move(adaptor),
                        AFXRemoteConfigurationFamily()) {}
};
