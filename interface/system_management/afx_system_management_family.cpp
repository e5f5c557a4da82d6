#include "interface/system_management/afx_system_management_family.h"

#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/apps_management/model/afx_sign_in_workflow.h"
#include "interface/interprocess/afx_service_id.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_customer_identity.h"
#include "interface/model/afx_environment.h"
#include "interface/model/afx_environment_id.h"
#include "interface/system_management/afx_activity.h"

namespace {

using namespace afx_family;

Table systemManagementTable() {
  const auto environment = [] { return object("environment", {&AFXEnvironment::staticClass}); };
  const auto environmentID = [] { return object("environmentID", {&AFXEnvironmentID::staticClass}); };
  const auto customer = [] { return object("customer", {&AFXCustomer::staticClass}); };
  const auto customerID = [] { return object("customerID", {&AFXCustomerID::staticClass}); };
  const auto activity = [] { return object("activity", {&AFXActivity::staticClass}); };
  return {
      "AFXSystemManagementRequest",
      "AFXSystemManagementResponse",
      "AFXSystemManagementReport",
      &AFXGlobalServiceID::staticClass,
      {
          row("fetchCurrentEnvironmentUpdated:callback:", "FetchCurrentEnvironment", {boolean("isUpdated")},
              {environment()}),
          row("fetchEnvironmentWithID:isUpdated:callback:", "FetchEnvironmentWithID",
              {environmentID(), boolean("isUpdated")}, {environment()}),
          row("pokeWithCallback:", "Poke", {}, {}),
          row("checkForUpdatesInitiatedByUser:callback:", "CheckForUpdates", {boolean("initiatedByUser")}, {}),
          row("notifyFinderSyncExtensionLaunchedWithCallback:", "FinderSyncExtensionLaunch", {}, {}),
          row("tearDownServiceWithCallback:", "TearDownService", {}, {boolean("willTerminate")}, Reply::plain),
          row("fetchStartUpStatusWithCallback:", "FetchStartUpStatus", {}, {number("status")}),
          row("showSignInWithPresentationStyle:callback:", "ShowSignIn", {signedInteger("presentationStyle")}, {}),
          row("fetchUninstallerExecutableInfoWithType:callback:", "FetchUninstaller", {signedInteger("uninstallType")},
              {object("executableInfo", {&AFXExecutableInfo::staticClass})}),
          row("fetchConsumptiveInternetUsagePermissionWithReason:canAskUser:callback:",
              "FetchConsumptiveInternetUsagePermission", {boolean("canAskUser"), unsignedInteger("reason")},
              {boolean("canUseInternet"), string("cancellationKey")}, Reply::plain),
          row("cancelConsumptiveInternetUsagePermission:", "CancelConsumptiveInternetUsagePermission",
              {string("cancellationKey")}, {}, Reply::none),
          row("signOutCustomerWithID:showTerminationDialog:callback:", "SignOutCustomer",
              {customerID(), boolean("showTerminationDialog")}, {}),
          row("uninstallKorviaForce:callback:", "UninstallKorvia", {boolean("force")}, {}),
          row("signInWithCredentials:", "SignInWithCredentials",
              {object("credentials", {&AFXCustomerCredentials::staticClass})}, {}, Reply::none),
          row("fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:",
              "FetchCurrentCustomer",
              {boolean("isUpdated"), boolean("canDestroyInvalidCustomer"),
               object("runningApplication", {&AFXRunningApplication::staticClass}), signedInteger("presentationStyle")},
              {customer()}),
          row("fetchCustomerWithID:isUpdated:callback:", "FetchCustomerWithID", {customerID(), boolean("isUpdated")},
              {customer()}),
          row("fetchCustomerCabinetAccessToken:timeoutInterval:callback:", "FetchCustomerCabinetAccessToken",
              {customer(), real("timeoutInterval")}, {string("accessToken")}),
          row("fetchCustomerIdentityWithID:callback:", "FetchCustomerIdentity", {customerID()},
              {object("identity", {&AFXCustomerIdentity::staticClass})}),
          row("saveAPNSDeviceToken:forCustomer:environmentID:callback:", "SaveAPNSDeviceToken",
              {string("deviceToken"), customer(), environmentID()}, {}),
          // The service ties the activity to the report stream named in the
          // request.
          row("startActivity:reportStreamID:", "StartActivity", {activity()}, {}, Reply::none),
          row("stopActivity:reportStreamID:", "StopActivity", {activity()}, {}, Reply::none),
          row("prepareWholeSystemForTerminationWithCallback:", "PrepareWholeSystemForTermination", {},
              {boolean("canTerminate")}, Reply::plain),
          row("fetchSignInWorkflowWithCallback:", "FetchSignInWorkflow", {},
              {object("workflow", {&AFXSignInWorkflow::staticClass})}),
          row("presentError:callback:", "PresentErrorSystemManagement", {error("error")}, {}),
      }};
}

}  // namespace

const AFXServiceFamily& AFXSystemManagementFamily() {
  static const AFXServiceFamily family(systemManagementTable());
  return family;
}
