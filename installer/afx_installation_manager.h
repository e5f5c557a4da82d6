#pragma once

// Drives one installation of the featured app: downloads the desktop
// client's archive (unpacked straight into the applications folder),
// launches the client silently, reaches its background services, has the
// client install the app and prepare its resources, and can launch the app
// at the end. A run reports (state, overall progress) and ends with one
// completion call; a failed run keeps what it obtained so that a retry
// resumes at the failed step, and a stop undoes what the run did.
//
// `state`, the four progress values and the app workflow live on the
// variables queue "com.quorvex.installation-manager-variables.internal-queue"
// (read synchronously, written asynchronously, so a read sees every earlier
// write); the later steps, retry and stop run on the internal queue
// "com.quorvex.installation-manager-internal.internal-queue". What a run
// obtained (services, app, instance) is guarded by the run mutex. Answers of
// a run that was stopped meanwhile are dropped: every step carries the
// number of its run.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "foundation/error.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/queue.h"
#include "foundation/url.h"
#include "installer/afx_downloader_workflow.h"
#include "installer/afx_installation_managing.h"
#include "interface/apps_management/afx_apps_management_service.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/model/afx_app.h"
#include "interface/services/afx_services_factory.h"
#include "interface/system_management/afx_system_management_service.h"

inline constexpr AFXInstallationState AFXInstallationStateIdle = 0;
inline constexpr AFXInstallationState AFXInstallationStateDownloading = 1;
inline constexpr AFXInstallationState AFXInstallationStateDownloadFailed = 2;
inline constexpr AFXInstallationState AFXInstallationStateDownloaded = 3;
inline constexpr AFXInstallationState AFXInstallationStatePreparing = 4;
inline constexpr AFXInstallationState AFXInstallationStatePreparationFailed = 5;
inline constexpr AFXInstallationState AFXInstallationStateInstallingApp = 6;
inline constexpr AFXInstallationState AFXInstallationStateAppInstallationFailed = 7;
inline constexpr AFXInstallationState AFXInstallationStatePreparingResources = 8;
inline constexpr AFXInstallationState AFXInstallationStateReady = 9;


// The tier the installer names itself with to the desktop client.
inline constexpr std::string_view AFXInstallerTierName = "KorviaInstaller";

class AFXInstallationManager final : public AFXInstallationManaging,
                                     public AFXDownloaderDelegate,
                                     public AFXServicesFactoryDelegate,
                                     public std::enable_shared_from_this<AFXInstallationManager> {
  struct Token {};

 public:
  static constexpr double kDownloadingWeight = 0.3;
  static constexpr double kPreparationWeight = 0.1;
  static constexpr double kAppInstallationWeight = 0.5;
  static constexpr double kResourcesPreparationWeight = 0.1;
  static constexpr std::uint64_t kResourcesDownloadPriority = 2;
  static constexpr std::int64_t kUninstallerType = 1;
  // How long after the client shows the app's page the app itself opens.
  static constexpr fnd::Clock::Duration kAppLaunchDelay = std::chrono::seconds(2);

  static std::shared_ptr<AFXInstallationManager> initWithAppID(std::int64_t appID);
  AFXInstallationManager(Token, std::int64_t appID);
  ~AFXInstallationManager() override;
  AFXInstallationManager() = delete;

  std::int64_t appID() const { return appID_; }
  AFXInstallationState state() const override;
  // downloading × 0.3 + preparation × 0.1 + app installation × 0.5 +
  // resources × 0.1.
  double progress() const;
  double appInstallationProgress() const;
  bool korviaWasInstalledBefore() const { return korviaWasInstalledBefore_; }
  bool canLaunchApp() const { return canLaunchApp_.load(); }
  std::shared_ptr<fnd::URL> desktopClientURL() const;
  std::shared_ptr<AFXAppWorkflow> appWorkflow() const;
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // Each returns at once.
  void installWithProgressBlock(AFXInstallationProgressHandler progressBlock,
                                AFXInstallationCompletion callback) override;
  void retryAfterError() override;
  void stopInstallationWithCallback(std::function<void()> callback) override;
  void restart();
  // Answers NO at once in any state but ready; else whether the client
  // could be started with the app's page.
  void launchWithCallback(std::function<void(bool opened)> callback) override;

  // AFXDownloaderDelegate
  void downloaderDidStarted(AFXDownloaderWorkflow& downloader) override;
  void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow& downloader, double progress) override;
  void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow& downloader, const std::shared_ptr<fnd::URL>& url) override;
  void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow& downloader, const std::shared_ptr<fnd::URL>& url) override;
  void downloaderWillRestartDownloading(AFXDownloaderWorkflow& downloader, std::uint64_t attempt) override;
  void downloaderDidFailWithError(AFXDownloaderWorkflow& downloader, const std::optional<fnd::Error>& error) override;

  // AFXServicesFactoryDelegate: both through the factory's own system
  // management calls.
  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory& factory,
                                                          EnvironmentCallback callback) override;
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory& factory, CustomerCallback callback) override;

 private:
  using RunID = std::uint64_t;

  // The steps of a run; each checks that its run is still the current one.
  void startDownloader();
  void continueWithDesktopClientInstanceAtURL(RunID run, const std::shared_ptr<fnd::URL>& url);
  void continueWithSystemManagementService(RunID run, const std::shared_ptr<AFXSystemManagementService>& service);
  void continueWithAppsManagementService(RunID run, const std::shared_ptr<AFXAppsManagementService>& service);
  void continueWithWorkflow(RunID run, const std::shared_ptr<AFXAppsManagementService>& service,
                            const std::shared_ptr<AFXCodedApp>& app, const std::shared_ptr<AFXAppWorkflow>& workflow);
  void observeWorkflowNotifications(RunID run, const std::shared_ptr<AFXAppWorkflow>& workflow);
  void appWorkflowDidChange(RunID run, const fnd::DistributedNotification& notification);
  void setAppWorkflow(RunID run, const std::shared_ptr<AFXAppWorkflow>& workflow);
  void prepareResourcesForApp(RunID run);
  void finishWithError(RunID run, const std::optional<fnd::Error>& error);
  void finishWithSuccess(RunID run);
  void fail(RunID run, AFXInstallationState state, const std::optional<fnd::Error>& error);
  void stopNow(std::function<void()> callback);
  void launchAppLater(const std::shared_ptr<fnd::URL>& appURL);
  void fetchAppPathThen(std::function<void(std::shared_ptr<fnd::URL>)> then);

  bool isCurrent(RunID run) const { return run_.load() == run; }
  void setState(AFXInstallationState state);
  void setDownloadingProgress(double value);
  void setPreparationProgress(double value);
  void setAppInstallationProgress(double value);
  void setResourcesPreparationProgress(double value);
  void store(double AFXInstallationManager::*variable, double value);
  void reportProgress();
  void removeWorkflowObservers();

  const std::int64_t appID_;
  const fnd::Queue internalQueue_;
  const fnd::Queue variablesQueue_;
  const bool korviaWasInstalledBefore_;
  std::atomic<RunID> run_{1};
  std::atomic<bool> canLaunchApp_{false};

  // On the variables queue.
  AFXInstallationState state_ = AFXInstallationStateIdle;
  double downloadingProgress_ = 0;
  double preparationProgress_ = 0;
  double appInstallationProgress_ = 0;
  double resourcesPreparationProgress_ = 0;
  std::shared_ptr<AFXAppWorkflow> appWorkflow_;

  // What a run obtained; under runMutex_.
  mutable std::mutex runMutex_;
  AFXInstallationProgressHandler progressBlock_;
  AFXInstallationCompletion callback_;
  std::shared_ptr<AFXDownloaderWorkflow> downloaderWorkflow_;
  std::shared_ptr<fnd::URL> desktopClientURL_;
  std::shared_ptr<AFXServicesFactory> servicesFactory_;
  std::shared_ptr<AFXSystemManagementService> systemManagementService_;
  std::shared_ptr<AFXAppsManagementService> appsManagementService_;
  std::shared_ptr<AFXCodedApp> app_;
  std::shared_ptr<AFXAppInstance> appInstance_;
  std::vector<fnd::DistributedNotificationCenter::ObserverToken> workflowObservers_;
};
