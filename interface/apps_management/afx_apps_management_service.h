#pragma once

// What the apps management service of one environment offers: the
// catalogue, resources, installed instances, teaser and vendor
// installations, workflows, launching and search. Value callbacks receive a
// value-or-error; report handlers get the report's fields.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "tools/qv_value_or_error.h"

class AFXCodedApp;
class AFXTeaserAppInstance;
class AFXResourceDownloadPriorityHolder;

class AFXAppsManagementService {
 public:
  virtual ~AFXAppsManagementService() = default;

  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  using ErrorCallback = std::function<void(const std::optional<fnd::Error>& error)>;
  using FractionHandler = std::function<void(double fractionCompleted)>;
  using TeaserReportHandler = std::function<void(bool didFetchRequiredData, double fractionCompleted)>;
  using AbsentTeasersReportHandler =
      std::function<void(bool didFetchRequiredData, std::int64_t installedCount, double fractionCompleted)>;
  using PriorityChangerCallback = std::function<void(const std::shared_ptr<AFXResourceDownloadPriorityHolder>& changer)>;

  // Catalogue.
  virtual void fetchAppsWithCallback(ValueCallback callback) = 0;
  virtual void fetchAppsForCollectionWithID(const std::shared_ptr<fnd::Number>& collectionID, ValueCallback callback) = 0;
  virtual void fetchAppWithID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) = 0;
  virtual void fetchAppWithBundleId(const std::string& bundleId, ValueCallback callback) = 0;
  virtual void fetchScreenshotsForAppWithID(const std::shared_ptr<fnd::Number>& appID, const std::string& versionID,
                                            ValueCallback callback) = 0;
  virtual void fetchAppCollectionsWithCallback(ValueCallback callback) = 0;
  virtual void searchAppsWithString(const std::string& searchString, bool ignoreAppsWithoutInstance,
                                    std::uint64_t limitCount, ValueCallback callback) = 0;
  virtual void markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) = 0;
  virtual void refreshStoreInitiatedByUser(bool initiatedByUser, ErrorCallback callback) = 0;

  // Instances and launching.
  virtual void fetchAppInstancesWithCallback(ValueCallback callback) = 0;
  virtual void fetchAppInstancesWithAppID(const std::shared_ptr<fnd::Number>& appID, ValueCallback callback) = 0;
  virtual void launchApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) = 0;
  virtual void noteAppDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID, const std::string& versionID) = 0;
  virtual void updateRunningApplicationsWithAvailableUpdates(const std::shared_ptr<fnd::Set>& runningApplications,
                                                             const std::shared_ptr<fnd::Data>& additionalUserNotificationData,
                                                             ValueCallback callback) = 0;

  // Resources.
  // `reportHandler` may be empty; the report session exists all the same.
  virtual void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                      FractionHandler reportHandler, ValueCallback callback) = 0;
  virtual void fetchRefreshedResourceWithID(const std::string& resourceID, std::uint64_t priority,
                                            FractionHandler reportHandler, ValueCallback callback) = 0;
  virtual void fetchDownloadPriorityChangerForResourceWithID(const std::string& resourceID,
                                                             PriorityChangerCallback callback) = 0;
  virtual void fetchInternalUpdateForVersion(const std::string& currentVersion, ValueCallback callback) = 0;
  virtual void cleanupAfterInternalUpdateWithCallback(ErrorCallback callback) = 0;

  // Teasers.
  virtual void installTeaserAppWithID(const std::shared_ptr<fnd::Number>& appID, TeaserReportHandler reportHandler,
                                      std::uint64_t options, ValueCallback callback) = 0;
  virtual void installAbsentTeaserAppsWithReportHandler(AbsentTeasersReportHandler reportHandler, std::uint64_t options,
                                                        ValueCallback callback) = 0;
  virtual void noteTeaserDidLaunchWithID(const std::shared_ptr<fnd::Number>& appID) = 0;
  virtual void fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                              ValueCallback callback) = 0;
  virtual void installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                 bool replaceIfTeaserWillQuitBeforeCompletion,
                                                 ValueCallback callback) = 0;
  virtual void stopInstallVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                     ErrorCallback callback) = 0;
  virtual void prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                 bool shouldLaunch, const std::shared_ptr<fnd::Array>& documentURLs,
                                                 ErrorCallback callback) = 0;

  // App workflows and vendor installations.
  virtual void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app, ValueCallback callback) = 0;
  virtual void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch, ValueCallback callback) = 0;
  virtual void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, ErrorCallback callback) = 0;
  virtual void placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                      const std::shared_ptr<fnd::Array>& documentURLs, ValueCallback callback) = 0;
};
