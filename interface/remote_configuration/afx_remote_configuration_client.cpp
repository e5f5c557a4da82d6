#include "interface/remote_configuration/afx_remote_configuration_client.h"

const fnd::Class& AFXRemoteConfigurationClient::staticClass() {
  static const fnd::Class& cls =
      fnd::Class::define("AFXRemoteConfigurationClient", &AFXRegularManagementClient::staticClass());
  return cls;
}

void AFXRemoteConfigurationClient::fetchRemoteConfigurationWithCallback(ValueCallback callback) {
  sendForField("fetchRemoteConfigurationWithCallback:", {}, "remoteConfiguration", std::move(callback));
}
