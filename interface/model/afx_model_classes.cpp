#include "interface/model/afx_model_classes.h"

#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_identity.h"
#include "interface/model/afx_environment.h"

void AFXRegisterModelClasses() {
  (void)AFXDefaultEnvironmentID::staticClass();
  (void)AFXManifestURLBasedEnvironmentID::staticClass();
  (void)AFXEndpoint::staticClass();
  (void)AFXEndpointsManifest::staticClass();
  (void)AFXEnvironment::staticClass();
  (void)AFXCustomerID::staticClass();
  (void)AFXMachineInfo::staticClass();
  (void)AFXCustomer::staticClass();
  (void)AFXCustomerCredentials::staticClass();
  (void)AFXCustomerIdentity::staticClass();
}
