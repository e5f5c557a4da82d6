#include "installer/afx_installation_manager.h"

#include "foundation/array.h"
#include "foundation/bundle.h"
#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/set.h"
#include "foundation/workspace.h"
#include "interface/apps_management/afx_app_workflow_notification.h"
#include "interface/apps_management/afx_apps_management_client.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/placement/afx_desktop_client_discovery.h"
#include "interface/placement/afx_quarantine.h"
#include "interface/system_management/afx_system_management_client.h"
#include "interface/web/afx_customer_urls.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

template <class Protocol>
std::shared_ptr<Protocol> serviceIn(const std::shared_ptr<QVValueOrError>& result) {
  return result && !result->error() ? std::dynamic_pointer_cast<Protocol>(result->value().object()) : nullptr;
}

// The error of a failed answer, or the catalogue's "missing" error when the
// answer held something else than was asked for.
fnd::Error errorOf(const std::shared_ptr<QVValueOrError>& result, std::string_view kind) {
  if (result && result->error()) return *result->error();
  return afx_makeErrorOfMissingObjectOfKind(kind);
}

}  // namespace

std::shared_ptr<AFXInstallationManager> AFXInstallationManager::initWithAppID(std::int64_t appID) {
  return std::make_shared<AFXInstallationManager>(Token{}, appID);
}

AFXInstallationManager::AFXInstallationManager(Token, std::int64_t appID)
    : appID_(appID),
      internalQueue_(QVQueueBuilder::internalQueueWithName("installation-manager-internal")),
      variablesQueue_(QVQueueBuilder::internalQueueWithName("installation-manager-variables")),
      korviaWasInstalledBefore_(AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(AFXDesktopClientBundleIdentifier,
                                                                                AFXDetectIgnoredPathsForDesktopClient())) {}

AFXInstallationManager::~AFXInstallationManager() {
  removeWorkflowObservers();
  if (downloaderWorkflow_) downloaderWorkflow_->stop();
}

// Variables

AFXInstallationState AFXInstallationManager::state() const {
  return variablesQueue_.sync([this] { return state_; });
}

double AFXInstallationManager::progress() const {
  const double downloading = variablesQueue_.sync([this] { return downloadingProgress_; });
  const double preparation = variablesQueue_.sync([this] { return preparationProgress_; });
  const double installation = variablesQueue_.sync([this] { return appInstallationProgress_; });
  const double resources = variablesQueue_.sync([this] { return resourcesPreparationProgress_; });
  return downloading * kDownloadingWeight + preparation * kPreparationWeight + installation * kAppInstallationWeight +
         resources * kResourcesPreparationWeight;
}

double AFXInstallationManager::appInstallationProgress() const {
  return variablesQueue_.sync([this] { return appInstallationProgress_; });
}

std::shared_ptr<AFXAppWorkflow> AFXInstallationManager::appWorkflow() const {
  return variablesQueue_.sync([this] { return appWorkflow_; });
}

std::shared_ptr<fnd::URL> AFXInstallationManager::desktopClientURL() const {
  std::lock_guard lock(runMutex_);
  return desktopClientURL_;
}

void AFXInstallationManager::setState(AFXInstallationState state) {
  variablesQueue_.async([self = shared_from_this(), state] { self->state_ = state; });
}

void AFXInstallationManager::store(double AFXInstallationManager::*variable, double value) {
  variablesQueue_.async([self = shared_from_this(), variable, value] { (*self).*variable = value; });
  reportProgress();
}

void AFXInstallationManager::setDownloadingProgress(double value) { store(&AFXInstallationManager::downloadingProgress_, value); }
void AFXInstallationManager::setPreparationProgress(double value) { store(&AFXInstallationManager::preparationProgress_, value); }
void AFXInstallationManager::setAppInstallationProgress(double value) {
  store(&AFXInstallationManager::appInstallationProgress_, value);
}
void AFXInstallationManager::setResourcesPreparationProgress(double value) {
  store(&AFXInstallationManager::resourcesPreparationProgress_, value);
}

void AFXInstallationManager::reportProgress() {
  AFXInstallationProgressHandler handler;
  {
    std::lock_guard lock(runMutex_);
    handler = progressBlock_;
  }
  if (handler) handler(state(), progress());
}

// A run

void AFXInstallationManager::installWithProgressBlock(AFXInstallationProgressHandler progressBlock,
                                                      AFXInstallationCompletion callback) {
  {
    std::lock_guard lock(runMutex_);
    progressBlock_ = std::move(progressBlock);
    callback_ = std::move(callback);
  }
  startDownloader();
}

void AFXInstallationManager::startDownloader() {
  auto downloader = AFXDownloaderWorkflow::initWithDelegate(weak_from_this());
  {
    std::lock_guard lock(runMutex_);
    downloaderWorkflow_ = downloader;
  }
  downloader->start();
}

void AFXInstallationManager::downloaderDidStarted(AFXDownloaderWorkflow&) {
  setDownloadingProgress(0.0);
  setState(AFXInstallationStateDownloading);
}

void AFXInstallationManager::downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double progress) {
  setDownloadingProgress(progress);
}

void AFXInstallationManager::downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>&) {
  setDownloadingProgress(1.0);
  setState(AFXInstallationStateDownloaded);
}

void AFXInstallationManager::downloaderWillRestartDownloading(AFXDownloaderWorkflow&, std::uint64_t) {
  setDownloadingProgress(0.0);
  setState(AFXInstallationStateDownloading);
}

void AFXInstallationManager::downloaderDidFailWithError(AFXDownloaderWorkflow&, const std::optional<fnd::Error>& error) {
  fail(run_.load(), AFXInstallationStateDownloadFailed, error);
}

void AFXInstallationManager::downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&,
                                                                 const std::shared_ptr<fnd::URL>& url) {
  // Whether the mark could be cleared does not decide anything: a client
  // that cannot start fails the next step.
  (void)AFXRemoveFromQuarantine(url->path());
  continueWithDesktopClientInstanceAtURL(run_.load(), url);
}

void AFXInstallationManager::continueWithDesktopClientInstanceAtURL(RunID run, const std::shared_ptr<fnd::URL>& url) {
  if (!isCurrent(run)) return;
  setPreparationProgress(0.1);
  {
    std::lock_guard lock(runMutex_);
    desktopClientURL_ = url;
  }
  auto bundle = url ? fnd::Bundle::bundleWithPath(url->path()) : nullptr;
  const auto executable = bundle ? bundle->executablePath() : std::nullopt;
  if (!executable) {
    fail(run, AFXInstallationStateDownloadFailed, afx_makeErrorOfMissingObjectOfKind("Korvia Bundle"));
    return;
  }
  fnd::ProcessLaunchOptions options;
  options.executablePath = *executable;
  options.arguments = {std::string(AFXDesktopClientSilentLaunchArgument)};
  // The client's exit, whatever its status, says that its services can be
  // reached; a client that cannot be run at all shows as unreachable services.
  if (auto ran = fnd::Process::run(options); !ran) {
    DDLogError("Cannot launch the desktop client: %@", ran.error());
  }
  if (!isCurrent(run)) return;
  setPreparationProgress(0.6);
  auto factory = AFXServicesFactory::initWithServicesClasses(
      {&AFXServiceClassOf<AFXSystemManagementClient>(), &AFXServiceClassOf<AFXAppsManagementClient>()},
      std::string(AFXInstallerTierName), weak_from_this());
  {
    std::lock_guard lock(runMutex_);
    servicesFactory_ = factory;
  }
  setState(AFXInstallationStatePreparing);
  internalQueue_.async([self = shared_from_this(), run, factory] {
    std::weak_ptr<AFXInstallationManager> weak = self;
    factory->fetchSystemManagementServiceWithCallback([weak, run](const std::shared_ptr<QVValueOrError>& result) {
      auto manager = weak.lock();
      if (!manager) return;
      if (auto service = serviceIn<AFXSystemManagementService>(result)) {
        {
          std::lock_guard lock(manager->runMutex_);
          if (manager->isCurrent(run)) manager->systemManagementService_ = service;
        }
        manager->continueWithSystemManagementService(run, service);
      } else {
        manager->fail(run, AFXInstallationStatePreparationFailed, errorOf(result, "system management service"));
      }
    });
  });
}

void AFXInstallationManager::continueWithSystemManagementService(
    RunID run, const std::shared_ptr<AFXSystemManagementService>& service) {
  if (!isCurrent(run)) return;
  setPreparationProgress(0.7);
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  service->fetchCurrentCustomerUpdated(true, false, nullptr, 1, [weak, run](const std::shared_ptr<QVValueOrError>& result) {
    auto manager = weak.lock();
    if (manager && manager->isCurrent(run)) {
      manager->canLaunchApp_.store(result && !result->error() && result->value().as<AFXCustomer>() != nullptr);
    }
  });
  service->fetchCurrentEnvironmentUpdated(false, [weak, run](const std::shared_ptr<QVValueOrError>& result) {
    auto manager = weak.lock();
    if (!manager || !manager->isCurrent(run)) return;
    const auto environment = result && !result->error() ? result->value().as<AFXEnvironment>() : nullptr;
    std::shared_ptr<AFXServicesFactory> factory;
    {
      std::lock_guard lock(manager->runMutex_);
      factory = manager->servicesFactory_;
    }
    if (!environment || !factory) {
      manager->fail(run, AFXInstallationStatePreparationFailed, errorOf(result, "environment"));
      return;
    }
    factory->fetchAppsManagementServiceForEnvironmentID(
        environment->identifier(), [weak, run](const std::shared_ptr<QVValueOrError>& appsResult) {
          auto current = weak.lock();
          if (!current) return;
          auto apps = serviceIn<AFXAppsManagementService>(appsResult);
          if (!apps) {
            current->fail(run, AFXInstallationStatePreparationFailed, errorOf(appsResult, "apps management service"));
            return;
          }
          {
            std::lock_guard lock(current->runMutex_);
            if (current->isCurrent(run)) current->appsManagementService_ = apps;
          }
          current->continueWithAppsManagementService(run, apps);
        });
  });
}

void AFXInstallationManager::continueWithAppsManagementService(RunID run,
                                                              const std::shared_ptr<AFXAppsManagementService>& service) {
  if (!isCurrent(run)) return;
  setPreparationProgress(1.0);
  setAppInstallationProgress(0.0);
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  service->fetchAppWithID(fnd::Number::numberWithInteger(appID_), [weak, run, service](
                                                                      const std::shared_ptr<QVValueOrError>& result) {
    auto manager = weak.lock();
    if (!manager || !manager->isCurrent(run)) return;
    auto app = result && !result->error() ? result->value().as<AFXCodedApp>() : nullptr;
    if (!app) {
      manager->fail(run, AFXInstallationStatePreparationFailed, errorOf(result, "app"));
      return;
    }
    {
      std::lock_guard lock(manager->runMutex_);
      manager->app_ = app;
    }
    service->fetchAppWorkflowForApp(app, [weak, run, service, app](const std::shared_ptr<QVValueOrError>& workflowResult) {
      auto current = weak.lock();
      if (!current || !current->isCurrent(run)) return;
      auto workflow = workflowResult && !workflowResult->error() ? workflowResult->value().as<AFXAppWorkflow>() : nullptr;
      if (!workflow) {
        current->fail(run, AFXInstallationStatePreparationFailed, errorOf(workflowResult, "app workflow"));
        return;
      }
      current->continueWithWorkflow(run, service, app, workflow);
    });
  });
}

void AFXInstallationManager::continueWithWorkflow(RunID run, const std::shared_ptr<AFXAppsManagementService>& service,
                                                  const std::shared_ptr<AFXCodedApp>& app,
                                                  const std::shared_ptr<AFXAppWorkflow>& workflow) {
  setAppWorkflow(run, workflow);
  observeWorkflowNotifications(run, workflow);
  if (workflow->state() == AFXAppWorkflowStateInstalled) return;  // Already on to the resources.
  setState(AFXInstallationStateInstallingApp);
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  service->installVendorApp(app, false, [weak, run](const std::shared_ptr<QVValueOrError>& result) {
    auto manager = weak.lock();
    if (!manager || !manager->isCurrent(run)) return;
    if (result && result->error()) {
      manager->fail(run, AFXInstallationStateAppInstallationFailed, *result->error());
      return;
    }
    std::lock_guard lock(manager->runMutex_);
    manager->appInstance_ = result ? result->value().as<AFXAppInstance>() : nullptr;
  });
}

void AFXInstallationManager::observeWorkflowNotifications(RunID run, const std::shared_ptr<AFXAppWorkflow>& workflow) {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) {
    DDLogError("Cannot follow the app's installation: %@", center.error());
    return;
  }
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  auto token = (*center)->addObserverForName(
      std::string(AFXAppsManagementAppWorkflowChangedNotification), workflow->objectForNotification(), internalQueue_,
      [weak, run](const fnd::DistributedNotification& notification) {
        if (auto manager = weak.lock()) manager->appWorkflowDidChange(run, notification);
      });
  if (!token) {
    DDLogError("Cannot follow the app's installation: %@", token.error());
    return;
  }
  std::lock_guard lock(runMutex_);
  workflowObservers_.push_back(*token);
}

void AFXInstallationManager::removeWorkflowObservers() {
  std::vector<fnd::DistributedNotificationCenter::ObserverToken> tokens;
  {
    std::lock_guard lock(runMutex_);
    tokens.swap(workflowObservers_);
  }
  if (tokens.empty()) return;
  if (auto center = fnd::DistributedNotificationCenter::defaultCenter()) {
    for (auto token : tokens) (*center)->removeObserver(token);
  }
}

void AFXInstallationManager::appWorkflowDidChange(RunID run, const fnd::DistributedNotification& notification) {
  if (!isCurrent(run)) return;
  // A missing or undecodable workflow is ignored.
  if (auto workflow = AFXAppWorkflowFromChangedNotificationUserInfo(notification.userInfo)) setAppWorkflow(run, workflow);
}

void AFXInstallationManager::setAppWorkflow(RunID run, const std::shared_ptr<AFXAppWorkflow>& workflow) {
  if (!isCurrent(run)) return;
  switch (workflow->state()) {
    case AFXAppWorkflowStateIdle:
      if (state() == AFXInstallationStateAppInstallationFailed) setAppInstallationProgress(0.0);
      break;
    case AFXAppWorkflowStateInstalling:
      // The client posts a copy of the workflow at every change of its
      // fraction, so following the copies is following the fraction.
      variablesQueue_.async([self = shared_from_this(), workflow] { self->appWorkflow_ = workflow; });
      setAppInstallationProgress(workflow->fractionCompleted());
      break;
    case AFXAppWorkflowStateInstalled:
      setAppInstallationProgress(1.0);
      prepareResourcesForApp(run);
      break;
    default:
      break;
  }
}

void AFXInstallationManager::prepareResourcesForApp(RunID run) {
  if (!isCurrent(run) || state() == AFXInstallationStatePreparingResources || state() == AFXInstallationStateReady) {
    return;  // A repeated "installed" changes nothing.
  }
  setState(AFXInstallationStatePreparingResources);
  internalQueue_.async([self = shared_from_this(), run] {
    std::shared_ptr<AFXAppsManagementService> service;
    std::shared_ptr<AFXCodedApp> app;
    {
      std::lock_guard lock(self->runMutex_);
      service = self->appsManagementService_;
      app = self->app_;
    }
    if (!service || !app || !self->isCurrent(run)) return;
    std::weak_ptr<AFXInstallationManager> weak = self;
    // Reports and the answer come on different queues; both move to the
    // internal queue, where a report that comes after the answer is dropped
    // instead of pulling the finished progress back.
    auto answered = std::make_shared<bool>(false);
    service->prepareResourcesForApp(
        app, kResourcesDownloadPriority,
        [weak, run, answered](double fraction) {
          auto manager = weak.lock();
          if (!manager) return;
          manager->internalQueue_.async([manager, run, answered, fraction] {
            if (!*answered && manager->isCurrent(run)) manager->setResourcesPreparationProgress(fraction);
          });
        },
        [weak, run, answered](const std::shared_ptr<QVValueOrError>&) {
          // Resources that could not be prepared are fetched when the app
          // needs them: the installation has succeeded either way.
          auto manager = weak.lock();
          if (!manager) return;
          manager->internalQueue_.async([manager, run, answered] {
            *answered = true;
            if (!manager->isCurrent(run)) return;
            manager->setState(AFXInstallationStateReady);
            manager->setResourcesPreparationProgress(1.0);
            manager->finishWithSuccess(run);
          });
        });
  });
}

void AFXInstallationManager::fail(RunID run, AFXInstallationState state, const std::optional<fnd::Error>& error) {
  if (!isCurrent(run)) return;
  setState(state);
  finishWithError(run, error);
}

void AFXInstallationManager::finishWithError(RunID run, const std::optional<fnd::Error>& error) {
  AFXInstallationCompletion callback;
  {
    std::lock_guard lock(runMutex_);
    if (!isCurrent(run)) return;
    callback = callback_;
  }
  if (callback) callback(error ? *error : afx_didFailToInstallVendorAppForUnknownReason());
}

void AFXInstallationManager::finishWithSuccess(RunID run) {
  AFXInstallationCompletion callback;
  {
    std::lock_guard lock(runMutex_);
    if (!isCurrent(run)) return;
    callback = callback_;
  }
  if (callback) callback(std::nullopt);
}

// Retry, stop, restart

void AFXInstallationManager::retryAfterError() {
  internalQueue_.async([self = shared_from_this()] {
    const RunID run = self->run_.load();
    std::shared_ptr<AFXAppsManagementService> apps;
    std::shared_ptr<fnd::URL> clientURL;
    {
      std::lock_guard lock(self->runMutex_);
      apps = self->appsManagementService_;
      clientURL = self->desktopClientURL_;
    }
    switch (self->state()) {
      case AFXInstallationStateAppInstallationFailed:
        if (apps) {
          self->continueWithAppsManagementService(run, apps);
          return;
        }
        break;
      case AFXInstallationStatePreparationFailed:
        if (clientURL) {
          self->continueWithDesktopClientInstanceAtURL(run, clientURL);
          return;
        }
        break;
      case AFXInstallationStateDownloadFailed:
        self->startDownloader();
        return;
      default:
        break;
    }
    self->restart();
  });
}

void AFXInstallationManager::restart() {
  AFXInstallationProgressHandler progressBlock;
  AFXInstallationCompletion callback;
  {
    std::lock_guard lock(runMutex_);
    progressBlock = progressBlock_;
    callback = callback_;
  }
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  stopInstallationWithCallback([weak, progressBlock, callback] {
    if (auto manager = weak.lock()) manager->installWithProgressBlock(progressBlock, callback);
  });
}

void AFXInstallationManager::stopInstallationWithCallback(std::function<void()> callback) {
  internalQueue_.async([self = shared_from_this(), callback = std::move(callback)] { self->stopNow(callback); });
}

void AFXInstallationManager::stopNow(std::function<void()> callback) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  // Nothing of this run reports or carries on from here.
  run_.fetch_add(1);
  std::shared_ptr<AFXDownloaderWorkflow> downloader;
  std::shared_ptr<AFXAppsManagementService> apps;
  std::shared_ptr<AFXSystemManagementService> system;
  std::shared_ptr<AFXCodedApp> app;
  std::shared_ptr<AFXAppInstance> instance;
  {
    std::lock_guard lock(runMutex_);
    progressBlock_ = nullptr;
    callback_ = nullptr;
    downloader = downloaderWorkflow_;
    apps = appsManagementService_;
    system = systemManagementService_;
    app = app_;
    instance = appInstance_;
  }
  removeWorkflowObservers();
  if (downloader) downloader->stop();

  // Steps 3 and 5 run side by side; the last to end finishes the stop.
  auto pending = std::make_shared<std::atomic<int>>(2);
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  auto stepDone = [weak, pending, callback] {
    if (pending->fetch_sub(1) != 1) return;
    auto manager = weak.lock();
    if (!manager) {
      if (callback) callback();
      return;
    }
    manager->internalQueue_.async([manager, callback] {
      {
        std::lock_guard lock(manager->runMutex_);
        manager->app_.reset();
        manager->appInstance_.reset();
        manager->servicesFactory_.reset();
        manager->systemManagementService_.reset();
        manager->appsManagementService_.reset();
      }
      manager->canLaunchApp_.store(false);
      manager->variablesQueue_.async([manager] {
        manager->downloadingProgress_ = manager->preparationProgress_ = 0;
        manager->appInstallationProgress_ = manager->resourcesPreparationProgress_ = 0;
        manager->appWorkflow_.reset();
        manager->state_ = AFXInstallationStateIdle;
      });
      manager->variablesQueue_.sync([] {});
      if (callback) callback();
    });
  };

  if (apps && app) {
    apps->stopInstallVendorApp(app, [stepDone](const std::optional<fnd::Error>&) { stepDone(); });
  } else {
    stepDone();
  }
  if (instance) {
    if (auto url = instance->filePathURL()) {
      if (auto removed = fnd::FileManager::defaultManager().removeItemAtPath(url->path()); !removed) {
        DDLogWarn("Cannot remove the installed app: %@", removed.error());
      }
    }
  }
  if (system && !korviaWasInstalledBefore_) {
    system->fetchUninstallerExecutableInfoWithType(kUninstallerType, [stepDone](const std::shared_ptr<QVValueOrError>& result) {
      auto info = result && !result->error() ? result->value().as<AFXExecutableInfo>() : nullptr;
      if (info && info->path()) {
        fnd::ProcessLaunchOptions options;
        options.executablePath = *info->path();
        if (info->arguments()) {
          for (const auto& argument : *info->arguments()) {
            if (auto text = argument.stringValue()) options.arguments.push_back(*text);
          }
        }
        if (auto ran = fnd::Process::run(options); !ran) DDLogError("Cannot run the desktop client's uninstaller: %@", ran.error());
      }
      stepDone();
    });
  } else {
    stepDone();
  }
}

// Launch

void AFXInstallationManager::launchWithCallback(std::function<void(bool opened)> callback) {
  FND_PARAMETER_ASSERT(callback != nullptr);
  if (state() != AFXInstallationStateReady) {
    callback(false);
    return;
  }
  const auto bundleName = fnd::Bundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName").stringValue();
  auto url = openAppsDiscoveryURLForCollection(std::nullopt, static_cast<std::uint64_t>(appID_), std::string("Installer"),
                                               bundleName.value_or("unknown"));
  const auto clientURL = desktopClientURL();
  const bool opened = url && clientURL && fnd::Workspace::sharedWorkspace().openURL(*url, *clientURL);
  if (!canLaunchApp()) {
    callback(opened);
    return;
  }
  std::weak_ptr<AFXInstallationManager> weak = weak_from_this();
  fetchAppPathThen([weak](const std::shared_ptr<fnd::URL>& appURL) {
    auto manager = weak.lock();
    if (manager && appURL) manager->launchAppLater(appURL);
  });
  callback(opened);
}

void AFXInstallationManager::fetchAppPathThen(std::function<void(std::shared_ptr<fnd::URL>)> then) {
  std::shared_ptr<AFXAppInstance> instance;
  std::shared_ptr<AFXAppsManagementService> apps;
  {
    std::lock_guard lock(runMutex_);
    instance = appInstance_;
    apps = appsManagementService_;
  }
  if (instance) {
    then(instance->filePathURL());
    return;
  }
  if (!apps) {
    then(nullptr);
    return;
  }
  apps->fetchAppInstancesWithAppID(fnd::Number::numberWithInteger(appID_), [then](const std::shared_ptr<QVValueOrError>& result) {
    std::vector<fnd::Value> instances;
    if (result && !result->error()) {
      if (auto set = result->value().as<fnd::Set>()) instances = set->elements();
      if (auto array = result->value().as<fnd::Array>()) instances = array->elements();
    }
    for (const auto& element : instances) {
      auto candidate = element.as<AFXAppInstance>();
      if (candidate && candidate->kind() == AFXAppInstanceKindVendor) {
        then(candidate->filePathURL());
        return;
      }
    }
    then(nullptr);
  });
}

void AFXInstallationManager::launchAppLater(const std::shared_ptr<fnd::URL>& appURL) {
  // After the client has shown the app's page.
  fnd::Queue::global().after(kAppLaunchDelay, [appURL] {
    auto bundle = fnd::Bundle::bundleWithPath(appURL->path());
    const auto executable = bundle ? bundle->executablePath() : std::nullopt;
    if (!executable) {
      DDLogError("Cannot open the app at %@", appURL->path());
      return;
    }
    fnd::ProcessLaunchOptions options;
    options.executablePath = *executable;
    if (auto launched = fnd::Process::launch(options); !launched) DDLogError("Cannot open the app: %@", launched.error());
  });
}

// The services factory's delegate

void AFXInstallationManager::servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory& factory,
                                                                                EnvironmentCallback callback) {
  factory.fetchCurrentEnvironmentUpdated(false, [callback](const std::shared_ptr<QVValueOrError>& result) {
    callback(result && !result->error() ? result->value().as<AFXEnvironment>() : nullptr);
  });
}

void AFXInstallationManager::servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory& factory,
                                                                             CustomerCallback callback) {
  factory.fetchCurrentCustomerUpdated(false, false, nullptr, 0, [callback](const std::shared_ptr<QVValueOrError>& result) {
    callback(result && !result->error() ? result->value().as<AFXCustomer>() : nullptr);
  });
}
