#include "interface/model/afx_model_classes.h"

#include "interface/model/afx_app.h"
#include "interface/model/afx_app_icon_resource.h"
#include "interface/model/afx_app_search_result.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_identity.h"
#include "interface/model/afx_environment.h"
#include "interface/model/afx_internal_update_resource.h"
#include "interface/model/afx_localizations_container.h"
#include "interface/model/afx_resource_download_priority_holder.h"
#include "interface/model/afx_screenshot_resource.h"
#include "interface/model/afx_teaser_install_resource.h"
#include "interface/model/afx_teaser_update_resource.h"
#include "interface/model/afx_vendor_install_resource.h"
#include "interface/model/afx_vendor_update_resource.h"

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
  // Catalogue
  (void)AFXCodedApp::staticClass();
  (void)AFXManagedApp::staticClass();
  (void)AFXCodedAppVersion::staticClass();
  (void)AFXManagedAppVersion::staticClass();
  (void)AFXCodedAppCollection::staticClass();
  (void)AFXManagedAppCollection::staticClass();
  (void)AFXAppSearchResult::staticClass();
  (void)AFXLocalizationsContainer::staticClass();
  // Resources
  (void)AFXResourceMissingStatus::staticClass();
  (void)AFXResourceExistsStatus::staticClass();
  (void)AFXResourceDownloadPriorityHolder::staticClass();
  (void)AFXCodedAppIconResource::staticClass();
  (void)AFXManagedAppIconResource::staticClass();
  (void)AFXCodedScreenshotResource::staticClass();
  (void)AFXManagedScreenshotResource::staticClass();
  (void)AFXCodedTeaserInstallResource::staticClass();
  (void)AFXManagedTeaserInstallResource::staticClass();
  (void)AFXCodedTeaserUpdateResource::staticClass();
  (void)AFXManagedTeaserUpdateResource::staticClass();
  (void)AFXCodedVendorInstallResource::staticClass();
  (void)AFXManagedVendorInstallResource::staticClass();
  (void)AFXCodedVendorUpdateResource::staticClass();
  (void)AFXManagedVendorUpdateResource::staticClass();
  (void)AFXCodedInternalUpdateResource::staticClass();
  (void)AFXManagedInternalUpdateResource::staticClass();
}
