#pragma once

// The client side of the apps management service of one environment.
// Callbacks run on the queue the answer arrives on (usually the reply
// queue), report handlers on the global utility queue; callers move to
// their own queue.

#include <memory>

#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/apps_management/afx_apps_management_service.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/services/afx_family_client.h"

class AFXAppsManagementClient final : public AFXFamilyClient, public AFXAppsManagementService {
 public:
  AFX_FAMILY_CLIENT_CLASS_OPERATIONS(AFXAppsManagementClient, AFXAppsManagementFamily)
  static std::string_view interprocessServiceName() { return AFXAppsManagementServiceName; }

  using AFXAppsManagementService::ErrorCallback;
  using AFXAppsManagementService::ValueCallback;

  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }

  void fetchAppsWithCallback(ValueCallback callback) override;
  void fetchAppsForCollectionWithID(const std::shared_ptr<fnd::Number>& collectionID, ValueCallback callback) override;
  void fetchAppWithID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) override;
  void fetchAppWithBundleId(const std::string& bundleId, ValueCallback callback) override;
  void fetchScreenshotsForAppWithID(const std::shared_ptr<fnd::Number>& appID, const std::string& versionID, ValueCallback callback) override;
  void fetchAppCollectionsWithCallback(ValueCallback callback) override;
  void searchAppsWithString(const std::string& searchString, bool ignoreAppsWithoutInstance, std::uint64_t limitCount, ValueCallback callback) override;
  void markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) override;
  void refreshStoreInitiatedByUser(bool initiatedByUser, ErrorCallback callback) override;
  void fetchAppInstancesWithCallback(ValueCallback callback) override;
  void fetchAppInstancesWithAppID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) override;
  void launchApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) override;
  void noteAppDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID, const std::string& versionID) override;
  void updateRunningApplicationsWithAvailableUpdates(const std::shared_ptr<fnd::Set>& runningApplications, const std::shared_ptr<fnd::Data>& additionalUserNotificationData, ValueCallback callback) override;
  void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority, FractionHandler reportHandler, ValueCallback callback) override;
  void fetchRefreshedResourceWithID(const std::string& resourceID, std::uint64_t priority, FractionHandler reportHandler, ValueCallback callback) override;
  void fetchDownloadPriorityChangerForResourceWithID(const std::string& resourceID, PriorityChangerCallback callback) override;
  void fetchInternalUpdateForVersion(const std::string& currentVersion, ValueCallback callback) override;
  void cleanupAfterInternalUpdateWithCallback(ErrorCallback callback) override;
  void installTeaserAppWithID(const std::shared_ptr<fnd::Number>& appID, TeaserReportHandler reportHandler, std::uint64_t options, ValueCallback callback) override;
  void installAbsentTeaserAppsWithReportHandler(AbsentTeasersReportHandler reportHandler, std::uint64_t options, ValueCallback callback) override;
  void noteTeaserDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID) override;
  void fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance, ValueCallback callback) override;
  void installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance, bool replaceIfTeaserWillQuitBeforeCompletion, ValueCallback callback) override;
  void stopInstallVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance, ErrorCallback callback) override;
  void prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance, bool shouldLaunch, const std::shared_ptr<fnd::Array>& documentURLs, ErrorCallback callback) override;
  void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) override;
  void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch, ValueCallback callback) override;
  void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) override;
  void placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch, const std::shared_ptr<fnd::Array>& documentURLs, ValueCallback callback) override;

 private:
  AFXAppsManagementClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                          std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor);
};
