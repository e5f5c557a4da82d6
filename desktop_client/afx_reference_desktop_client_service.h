#pragma once

// The requests of the reference desktop client's five services. It answers
// what an installation needs for real: the environment its preferences name
// (the default one without), the customer signed in through its preferences, the apps of its catalogue and
// their workflows, the installation of a vendor app (its archive downloaded,
// unpacked and put into the applications folder, with the workflow posted
// at every step), stopping it, preparing resources, refreshing the
// catalogue (through the environment's refresh synchronizer, so that
// refreshes of several processes at once fetch once), and its own
// uninstaller.
// Operations whose answer carries nothing succeed; every other one is
// answered with an error that names it.
//
// Installations run on the serial queue "reference-client.installations";
// the table of installations under way is guarded by a mutex.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "desktop_client/afx_reference_apps_refresh.h"
#include "desktop_client/afx_reference_catalogue.h"
#include "foundation/queue.h"
#include "foundation/url_session.h"
#include "interface/apps_management/model/afx_app_workflow.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/services/afx_service_family.h"

// The preference (in the client's shared suite) naming the signed-in
// customer's account; none signed in without it.
inline constexpr std::string_view AFXReferenceClientCustomerAccountKey = "ReferenceCustomerAccountName";
inline constexpr std::string_view AFXReferenceClientErrorDomain = "com.korvia.reference-client";
// For tests of an installation under way: while the file this names exists,
// an installation waits before it downloads.
inline constexpr std::string_view AFXReferenceClientInstallGateVariable = "KORVIA_CLIENT_INSTALL_GATE";

class AFXReferenceDesktopClientService final : public AFXFamilyService,
                                               public std::enable_shared_from_this<AFXReferenceDesktopClientService> {
 public:
  // `bundlePath` is the client's own bundle; `stateFolder` holds its
  // catalogue file and downloads. `onCall` hears of every request.
  AFXReferenceDesktopClientService(std::string bundlePath, std::string stateFolder, std::function<void()> onCall);

  void performFamilyOperation(AFXFamilyCall call) override;

  std::shared_ptr<AFXEnvironment> currentEnvironment() const;
  // The customer signed in through the preferences; null when nobody is.
  std::shared_ptr<AFXCustomer> currentCustomer() const;
  // Where the catalogue's app of that identifier is installed, if it is in
  // the catalogue.
  std::optional<std::string> installedPathOfApp(std::int64_t appID) const;
  std::string catalogueFile() const { return stateFolder_ + "/catalogue.json"; }
  // Where an app of the catalogue is installed.
  std::string installedPath(const AFXReferenceCatalogueEntry& entry) const;

 private:
  struct Installation {
    std::shared_ptr<AFXAppWorkflow> workflow;
    std::shared_ptr<fnd::URLSessionDownloadTask> task;
    bool stopped = false;
  };

  void fetchApp(AFXFamilyCall& call);
  void fetchWorkflow(AFXFamilyCall& call);
  void install(AFXFamilyCall call);
  // On the installations queue.
  void waitAtTheGate(std::int64_t appID);
  void download(const std::shared_ptr<AFXFamilyCall>& call, const AFXReferenceCatalogueEntry& entry);
  void stopInstallation(AFXFamilyCall& call);
  void prepareResources(AFXFamilyCall& call);
  void fetchInstances(AFXFamilyCall& call);
  void fetchCustomer(AFXFamilyCall& call);
  void fetchUninstaller(AFXFamilyCall& call);
  void refreshStore(AFXFamilyCall call);
  // One per environment, made when it is first refreshed.
  std::shared_ptr<AFXReferenceAppsRefresher> refresherFor(const std::shared_ptr<AFXEnvironmentID>& environmentID);

  // On the installations queue, once the archive is at `archivePath`.
  void place(AFXFamilyCall call, AFXReferenceCatalogueEntry entry, const std::string& archivePath);
  void finishInstallation(std::int64_t appID, std::int64_t state, double fraction);
  void post(const std::shared_ptr<AFXAppWorkflow>& workflow) const;
  // The table's workflows change under the mutex while answers and
  // notifications are archived on other threads: those get copies made
  // under the mutex.
  static std::shared_ptr<AFXAppWorkflow> snapshotOf(const std::shared_ptr<AFXAppWorkflow>& workflow);
  void postProgress(std::int64_t appID, double fraction);
  bool wasStopped(std::int64_t appID);

  // The catalogue entry of the call's app, or the call answered with the
  // missing-app error.
  std::optional<AFXReferenceCatalogueEntry> entryForCall(AFXFamilyCall& call, std::string_view key);
  std::shared_ptr<AFXAppWorkflow> workflowFor(const AFXReferenceCatalogueEntry& entry, std::int64_t state,
                                              double fraction) const;

  const std::string bundlePath_;
  const std::string stateFolder_;
  const std::function<void()> onCall_;
  const fnd::Queue installationsQueue_;
  const std::shared_ptr<fnd::URLSession> session_;
  std::mutex mutex_;
  std::map<std::int64_t, Installation> installations_;
  std::map<std::string, std::shared_ptr<AFXReferenceAppsRefresher>> refreshers_;
};
