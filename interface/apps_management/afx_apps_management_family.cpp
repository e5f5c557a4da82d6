#include "interface/apps_management/afx_apps_management_family.h"

#include "foundation/set.h"
#include "foundation/url.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/apps_management/model/afx_running_application.h"
#include "interface/interprocess/afx_service_id.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_app_collection.h"
#include "interface/model/afx_app_search_result.h"
#include "interface/model/afx_internal_update_resource.h"
#include "interface/model/afx_resource.h"
#include "interface/model/afx_resource_download_priority_holder.h"
#include "interface/model/afx_screenshot_resource.h"

namespace {

using namespace afx_family;

Operation withReport(Operation operation, std::string stem, std::vector<Field> reportFields) {
  operation.report = Message{"AFX" + stem + "Report", std::move(reportFields)};
  return operation;
}

Operation derivedResponse(Operation operation, std::string superclassName) {
  operation.response.superclassName = std::move(superclassName);
  return operation;
}

Field app() { return object("app", {&AFXCodedApp::staticClass}); }
Field appID() { return number("appID"); }
Field teaserInstance() { return object("instance", {&AFXTeaserAppInstance::staticClass}); }
Field appInstances() {
  return setOf("appInstances",
               {&AFXAppInstance::staticClass, &AFXTeaserAppInstance::staticClass, &AFXVendorAppInstance::staticClass});
}
Field documentURLs() { return arrayOf("documentURLs", {&fnd::URL::staticClass}); }
Field fraction() { return real("fractionCompleted"); }

Table appsManagementTable() {
  return {
      "AFXAppsManagementRequest",
      "AFXAppsManagementResponse",
      "AFXAppsManagementReport",
      &AFXEnvironmentServiceID::staticClass,
      {
          row("fetchAppsForCollectionWithID:callback:", "FetchApps", {number("collectionID")},
              {setOf("apps", {&AFXCodedApp::staticClass})}),
          row("fetchAppWithID:callback:", "FetchAppByID", {appID()}, {app()}),
          row("fetchAppWithBundleId:callback:", "FetchAppByBundleId", {string("bundleId")}, {app()}),
          row("fetchScreenshotsForAppWithID:versionID:callback:", "FetchScreenshotsForAppVersionWithID",
              {string("appVersionID"), appID()}, {arrayOf("screenshots", {&AFXCodedScreenshotResource::staticClass})}),
          row("fetchAppInstancesWithCallback:", "FetchAppInstances", {}, {appInstances()}),
          row("fetchAppInstancesWithAppID:callback:", "FetchAppInstancesWithAppID", {appID()}, {appInstances()}),
          withReport(row("prepareResourcesForApp:priority:reportHandler:callback:", "PrepareResourcesForApp",
                         {app(), unsignedInteger("priority")}, {setOf("resources", {&AFXCodedResource::staticClass})}),
                     "PrepareResourcesForApp", {fraction()}),
          withReport(derivedResponse(row("installTeaserAppWithID:reportHandler:options:callback:",
                                         "InstallTeaserAppWithID", {appID(), unsignedInteger("options", 0)},
                                         {object("installedAppInstance",
                                                 {&AFXAppInstance::staticClass, &AFXTeaserAppInstance::staticClass,
                                                  &AFXVendorAppInstance::staticClass, &fnd::Set::staticClass})}),
                                     "AFXFetchAppsResponse"),
                     "InstallTeaserAppWithID", {boolean("didFetchRequiredData"), fraction()}),
          withReport(derivedResponse(row("installAbsentTeaserAppsWithReportHandler:options:callback:",
                                         "InstallAbsentTeaserApps", {unsignedInteger("options", 0)},
                                         {setOf("installedAppInstances",
                                                {&AFXAppInstance::staticClass, &AFXTeaserAppInstance::staticClass,
                                                 &AFXVendorAppInstance::staticClass})}),
                                     "AFXFetchAppsResponse"),
                     "InstallAbsentTeaserApps",
                     {boolean("didFetchRequiredData"), signedInteger("numberOfSuccessfullyInstalledTeaserApps"),
                      fraction()}),
          row("fetchInternalUpdateForVersion:callback:", "FetchInternalUpdate", {string("currentVersion")},
              {object("resource", {&AFXCodedInternalUpdateResource::staticClass})}),
          row("cleanupAfterInternalUpdateWithCallback:", "CleanupAfterInternalUpdate", {}, {}),
          withReport(row("fetchRefreshedResourceWithID:priority:reportHandler:callback:",
                         "FetchRefreshedResourceWithID", {string("resourceID"), unsignedInteger("priority")},
                         {object("resource", {&AFXCodedResource::staticClass})}),
                     "FetchRefreshedResourceWithID", {fraction()}),
          row("fetchDownloadPriorityChangerForResourceWithID:callback:", "FetchResourceDownloadPriorityChanger",
              {string("resourceID")}, {object("priorityChanger", {&AFXResourceDownloadPriorityHolder::staticClass})}),
          row("launchApp:callback:", "LaunchApp", {app()}, {object("instance", {&AFXAppInstance::staticClass})}),
          row("markAppAsViewed:callback:", "MarkAppAsViewed", {app()}, {}),
          row("noteTeaserDidLaunchWithID:", "NoteTeaserDidLaunch", {appID()}, {}, Reply::none),
          row("fetchTeaserWorkflowForInstance:callback:", "FetchTeaserWorkflowForInstance", {teaserInstance()},
              {object("workflow", {&AFXTeaserWorkflow::staticClass})}),
          row("installVendorAppInsteadOfInstance:replaceIfTeaserWillQuitBeforeCompletion:callback:",
              "InstallVendorAppInsteadOfInstance", {teaserInstance(), boolean("shouldReplaceIfTeaserWillQuit", true)},
              {url("temporaryAppURL")}),
          row("stopInstallVendorAppInsteadOfInstance:callback:", "StopInstallVendorAppInsteadOfInstance",
              {teaserInstance()}, {}),
          row("prepareToReplaceTeaserAppInstance:shouldLaunch:documentURLs:callback:",
              "PrepareToReplaceTeaserAppInstance", {teaserInstance(), documentURLs(), boolean("shouldLaunch", true)}, {}),
          row("fetchAppWorkflowForApp:callback:", "FetchAppWorkflow", {app()},
              {object("workflow", {&AFXAppWorkflow::staticClass})}),
          row("installVendorApp:shouldLaunch:callback:", "InstallVendorApp", {app(), boolean("shouldLaunch", true)},
              {object("instance", {&AFXAppInstance::staticClass})}),
          row("stopInstallVendorApp:callback:", "StopInstallVendorApp", {app()}, {}),
          row("placeVendorAppInstance:shouldLaunch:documentURLs:callback:", "PlaceVendorAppInstance",
              {app(), documentURLs(), boolean("shouldLaunch", true)},
              {object("vendorAppInstance", {&AFXVendorAppInstance::staticClass})}),
          row("refreshStoreInitiatedByUser:callback:", "RefreshStore", {boolean("initiatedByUser")}, {}),
          row("noteAppDidLaunchWithID:versionID:", "NoteAppDidLaunch", {appID(), string("versionID")}, {}, Reply::none),
          row("updateRunningApplicationsWithAvailableUpdates:additionalUserNotificationData:callback:",
              "UpdateRunningAppsWithAvailableUpdates",
              {setOf("runningApplications", {&AFXRunningApplication::staticClass}),
               data("additionalUserNotificationData")},
              {}),
          row("searchAppsWithString:ignoreAppsWithoutInstance:limitCount:callback:", "SearchAppsWithString",
              {string("searchString"), unsignedInteger("limitCount"), boolean("ignoreAppsWithoutInstance", true)},
              {arrayOf("searchResult", {&AFXAppSearchResult::staticClass})}),
          row("fetchAppCollectionsWithCallback:", "FetchAppCollections", {},
              {setOf("appCollections", {&AFXCodedAppCollection::staticClass})}),
      }};
}

}  // namespace

const AFXServiceFamily& AFXAppsManagementFamily() {
  static const AFXServiceFamily family(appsManagementTable());
  return family;
}
