#include "interface/ui_management/afx_ui_management_family.h"

#include "foundation/url.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/interprocess/afx_service_id.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_customer_credentials.h"

std::shared_ptr<const QVEnumValueTransformer> AFXUserNotificationKindValueTransformer() {
  static const std::shared_ptr<const QVEnumValueTransformer> transformer = QVEnumValueTransformer::initWithMapping(
      {{AFXUserNotificationKindNoInternet, "no-internet"},
       {AFXUserNotificationKindSubscriptionGraced, "subscription-graced"},
       {AFXUserNotificationKindTrialNeedPaymentInfo, "trial-need-payment-info"}},
      AFXUserNotificationKindUnknown);
  return transformer;
}

namespace {

using namespace afx_family;

Field runningApplications(std::string key) { return setOf(std::move(key), {&AFXRunningApplication::staticClass}); }

Table uiManagementTable() {
  return {
      "AFXUIManagementRequest",
      "AFXUIManagementResponse",
      "AFXUIManagementReport",
      &AFXGlobalServiceID::staticClass,
      {
          row("fetchCredentialsWithAccountName:forRunningApplication:callback:", "FetchCredentials",
              {string("accountName"), object("runningApplication", {&AFXRunningApplication::staticClass})},
              {object("credentials", {&AFXCustomerCredentials::staticClass})}),
          row("presentError:callback:", "PresentError", {error("error")}, {}),
          row("presentUserNotificationOfKind:", "PresentUserNotification",
              {namedCode("kind", AFXUserNotificationKindValueTransformer())}, {}, Reply::none),
          row("presentUserNotificationOfBrandNewApps:", "PresentUserNotificationOfBrandNewApps",
              {setOf("brandNewApps", {&AFXCodedApp::staticClass})}, {}, Reply::none),
          row("proposeToUninstallKorviaWithCallback:", "ProposeToUninstallKorviaUI", {}, {boolean("cancelled")},
              Reply::plain),
          row("pokeWithCallback:", "PokeUI", {}, {}),
          row("proposeToUpdateRunningApplications:withUserNotification:additionalNotificationData:callback:",
              "ProposeToUpdateRunningApplications",
              {runningApplications("runningApplications"), boolean("showUserNotification"),
               data("additionalNotificationData")},
              {runningApplications("quittedApplications")}, Reply::plain),
          row("presentUserNotificationOfUpdatedApps:", "PresentUserNotificationOfUpdatedApps",
              {setOf("updatedApps", {&AFXAppInstance::staticClass, &AFXTeaserAppInstance::staticClass,
                                     &AFXVendorAppInstance::staticClass})},
              {}, Reply::none),
          row("presentAboutWindowWithCallback:", "PresentAboutWindow", {}, {}),
          row("askUserForConsumptiveInternetUsageWithReason:callback:", "AskUserForConsumptiveInternetUsage",
              {unsignedInteger("reason")}, {boolean("canUseInternet")}, Reply::plain),
          row("presentTerminationWindowWithReason:callback:", "PresentTerminationWindow", {signedInteger("reason")},
              {boolean("cancelledByUser"), setOf("quittedAppURLs", {&fnd::URL::staticClass})}, Reply::plain),
          row("openOnlineHelpWithCallback:", "OpenOnlineHelp", {}, {boolean("didOpen")}, Reply::plain),
          row("openFeedbackFormWithCallback:", "OpenFeedbackForm", {}, {}),
          row("openCustomerWebAccount:startingWithTrialPaymentPage:callback:", "OpenCustomerWebAccount",
              {object("customer", {&AFXCustomer::staticClass}), boolean("openAddPaymentPage")},
              {boolean("didOpenPage")}, Reply::plain),
          row("changeStatusItemVisibilityToState:callback:", "ChangeStatusItemVisibility", {boolean("isVisible")},
              {boolean("isVisible")}, Reply::plain),
      }};
}

}  // namespace

const AFXServiceFamily& AFXUIManagementFamily() {
  static const AFXServiceFamily family(uiManagementTable());
  return family;
}
