#include "interface/remote_configuration/afx_remote_configuration_family.h"

#include "interface/interprocess/afx_service_id.h"
#include "interface/remote_configuration/afx_remote_configuration.h"

const AFXServiceFamily& AFXRemoteConfigurationFamily() {
  using namespace afx_family;
  static const AFXServiceFamily family(Table{
      "AFXRemoteConfigurationRequest",
      "AFXRemoteConfigurationResponse",
      "AFXRemoteConfigurationReport",
      &AFXEnvironmentServiceID::staticClass,
      {{"fetchRemoteConfigurationWithCallback:",
        {"AFXFetchRemoteConfigurationRequest", {}},
        {"AFXFetchRemoteConfigurationResponse",
         {object("remoteConfiguration", {&AFXRemoteConfiguration::staticClass})}},
        std::nullopt,
        Reply::valueOrError}}});
  return family;
}
