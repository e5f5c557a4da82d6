#include "interface/apps_management/model/afx_apps_management_model.h"

#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/apps_management/model/afx_korvia_bundle_id.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/apps_management/model/afx_sign_in_workflow.h"
#include "interface/model/afx_model_classes.h"

void AFXRegisterAppsManagementModelClasses() {
  AFXRegisterModelClasses();
  (void)AFXFileReferenceURL::staticClass();
  (void)AFXAppInstance::staticClass();
  (void)AFXTeaserAppInstance::staticClass();
  (void)AFXVendorAppInstance::staticClass();
  (void)AFXAppWorkflow::staticClass();
  (void)AFXTeaserWorkflow::staticClass();
  (void)AFXKorviaBundleID::staticClass();
  (void)AFXExecutableInfo::staticClass();
  (void)AFXRunningApplication::staticClass();
  (void)AFXSignInWorkflow::staticClass();
}
