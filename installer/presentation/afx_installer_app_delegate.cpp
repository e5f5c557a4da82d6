#include "installer/presentation/afx_installer_app_delegate.h"

#include <QApplication>
#include <QLayout>
#include <QMessageBox>

#include "installer/presentation/afx_installer_resources.h"
#include "tools/ui/qv_view_extensions.h"

namespace {

AFXInstallerAppDelegate* applicationDelegate = nullptr;
std::function<void()>& terminateNowHandler() {
  static auto* handler = new std::function<void()>;
  return *handler;
}
bool terminated = false;

}  // namespace

void AFXSetApplicationDelegate(AFXInstallerAppDelegate* delegate) { applicationDelegate = delegate; }

void AFXSetTerminateNowHandler(std::function<void()> handler) { terminateNowHandler() = std::move(handler); }

void AFXResetApplicationTermination() {
  terminated = false;
  terminateNowHandler() = nullptr;
}

void AFXTerminateApplication() {
  if (terminated) return;
  if (applicationDelegate && applicationDelegate->applicationShouldTerminate() != NSTerminateNow) return;
  // The delegate may have ended the application itself while answering.
  if (terminated) return;
  terminated = true;
  if (const auto& handler = terminateNowHandler()) {
    handler();
  } else {
    QCoreApplication::quit();
  }
}

AFXInstallerAppDelegate::AFXInstallerAppDelegate(AFXInstallationWindowControllerEnvironment environment)
    : environment_(std::move(environment)) {}

AFXInstallerAppDelegate::~AFXInstallerAppDelegate() {
  if (applicationDelegate == this) applicationDelegate = nullptr;
  delete mainMenu_.data();
}

bool AFXInstallerAppDelegate::loadMainMenu() {
  mainMenu_ = QVMakeFromNibNamed<QMenuBar>("MainMenu", AFXInstallerResourceBundle(), nullptr);
  if (!mainMenu_) return false;
  aboutMenuItem_ = mainMenu_->findChild<QAction*>("aboutMenuItem");
  hideMenuItem_ = mainMenu_->findChild<QAction*>("hideMenuItem");
  quitMenuItem_ = mainMenu_->findChild<QAction*>("quitMenuItem");
  if (!aboutMenuItem_ || !hideMenuItem_ || !quitMenuItem_) return false;
  awakeFromNib();
  connectMenuItems();
  return true;
}

void AFXInstallerAppDelegate::awakeFromNib() {
  const auto title = [](std::string_view key) {
    return AFXQString(AFXInstallerLocalizedFormat(key, AFXInstallerBuildTag));
  };
  if (aboutMenuItem_) aboutMenuItem_->setText(title("AboutAppMenuTitle"));
  if (hideMenuItem_) hideMenuItem_->setText(title("HideAppMenuTitle"));
  if (quitMenuItem_) quitMenuItem_->setText(title("QuitAppMenuTitle"));
}

void AFXInstallerAppDelegate::connectMenuItems() {
  QObject::connect(quitMenuItem_, &QAction::triggered, [] { AFXTerminateApplication(); });
  QObject::connect(hideMenuItem_, &QAction::triggered, [this] {
    if (installationWindowController_) installationWindowController_->window()->showMinimized();
  });
  QObject::connect(aboutMenuItem_, &QAction::triggered, [this] {
    QWidget* window = installationWindowController_ ? installationWindowController_->window() : nullptr;
    QMessageBox::about(window, AFXQString(AFXInstallerBuildTag), aboutMenuItem_->text());
  });
}

bool AFXInstallerAppDelegate::applicationDidFinishLaunching() {
  AFXSetApplicationDelegate(this);
  installationWindowController_ = AFXInstallationWindowController::makeWindowController(environment_);
  if (!installationWindowController_) return false;
  QWidget* window = installationWindowController_->window();
  if (mainMenu_) {
    // The window is the application's only one, so the menu lives in it;
    // its shortcuts work wherever the menu bar itself is shown.
    if (window->layout()) window->layout()->setMenuBar(mainMenu_);
    for (QAction* item : {aboutMenuItem_.data(), hideMenuItem_.data(), quitMenuItem_.data()}) window->addAction(item);
  }
  installationWindowController_->showWindow();
  return true;
}

NSApplicationTerminateReply AFXInstallerAppDelegate::applicationShouldTerminate() {
  if (terminationReply_ == NSTerminateCancel && installationWindowController_) {
    installationWindowController_->checkCanCloseWindowWithCallback([this](bool canClose) {
      if (canClose) terminate();
    });
  } else if (!installationWindowController_) {
    terminationReply_ = NSTerminateNow;
  }
  return terminationReply_;
}

void AFXInstallerAppDelegate::terminate() {
  terminationReply_ = NSTerminateNow;
  AFXTerminateApplication();
}
