#include "interface/apps_management/afx_apps_management_client.h"

#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_resource_download_priority_holder.h"

namespace {

double fractionOf(const AFXFamilyReport& report) {
  return report.value("fractionCompleted").doubleValue().value_or(0.0);
}

bool didFetchRequiredDataOf(const AFXFamilyReport& report) {
  return report.value("didFetchRequiredData").boolValue().value_or(false);
}

AFXFamilyClient::FamilyReportHandler fractionReports(AFXAppsManagementService::FractionHandler handler) {
  if (!handler) return nullptr;
  return [handler = std::move(handler)](const AFXFamilyReport& report) { handler(fractionOf(report)); };
}

}  // namespace

const fnd::Class& AFXAppsManagementClient::staticClass() {
  static const fnd::Class& cls =
      fnd::Class::define("AFXAppsManagementClient", &AFXRegularManagementClient::staticClass());
  return cls;
}

AFXAppsManagementClient::AFXAppsManagementClient(std::shared_ptr<AFXServiceID> serviceID,
                                                 std::weak_ptr<AFXServicesFactory> servicesFactory,
                                                 std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
    : AFXFamilyClient(std::move(serviceID), std::move(servicesFactory), std::move(adaptor), AFXAppsManagementFamily()) {}

void AFXAppsManagementClient::fetchAppsWithCallback(ValueCallback callback) {
  fetchAppsForCollectionWithID(nullptr, std::move(callback));
}

void AFXAppsManagementClient::fetchAppsForCollectionWithID(const std::shared_ptr<fnd::Number>& collectionID,
                                                           ValueCallback callback) {
  sendForField("fetchAppsForCollectionWithID:callback:", {{"collectionID", fnd::Value(collectionID)}}, "apps",
               std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) {
  sendForField("fetchAppWithID:callback:", {{"appID", fnd::Value(appID)}}, "app", std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithBundleId(const std::string& bundleId, ValueCallback callback) {
  sendForField("fetchAppWithBundleId:callback:", {{"bundleId", bundleId}}, "app", std::move(callback));
}

void AFXAppsManagementClient::fetchScreenshotsForAppWithID(const std::shared_ptr<fnd::Number>& appID,
                                                           const std::string& versionID, ValueCallback callback) {
  sendForField("fetchScreenshotsForAppWithID:versionID:callback:",
               {{"appVersionID", versionID}, {"appID", fnd::Value(appID)}}, "screenshots", std::move(callback));
}

void AFXAppsManagementClient::fetchAppCollectionsWithCallback(ValueCallback callback) {
  sendForField("fetchAppCollectionsWithCallback:", {}, "appCollections", std::move(callback));
}

void AFXAppsManagementClient::searchAppsWithString(const std::string& searchString, bool ignoreAppsWithoutInstance,
                                                   std::uint64_t limitCount, ValueCallback callback) {
  sendForField("searchAppsWithString:ignoreAppsWithoutInstance:limitCount:callback:",
               {{"searchString", searchString},
                {"limitCount", limitCount},
                {"ignoreAppsWithoutInstance", ignoreAppsWithoutInstance}},
               "searchResult", std::move(callback));
}

void AFXAppsManagementClient::markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) {
  sendForError("markAppAsViewed:callback:", {{"app", fnd::Value(app)}}, std::move(callback));
}

void AFXAppsManagementClient::refreshStoreInitiatedByUser(bool initiatedByUser, ErrorCallback callback) {
  sendForError("refreshStoreInitiatedByUser:callback:", {{"initiatedByUser", initiatedByUser}}, std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithCallback(ValueCallback callback) {
  sendForField("fetchAppInstancesWithCallback:", {}, "appInstances", std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithAppID(const std::shared_ptr<fnd::Number>& appID,
                                                         ValueCallback callback) {
  sendForField("fetchAppInstancesWithAppID:callback:", {{"appID", fnd::Value(appID)}}, "appInstances",
               std::move(callback));
}

void AFXAppsManagementClient::launchApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) {
  sendForField("launchApp:callback:", {{"app", fnd::Value(app)}}, "instance", std::move(callback));
}

void AFXAppsManagementClient::noteAppDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID,
                                                     const std::string& versionID) {
  sendWithoutCallback("noteAppDidLaunchWithID:versionID:", {{"appID", fnd::Value(appID)}, {"versionID", versionID}});
}

void AFXAppsManagementClient::updateRunningApplicationsWithAvailableUpdates(
    const std::shared_ptr<fnd::Set>& runningApplications, const std::shared_ptr<fnd::Data>& additionalUserNotificationData,
    ValueCallback callback) {
  sendAsReceived("updateRunningApplicationsWithAvailableUpdates:additionalUserNotificationData:callback:",
                 {{"runningApplications", fnd::Value(runningApplications)},
                  {"additionalUserNotificationData", fnd::Value(additionalUserNotificationData)}},
                 std::move(callback));
}

void AFXAppsManagementClient::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                                     FractionHandler reportHandler, ValueCallback callback) {
  sendForField("prepareResourcesForApp:priority:reportHandler:callback:",
               {{"app", fnd::Value(app)}, {"priority", priority}}, "resources", std::move(callback),
               fractionReports(std::move(reportHandler)), /*wantsReports=*/true);
}

void AFXAppsManagementClient::fetchRefreshedResourceWithID(const std::string& resourceID, std::uint64_t priority,
                                                           FractionHandler reportHandler, ValueCallback callback) {
  // The only operation whose report session exists just when asked for.
  const bool wantsReports = reportHandler != nullptr;
  sendForField("fetchRefreshedResourceWithID:priority:reportHandler:callback:",
               {{"resourceID", resourceID}, {"priority", priority}}, "resource", std::move(callback),
               fractionReports(std::move(reportHandler)), wantsReports);
}

void AFXAppsManagementClient::fetchDownloadPriorityChangerForResourceWithID(const std::string& resourceID,
                                                                            PriorityChangerCallback callback) {
  sendForResponse("fetchDownloadPriorityChangerForResourceWithID:callback:", {{"resourceID", resourceID}},
                  [callback = std::move(callback)](const std::shared_ptr<AFXFamilyResponse>& response) {
                    if (!callback) return;
                    callback(response ? response->value("priorityChanger").as<AFXResourceDownloadPriorityHolder>()
                                      : nullptr);
                  });
}

void AFXAppsManagementClient::fetchInternalUpdateForVersion(const std::string& currentVersion, ValueCallback callback) {
  sendForField("fetchInternalUpdateForVersion:callback:", {{"currentVersion", currentVersion}}, "resource",
               std::move(callback));
}

void AFXAppsManagementClient::cleanupAfterInternalUpdateWithCallback(ErrorCallback callback) {
  sendForError("cleanupAfterInternalUpdateWithCallback:", {}, std::move(callback));
}

void AFXAppsManagementClient::installTeaserAppWithID(const std::shared_ptr<fnd::Number>& appID,
                                                     TeaserReportHandler reportHandler, std::uint64_t options,
                                                     ValueCallback callback) {
  FamilyReportHandler reports;
  if (reportHandler) {
    reports = [reportHandler = std::move(reportHandler)](const AFXFamilyReport& report) {
      reportHandler(didFetchRequiredDataOf(report), fractionOf(report));
    };
  }
  sendForField("installTeaserAppWithID:reportHandler:options:callback:",
               {{"appID", fnd::Value(appID)}, {"options", options}}, "installedAppInstance", std::move(callback),
               std::move(reports), /*wantsReports=*/true);
}

void AFXAppsManagementClient::installAbsentTeaserAppsWithReportHandler(AbsentTeasersReportHandler reportHandler,
                                                                       std::uint64_t options, ValueCallback callback) {
  FamilyReportHandler reports;
  if (reportHandler) {
    reports = [reportHandler = std::move(reportHandler)](const AFXFamilyReport& report) {
      reportHandler(didFetchRequiredDataOf(report),
                    report.value("numberOfSuccessfullyInstalledTeaserApps").integerValue().value_or(0),
                    fractionOf(report));
    };
  }
  sendForField("installAbsentTeaserAppsWithReportHandler:options:callback:", {{"options", options}},
               "installedAppInstances", std::move(callback), std::move(reports), /*wantsReports=*/true);
}

void AFXAppsManagementClient::noteTeaserDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID) {
  sendWithoutCallback("noteTeaserDidLaunchWithID:", {{"appID", fnd::Value(appID)}});
}

void AFXAppsManagementClient::fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                             ValueCallback callback) {
  sendForField("fetchTeaserWorkflowForInstance:callback:", {{"instance", fnd::Value(instance)}}, "workflow",
               std::move(callback));
}

void AFXAppsManagementClient::installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                                bool replaceIfTeaserWillQuitBeforeCompletion,
                                                                ValueCallback callback) {
  sendForField("installVendorAppInsteadOfInstance:replaceIfTeaserWillQuitBeforeCompletion:callback:",
               {{"instance", fnd::Value(instance)},
                {"shouldReplaceIfTeaserWillQuit", replaceIfTeaserWillQuitBeforeCompletion}},
               "temporaryAppURL", std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                                    ErrorCallback callback) {
  sendForError("stopInstallVendorAppInsteadOfInstance:callback:", {{"instance", fnd::Value(instance)}},
               std::move(callback));
}

void AFXAppsManagementClient::prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                                bool shouldLaunch,
                                                                const std::shared_ptr<fnd::Array>& documentURLs,
                                                                ErrorCallback callback) {
  sendForError("prepareToReplaceTeaserAppInstance:shouldLaunch:documentURLs:callback:",
               {{"instance", fnd::Value(instance)}, {"documentURLs", fnd::Value(documentURLs)}, {"shouldLaunch", shouldLaunch}},
               std::move(callback));
}

void AFXAppsManagementClient::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) {
  sendForField("fetchAppWorkflowForApp:callback:", {{"app", fnd::Value(app)}}, "workflow", std::move(callback));
}

void AFXAppsManagementClient::installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                               ValueCallback callback) {
  sendForField("installVendorApp:shouldLaunch:callback:", {{"app", fnd::Value(app)}, {"shouldLaunch", shouldLaunch}},
               "instance", std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) {
  sendForError("stopInstallVendorApp:callback:", {{"app", fnd::Value(app)}}, std::move(callback));
}

void AFXAppsManagementClient::placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                                     const std::shared_ptr<fnd::Array>& documentURLs,
                                                     ValueCallback callback) {
  sendForField("placeVendorAppInstance:shouldLaunch:documentURLs:callback:",
               {{"app", fnd::Value(app)}, {"documentURLs", fnd::Value(documentURLs)}, {"shouldLaunch", shouldLaunch}},
               "vendorAppInstance", std::move(callback));
}
