#include "desktop_client/afx_reference_desktop_client_service.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "foundation/code_signing.h"
#include "foundation/file_manager.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/search_paths.h"
#include "foundation/set.h"
#include "foundation/url_session_configuration.h"
#include "foundation/user_defaults.h"
#include "interface/apps_management/afx_app_workflow_notification.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/apps_management/model/afx_executable_info.h"
#include "interface/errors/afx_errors.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/model/afx_customer.h"
#include "interface/placement/afx_put_app.h"
#include "logging/dd_log_macros.h"

namespace {

fnd::Error unansweredOperation(std::string_view operation) {
  return fnd::Error(AFXReferenceClientErrorDomain, 1,
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey),
                      fnd::Value("The reference desktop client does not answer " + std::string(operation) + ".")}});
}

std::string applicationsFolder() { return fnd::SearchPaths::path(fnd::SearchPathLocation::applications); }

}  // namespace

AFXReferenceDesktopClientService::AFXReferenceDesktopClientService(std::string bundlePath, std::string stateFolder,
                                                                   std::function<void()> onCall)
    : bundlePath_(std::move(bundlePath)),
      stateFolder_(std::move(stateFolder)),
      onCall_(std::move(onCall)),
      installationsQueue_(fnd::Queue::serial("reference-client.installations", fnd::QualityOfService::utility)),
      session_(fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration())) {}

void AFXReferenceDesktopClientService::performFamilyOperation(AFXFamilyCall call) {
  if (onCall_) onCall_();
  const std::string& name = call.operation->name();
  if (name == "fetchCurrentEnvironmentUpdated:callback:" || name == "fetchEnvironmentWithID:isUpdated:callback:") {
    call.finish(std::vector<fnd::Value>{fnd::Value(currentEnvironment())});
  } else if (name == "pokeWithCallback:") {
    call.finish(std::vector<fnd::Value>{});
  } else if (name == "fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:forRunningApplication:presentationStyle:callback:") {
    fetchCustomer(call);
  } else if (name == "fetchUninstallerExecutableInfoWithType:callback:") {
    fetchUninstaller(call);
  } else if (name == "fetchAppWithID:callback:") {
    fetchApp(call);
  } else if (name == "fetchAppWorkflowForApp:callback:") {
    fetchWorkflow(call);
  } else if (name == "installVendorApp:shouldLaunch:callback:") {
    install(std::move(call));
  } else if (name == "stopInstallVendorApp:callback:") {
    stopInstallation(call);
  } else if (name == "prepareResourcesForApp:priority:reportHandler:callback:") {
    prepareResources(call);
  } else if (name == "fetchAppInstancesWithAppID:callback:") {
    fetchInstances(call);
  } else if (name == "refreshStoreInitiatedByUser:callback:") {
    refreshStore(std::move(call));
  } else if (call.operation->responseType().fields.size() == call.operation->responseType().inheritedFieldCount) {
    // Nothing to answer with but success: the smaller services' notes,
    // marks and refreshes are taken as done.
    call.finish(std::vector<fnd::Value>{});
  } else {
    call.finish(unansweredOperation(name));
  }
}

std::shared_ptr<AFXEnvironment> AFXReferenceDesktopClientService::currentEnvironment() const {
  auto environment = AFXEnvironment::initWithIdentifier(AFXReferenceClientCurrentEnvironmentID(), nullptr);
  environment->setURLForAppsDirectory(fnd::URL::fileURLWithPath(applicationsFolder(), true));
  environment->setURLForPersistentDirectory(fnd::URL::fileURLWithPath(stateFolder_ + "/Persistent", true));
  environment->setURLForResourcesDirectory(fnd::URL::fileURLWithPath(stateFolder_ + "/Resources", true));
  environment->setURLForTeasersDirectory(fnd::URL::fileURLWithPath(stateFolder_ + "/Teasers", true));
  return environment;
}

std::string AFXReferenceDesktopClientService::installedPath(const AFXReferenceCatalogueEntry& entry) const {
  return applicationsFolder() + "/" + entry.bundleName;
}

std::optional<AFXReferenceCatalogueEntry> AFXReferenceDesktopClientService::entryForCall(AFXFamilyCall& call,
                                                                                        std::string_view key) {
  std::optional<std::int64_t> appID;
  const fnd::Value& argument = call.argument(key);
  if (auto app = argument.as<AFXCodedApp>()) appID = app->identifier();
  if (!appID) appID = argument.integerValue();
  auto catalogue = AFXReferenceCatalogue::readFromFile(catalogueFile());
  if (!catalogue) {
    call.finish(catalogue.error());
    return std::nullopt;
  }
  const auto* entry = appID ? catalogue->entryWithID(*appID) : nullptr;
  if (!entry) {
    call.finish(afx_makeErrorOfMissingObjectOfKind("app"));
    return std::nullopt;
  }
  return *entry;
}

std::shared_ptr<AFXAppWorkflow> AFXReferenceDesktopClientService::workflowFor(const AFXReferenceCatalogueEntry& entry,
                                                                              std::int64_t state, double fraction) const {
  auto workflow = AFXAppWorkflow::initWithAppID(entry.identifier, fnd::URL::fileURLWithPath(installedPath(entry), true));
  workflow->setState(state);
  workflow->setFractionCompleted(fraction);
  return workflow;
}

void AFXReferenceDesktopClientService::fetchApp(AFXFamilyCall& call) {
  if (auto entry = entryForCall(call, "appID")) call.finish(std::vector<fnd::Value>{fnd::Value(entry->makeApp())});
}

void AFXReferenceDesktopClientService::fetchWorkflow(AFXFamilyCall& call) {
  auto entry = entryForCall(call, "app");
  if (!entry) return;
  {
    std::lock_guard lock(mutex_);
    if (auto found = installations_.find(entry->identifier); found != installations_.end()) {
      call.finish(std::vector<fnd::Value>{fnd::Value(snapshotOf(found->second.workflow))});
      return;
    }
  }
  const bool installed = fnd::FileManager::defaultManager().fileExistsAtPath(installedPath(*entry));
  call.finish(std::vector<fnd::Value>{fnd::Value(installed ? workflowFor(*entry, AFXAppWorkflowStateInstalled, 1.0)
                                                           : workflowFor(*entry, AFXAppWorkflowStateIdle, 0.0))});
}

void AFXReferenceDesktopClientService::install(AFXFamilyCall call) {
  auto entry = entryForCall(call, "app");
  if (!entry) return;
  auto workflow = workflowFor(*entry, AFXAppWorkflowStateInstalling, 0.0);
  {
    std::lock_guard lock(mutex_);
    if (installations_.contains(entry->identifier)) {
      call.finish(afx_makeFailedDiskOperation("install " + entry->name, std::nullopt));
      return;
    }
    installations_[entry->identifier] = Installation{workflow, nullptr, false};
  }
  post(snapshotOf(workflow));
  auto shared = std::make_shared<AFXFamilyCall>(std::move(call));
  installationsQueue_.async([self = shared_from_this(), shared, entry = *entry] {
    self->waitAtTheGate(entry.identifier);
    self->download(shared, entry);
  });
}

void AFXReferenceDesktopClientService::waitAtTheGate(std::int64_t appID) {
  const auto gate = fnd::environmentValue(AFXReferenceClientInstallGateVariable);
  if (!gate) return;
  while (fnd::FileManager::defaultManager().fileExistsAtPath(*gate) && !wasStopped(appID)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void AFXReferenceDesktopClientService::download(const std::shared_ptr<AFXFamilyCall>& shared,
                                                const AFXReferenceCatalogueEntry& entry) {
  if (wasStopped(entry.identifier)) {
    finishInstallation(entry.identifier, AFXAppWorkflowStateIdle, 0.0);
    shared->finish(afx_cancel());
    return;
  }
  const std::string downloads = stateFolder_ + "/Downloads";
  (void)fnd::FileManager::defaultManager().createDirectoryAtPath(downloads, true);
  const std::string archivePath = downloads + "/" + std::to_string(entry.identifier) + ".zip";
  auto self = shared_from_this();
  auto task = session_->downloadTaskWithURL(
      entry.archiveURL, [self, shared, entry, archivePath](const std::shared_ptr<fnd::URL>& location,
                                                           const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                                           const std::optional<fnd::Error>& error) {
        std::optional<fnd::Error> failure = error;
        if (!failure && (!response || response->statusCode() < 200 || response->statusCode() > 299)) {
          failure = afx_makeServerErrorOnOperation("download " + entry.name, std::nullopt);
        }
        if (!failure && location) {
          (void)fnd::FileManager::defaultManager().removeItemAtPath(archivePath);
          if (auto moved = fnd::FileManager::defaultManager().moveItemAtPath(location->path(), archivePath); !moved) {
            failure = moved.error();
          }
        }
        if (failure) {
          const bool stopped = self->wasStopped(entry.identifier);
          self->finishInstallation(entry.identifier, AFXAppWorkflowStateIdle, 0.0);
          shared->finish(stopped ? afx_cancel() : afx_makeNetworkErrorWithUnderlyingError(failure));
          return;
        }
        self->postProgress(entry.identifier, 0.5);
        self->installationsQueue_.async([self, shared, entry, archivePath] { self->place(*shared, entry, archivePath); });
      });
  {
    std::lock_guard lock(mutex_);
    if (auto found = installations_.find(entry.identifier); found != installations_.end()) found->second.task = task;
  }
  task->resume();
}

void AFXReferenceDesktopClientService::place(AFXFamilyCall call, AFXReferenceCatalogueEntry entry,
                                             const std::string& archivePath) {
  if (wasStopped(entry.identifier)) {
    (void)fnd::FileManager::defaultManager().removeItemAtPath(archivePath);
    finishInstallation(entry.identifier, AFXAppWorkflowStateIdle, 0.0);
    call.finish(afx_cancel());
    return;
  }
  // With a trust anchor configured, only apps signed by the product maker's
  // team are put in place.
  const AFXValidation validation =
      fnd::environmentValue(fnd::kCodeSignatureAnchorEnvironment) ? AFXValidationTeamAnchor : AFXValidationNone;
  auto placed = AFXInstallApp(fnd::URL::fileURLWithPath(archivePath), fnd::URL::fileURLWithPath(applicationsFolder(), true),
                              true, validation, false,
                              [this, &entry](double fraction) { postProgress(entry.identifier, 0.5 + fraction * 0.45); });
  (void)fnd::FileManager::defaultManager().removeItemAtPath(archivePath);
  if (!placed) {
    DDLogError("Cannot install %@: %@", entry.name, placed.error());
    finishInstallation(entry.identifier, AFXAppWorkflowStateIdle, 0.0);
    call.finish(placed.error());
    return;
  }
  call.finish(std::vector<fnd::Value>{fnd::Value(AFXVendorAppInstance::initWithAppID(entry.identifier, **placed))});
  finishInstallation(entry.identifier, AFXAppWorkflowStateInstalled, 1.0);
}

void AFXReferenceDesktopClientService::finishInstallation(std::int64_t appID, std::int64_t state, double fraction) {
  std::shared_ptr<AFXAppWorkflow> workflow;
  {
    std::lock_guard lock(mutex_);
    auto found = installations_.find(appID);
    if (found == installations_.end()) return;
    workflow = found->second.workflow;
    installations_.erase(found);
  }
  // No longer in the table: nobody else changes it now.
  workflow->setState(state);
  workflow->setFractionCompleted(fraction);
  post(workflow);
}

void AFXReferenceDesktopClientService::postProgress(std::int64_t appID, double fraction) {
  std::shared_ptr<AFXAppWorkflow> workflow;
  {
    std::lock_guard lock(mutex_);
    auto found = installations_.find(appID);
    if (found == installations_.end() || found->second.stopped) return;
    found->second.workflow->setFractionCompleted(fraction);
    workflow = snapshotOf(found->second.workflow);
  }
  post(workflow);
}

std::shared_ptr<AFXAppWorkflow> AFXReferenceDesktopClientService::snapshotOf(const std::shared_ptr<AFXAppWorkflow>& workflow) {
  return std::dynamic_pointer_cast<AFXAppWorkflow>(workflow->copy());
}

bool AFXReferenceDesktopClientService::wasStopped(std::int64_t appID) {
  std::lock_guard lock(mutex_);
  auto found = installations_.find(appID);
  return found == installations_.end() || found->second.stopped;
}

void AFXReferenceDesktopClientService::post(const std::shared_ptr<AFXAppWorkflow>& workflow) const {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  auto userInfo = AFXAppWorkflowChangedNotificationUserInfo(workflow);
  if (!center || !userInfo) return;
  auto posted = (*center)->postNotificationName(std::string(AFXAppsManagementAppWorkflowChangedNotification),
                                                workflow->objectForNotification(), userInfo);
  if (!posted) DDLogError("Cannot post the workflow of app %@: %@", workflow->appID().value_or(0), posted.error());
}

void AFXReferenceDesktopClientService::stopInstallation(AFXFamilyCall& call) {
  auto entry = entryForCall(call, "app");
  if (!entry) return;
  std::shared_ptr<fnd::URLSessionDownloadTask> task;
  {
    std::lock_guard lock(mutex_);
    if (auto found = installations_.find(entry->identifier); found != installations_.end()) {
      found->second.stopped = true;
      task = found->second.task;
    }
  }
  if (task) task->cancel();
  call.finish(std::vector<fnd::Value>{});
}

void AFXReferenceDesktopClientService::prepareResources(AFXFamilyCall& call) {
  auto entry = entryForCall(call, "app");
  if (!entry) return;
  if (call.report) {
    for (const double fraction : {0.5, 1.0}) call.report({fnd::Value(fraction)});
  }
  call.finish(std::vector<fnd::Value>{fnd::Value(fnd::Set::make())});
}

void AFXReferenceDesktopClientService::fetchInstances(AFXFamilyCall& call) {
  auto entry = entryForCall(call, "appID");
  if (!entry) return;
  std::vector<fnd::Value> instances;
  const std::string path = installedPath(*entry);
  if (fnd::FileManager::defaultManager().fileExistsAtPath(path)) {
    instances.emplace_back(AFXVendorAppInstance::initWithAppID(entry->identifier, *fnd::URL::fileURLWithPath(path, true)));
  }
  call.finish(std::vector<fnd::Value>{fnd::Value(fnd::Set::make(std::move(instances)))});
}

std::shared_ptr<AFXCustomer> AFXReferenceDesktopClientService::currentCustomer() const {
  auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
  const auto account = defaults ? defaults->stringForKey(AFXReferenceClientCustomerAccountKey) : std::nullopt;
  if (!account || account->empty()) return nullptr;
  return AFXCustomer::initWithIdentifier(AFXCustomerID::initWithAccountName(*account, currentEnvironment()->identifier()),
                                         std::string("reference"), std::string("reference-token"),
                                         AFXCustomerSubscriptionStatePaid, nullptr, nullptr, nullptr, nullptr, true);
}

std::optional<std::string> AFXReferenceDesktopClientService::installedPathOfApp(std::int64_t appID) const {
  auto catalogue = AFXReferenceCatalogue::readFromFile(catalogueFile());
  const auto* entry = catalogue ? catalogue->entryWithID(appID) : nullptr;
  if (!entry) return std::nullopt;
  return installedPath(*entry);
}

void AFXReferenceDesktopClientService::fetchCustomer(AFXFamilyCall& call) {
  auto customer = currentCustomer();
  // Nobody signed in: an answer without a customer.
  call.finish(customer ? std::vector<fnd::Value>{fnd::Value(customer)} : std::vector<fnd::Value>{});
}

void AFXReferenceDesktopClientService::fetchUninstaller(AFXFamilyCall& call) {
  if (call.argument("uninstallType").integerValue() != 1) {
    call.finish(afx_makeErrorOfMissingObjectOfKind("uninstaller"));
    return;
  }
  call.finish(std::vector<fnd::Value>{fnd::Value(
      AFXExecutableInfo::initWithPath(bundlePath_ + "/Contents/MacOS/KorviaUninstaller", fnd::Array::make()))});
}

std::shared_ptr<AFXReferenceAppsRefresher> AFXReferenceDesktopClientService::refresherFor(
    const std::shared_ptr<AFXEnvironmentID>& environmentID) {
  std::lock_guard lock(mutex_);
  auto& refresher = refreshers_[environmentID->userDefaultsValue()];
  if (!refresher) refresher = AFXReferenceAppsRefresher::make(environmentID, stateFolder_, session_);
  return refresher;
}

void AFXReferenceDesktopClientService::refreshStore(AFXFamilyCall call) {
  const AFXAppsRefreshReason reason =
      call.argument("initiatedByUser").boolValue().value_or(false) ? AFXAppsRefreshReasonByUser : AFXAppsRefreshReasonInternal;
  auto shared = std::make_shared<AFXFamilyCall>(std::move(call));
  refresherFor(currentEnvironment()->identifier())
      ->refresh(reason, [shared](fnd::Expected<AFXReferenceAppsRefreshOutcome> outcome) {
        if (outcome) {
          shared->finish(std::vector<fnd::Value>{});
        } else {
          shared->finish(outcome.error());
        }
      });
}
