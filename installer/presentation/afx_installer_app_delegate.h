#pragma once

// The installer application's delegate: titles the main menu, shows the
// installation window once launching has finished, and routes every request
// to quit through the window controller, so that quitting mid-installation
// asks and undoes it first.

#include <QAction>
#include <QMenuBar>
#include <QPointer>
#include <memory>

#include "installer/presentation/afx_installation_window_controller.h"
#include "installer/presentation/afx_installer_application.h"

class AFXInstallerAppDelegate {
 public:
  explicit AFXInstallerAppDelegate(
      AFXInstallationWindowControllerEnvironment environment = AFXInstallationWindowControllerEnvironment::standard());
  ~AFXInstallerAppDelegate();

  const std::shared_ptr<AFXInstallationWindowController>& installationWindowController() const {
    return installationWindowController_;
  }
  QAction* aboutMenuItem() const { return aboutMenuItem_; }
  QAction* hideMenuItem() const { return hideMenuItem_; }
  QAction* quitMenuItem() const { return quitMenuItem_; }
  QMenuBar* mainMenu() const { return mainMenu_; }
  NSApplicationTerminateReply terminationReply() const { return terminationReply_; }

  // Loads the main menu resource ("MainMenu") and titles its items; false
  // when the resource or an item is missing.
  bool loadMainMenu();
  void awakeFromNib();
  // Makes and shows the window; false when its resource cannot be loaded.
  bool applicationDidFinishLaunching();
  NSApplicationTerminateReply applicationShouldTerminate();

 private:
  void terminate();
  void connectMenuItems();

  AFXInstallationWindowControllerEnvironment environment_;
  std::shared_ptr<AFXInstallationWindowController> installationWindowController_;
  QPointer<QMenuBar> mainMenu_;
  QPointer<QAction> aboutMenuItem_;
  QPointer<QAction> hideMenuItem_;
  QPointer<QAction> quitMenuItem_;
  NSApplicationTerminateReply terminationReply_ = NSTerminateCancel;
};
