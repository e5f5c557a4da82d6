#include "installer/presentation/afx_installation_window_controller.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPropertyAnimation>

#include "foundation/queue.h"
#include "installer/afx_installation_manager.h"
#include "installer/presentation/afx_installation_alerts.h"
#include "installer/presentation/afx_installer_accessibility.h"
#include "installer/presentation/afx_installer_application.h"
#include "interface/errors/afx_errors.h"
#include "tools/qv_system_info.h"
#include "tools/qv_version_comparator.h"
#include "tools/recovery/qv_error_recovery.h"
#include "tools/ui/qv_view_extensions.h"

namespace {

// The window's close requests and arrow keys, handed to the controller.
class WindowEventFilter final : public QObject {
 public:
  WindowEventFilter(QObject* parent, std::weak_ptr<AFXInstallationWindowController> controller)
      : QObject(parent), controller_(std::move(controller)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto controller = controller_.lock();
    if (!controller || watched != controller->window()) return false;
    if (event->type() == QEvent::Close) {
      event->ignore();
      (void)controller->windowShouldClose();
      return true;
    }
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Left || key == Qt::Key_Right) {
        controller->keyDown(key);
        return true;
      }
    }
    return false;
  }

 private:
  std::weak_ptr<AFXInstallationWindowController> controller_;
};

// Runs `block` with the controller on the main queue if it still exists.
template <class Block>
void onMainQueue(const std::weak_ptr<AFXInstallationWindowController>& weak, Block block) {
  fnd::Queue::main().async([weak, block = std::move(block)]() mutable {
    if (const auto controller = weak.lock()) block(*controller);
  });
}

}  // namespace

AFXInstallationWindowControllerEnvironment AFXInstallationWindowControllerEnvironment::standard() {
  AFXInstallationWindowControllerEnvironment environment;
  environment.makeInstallationManager = [](std::int64_t appID) -> std::shared_ptr<AFXInstallationManaging> {
    return AFXInstallationManager::initWithAppID(appID);
  };
  environment.systemVersion = [] { return QVSystemInfo::OSVersion(); };
  return environment;
}

std::shared_ptr<AFXInstallationWindowController> AFXInstallationWindowController::makeWindowController(
    AFXInstallationWindowControllerEnvironment environment) {
  QWidget* window =
      QVMakeFromNibNamed<QWidget>("AFXInstallationWindowController", AFXInstallerResourceBundle(), nullptr);
  if (!window) return nullptr;
  auto controller = std::make_shared<AFXInstallationWindowController>(Token{}, window, std::move(environment));
  controller->windowDidLoad();
  return controller;
}

AFXInstallationWindowController::AFXInstallationWindowController(Token, QWidget* window,
                                                                 AFXInstallationWindowControllerEnvironment environment)
    : window_(window), environment_(std::move(environment)) {
  findOutlets();
}

AFXInstallationWindowController::~AFXInstallationWindowController() {
  if (selectNextPageScheduler_) selectNextPageScheduler_->updateEnabled(false);
  delete window_.data();
}

void AFXInstallationWindowController::findOutlets() {
  statusTextField_ = QVOutlet<QLabel>(window_, "statusTextField");
  progressBar_ = QVOutlet<AFXColorfulProgressIndicator>(window_, "progressBar");
  onboardingViewPlaceholder_ = QVOutlet<QWidget>(window_, "onboardingViewPlaceholder");
  onboardingViewToPaginationViewConstraint_ = QVOutlet<QWidget>(window_, "onboardingViewToPaginationViewConstraint");
  paginationView_ = QVOutlet<AFXPaginationView>(window_, "paginationView");
  stopButton_ = QVOutlet<QPushButton>(window_, "stopButton");
  launchButton_ = QVOutlet<QPushButton>(window_, "launchButton");
  korviaLogoView_ = QVOutlet<QWidget>(window_, "korviaLogoView");
}

void AFXInstallationWindowController::showWindow() {
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void AFXInstallationWindowController::windowDidLoad() {
  window_->setWindowTitle(AFXQString(AFXInstallerBuildTag));
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  window_->installEventFilter(new WindowEventFilter(window_, weak));
  window_->setFocusPolicy(Qt::StrongFocus);
  if (stopButton_) {
    QObject::connect(stopButton_, &QPushButton::clicked, window_, [weak] {
      if (const auto controller = weak.lock()) controller->stopInstallation();
    });
  }
  if (launchButton_) {
    QObject::connect(launchButton_, &QPushButton::clicked, window_, [weak] {
      if (const auto controller = weak.lock()) controller->launch();
    });
    launchButton_->hide();
  }
  setupAccessibilityAnchors();
  if (progressBar_) {
    progressBar_->setIndeterminate(false);
    progressBar_->setDoubleValue(0.0);
  }
  errorPresentationController_ = QVErrorPresentationController::create();
  if (paginationView_) paginationView_->setDelegate(weak);
  if (auto* first = AFXOnboardingContentView::firstScreenContentView(); first && onboardingViewPlaceholder_) {
    onboardingContentView_ = first;
    QVEmbedView(onboardingViewPlaceholder_, first);
    first->showAnimated(false, [] {});
  }
  if (!checkVersionCompatibilityAndPresentErrorOtherwise()) return;
  installationManager_ = environment_.makeInstallationManager(AFXFeaturedAppID);
  startInstallation();
  scheduleSelectNextPage();
}

void AFXInstallationWindowController::setupAccessibilityAnchors() {
  AFXSetAccessibilityIdentifier(window_.data(), AFXInstallerAccessibilityIdentifierMainWindow);
  AFXSetAccessibilityIdentifier(stopButton_.data(), AFXInstallerAccessibilityIdentifierStopButton);
  AFXSetAccessibilityIdentifier(launchButton_.data(), AFXInstallerAccessibilityIdentifierLaunchButton);
  AFXSetAccessibilityIdentifier(progressBar_.data(), AFXInstallerAccessibilityIdentifierProgressBar);
  AFXSetAccessibilityIdentifier(korviaLogoView_.data(), AFXInstallerAccessibilityIdentifierKorviaLogoView);
  AFXSetAccessibilityIdentifier(statusTextField_.data(), AFXInstallerAccessibilityIdentifierInstallationStatusLabel);
  AFXSetAccessibilityIdentifier(paginationView_.data(), AFXInstallerAccessibilityIdentifierPaginationView);
}

bool AFXInstallationWindowController::checkVersionCompatibilityAndPresentErrorOtherwise() {
  const std::string systemVersion = environment_.systemVersion ? environment_.systemVersion() : std::string();
  const std::string& minimum = environment_.minimumSystemVersion;
  if (QVVersionComparator::compareVersion(systemVersion, minimum) != NSOrderedAscending) return true;
  const fnd::Error error = errorWithRecoveryAttemptBlock(
      afx_incompatibleAppMinOSVersion(minimum, systemVersion),
      [](const fnd::Error&, std::size_t) -> std::optional<fnd::Error> {
        fnd::Queue::main().async([] { AFXTerminateApplication(); });
        return std::nullopt;
      });
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  fnd::Queue::main().after(kVersionErrorDelay, [weak, error] {
    if (const auto controller = weak.lock()) {
      controller->errorPresentationController_->presentError(error, controller->window_);
    }
  });
  return false;
}

void AFXInstallationWindowController::startInstallation() {
  if (statusTextField_) {
    statusTextField_->setText(AFXQString(statusTextForInstallationState(installationManager_->state()).value_or("")));
  }
  if (progressBar_) progressBar_->setDoubleValue(0.0);
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  installationManager_->installWithProgressBlock(
      [weak](AFXInstallationState state, double progress) {
        onMainQueue(weak, [state, progress](AFXInstallationWindowController& controller) {
          controller.showProgress(state, progress);
        });
      },
      [weak](const std::optional<fnd::Error>& error) {
        onMainQueue(weak, [error](AFXInstallationWindowController& controller) {
          controller.installationDidFinish(error);
        });
      });
}

void AFXInstallationWindowController::showProgress(AFXInstallationState state, double progress) {
  if (progressBar_) progressBar_->setDoubleValue(progress);
  if (statusTextField_) statusTextField_->setText(AFXQString(statusTextForInstallationState(state).value_or("")));
}

void AFXInstallationWindowController::installationDidFinish(const std::optional<fnd::Error>& error) {
  QApplication::alert(window_, 0);
  if (error) {
    presentFailure();
  } else {
    showLaunchState();
  }
}

void AFXInstallationWindowController::presentFailure() {
  // The error's own text stays out of the alert: the default description
  // tells the user what to do.
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  AFXBeginSheetModal(AFXInstallationErrorAlert(std::nullopt), window_, [weak](int response) {
    const auto controller = weak.lock();
    if (!controller) return;
    if (response == AFXAlertFirstButtonReturn) {
      controller->installationManager_->retryAfterError();
      return;
    }
    controller->installationManager_->stopInstallationWithCallback([] {
      fnd::Queue::main().async([] { AFXTerminateApplication(); });
    });
  });
}

void AFXInstallationWindowController::showLaunchState() {
  if (stopButton_) stopButton_->hide();
  if (launchButton_) launchButton_->show();
  for (QWidget* faded : {static_cast<QWidget*>(statusTextField_.data()), static_cast<QWidget*>(progressBar_.data())}) {
    if (faded) AFXAnimateOpacity(faded, AFXOpacity(faded), 0, kFadeOutDurationMs, QEasingCurve(QEasingCurve::Linear), {});
  }
}

void AFXInstallationWindowController::stopInstallation() { AFXTerminateApplication(); }

void AFXInstallationWindowController::launch() {
  if (!installationManager_) return;
  installationManager_->launchWithCallback([](bool opened) {
    if (opened) fnd::Queue::main().async([] { AFXTerminateApplication(); });
  });
}

bool AFXInstallationWindowController::windowShouldClose() {
  fnd::Queue::main().async([] { AFXTerminateApplication(); });
  return false;
}

void AFXInstallationWindowController::checkCanCloseWindowWithCallback(std::function<void(bool canClose)> callback) {
  const AFXInstallationState state = installationManager_ ? installationManager_->state() : AFXInstallationStateIdle;
  if (state == AFXInstallationStateIdle || state == AFXInstallationStateReady) return callback(true);
  // A second request while the question is on screen waits for its answer.
  if (closeAlert_) return callback(false);
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  closeAlert_ = AFXInstallationIncompleteAlert();
  AFXBeginSheetModal(closeAlert_, window_, [weak, callback](int response) {
    const auto controller = weak.lock();
    if (!controller || response != AFXAlertSecondButtonReturn) return callback(false);
    controller->installationManager_->stopInstallationWithCallback([callback] {
      fnd::Queue::main().async([callback] { callback(true); });
    });
  });
}

std::optional<std::string> AFXInstallationWindowController::statusTextForInstallationState(AFXInstallationState state) {
  if (state >= AFXInstallationStateIdle && state <= AFXInstallationStateDownloadFailed) {
    return AFXInstallerLocalizedString("StatusTextFieldAppDownloading");
  }
  if (state >= AFXInstallationStateDownloaded && state <= AFXInstallationStatePreparingResources) {
    return AFXInstallerLocalizedString("StatusTextFieldAppInstalling");
  }
  if (state == AFXInstallationStateReady) return AFXInstallerLocalizedString("StatusTextFieldAppReady");
  return std::nullopt;
}

void AFXInstallationWindowController::scheduleSelectNextPage() {
  fnd::DateComponents interval;
  interval.seconds = kPageInterval;
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  selectNextPageScheduler_ = AFXScheduler::initWithAutomaticTriggeringThreshold(interval, interval, nullptr, [weak] {
    onMainQueue(weak, [](AFXInstallationWindowController& controller) { controller.selectNextPage(); });
  });
}

void AFXInstallationWindowController::selectNextPage() {
  // A page the user chose ends automatic paging, even if the scheduler had
  // already fired.
  if (!selectNextPageScheduler_ || !paginationView_) return;
  if (!paginationView_->selectNextPageWithUserAction(false)) endAutomaticPaging();
}

void AFXInstallationWindowController::endAutomaticPaging() {
  if (!selectNextPageScheduler_) return;
  selectNextPageScheduler_->updateEnabled(false);
  selectNextPageScheduler_.reset();
}

void AFXInstallationWindowController::paginationViewDidSelectPage(AFXPaginationView*, std::int64_t page,
                                                                  bool isUserAction) {
  // Other pages change nothing.
  switch (page) {
    case 0:
      setOnboardingContentView(AFXOnboardingContentView::firstScreenContentView());
      break;
    case 1:
      setOnboardingContentView(AFXOnboardingContentView::secondScreenContentView());
      break;
    case 2:
      setOnboardingContentView(AFXOnboardingContentView::thirdScreenContentView());
      break;
    default:
      break;
  }
  if (isUserAction) endAutomaticPaging();
}

void AFXInstallationWindowController::setOnboardingContentView(AFXOnboardingContentView* view) {
  if (!view || view == onboardingContentView_ || !onboardingViewPlaceholder_) return;
  if (paginationView_) paginationView_->setEnabled(false);
  const std::weak_ptr<AFXInstallationWindowController> weak = weak_from_this();
  auto group = AFXCompletionGroup::create([weak] {
    if (const auto controller = weak.lock(); controller && controller->paginationView_) {
      controller->paginationView_->setEnabled(true);
    }
  });
  QPointer<AFXOnboardingContentView> old = onboardingContentView_;
  onboardingContentView_ = view;
  QVEmbedView(onboardingViewPlaceholder_, view, QVWindowOrder::Below, old);
  if (old) {
    old->hideAnimated(true, [weak, old, done = group->part()] {
      // Removed from the window but kept: the user may page back to it. A
      // screen paged back to while it faded out stays.
      const auto controller = weak.lock();
      if (old && (!controller || controller->onboardingContentView_ != old)) {
        old->hide();
        old->setParent(nullptr);
      }
      done();
    });
  }
  view->show();
  view->showAnimated(true, group->part());
  group->seal();
}

void AFXInstallationWindowController::keyDown(int key) {
  if (!paginationView_) return;
  if (key == Qt::Key_Left) (void)paginationView_->selectPreviousPageWithUserAction(true);
  if (key == Qt::Key_Right) (void)paginationView_->selectNextPageWithUserAction(true);
}
