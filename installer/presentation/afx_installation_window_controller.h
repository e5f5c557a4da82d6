#pragma once

// The installer's only window: checks the system, runs the installation of
// the featured app, shows its state and progress, pages through the three
// onboarding screens every ten seconds until the user pages by hand, offers
// retry on failure and "Launch" on success, and guards quitting.
//
// Main thread only. The manager's reports and answers arrive on other
// threads and move to the main queue before touching a view.

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "installer/afx_installation_managing.h"
#include "installer/controls/afx_colorful_progress_indicator.h"
#include "installer/controls/afx_pagination_view.h"
#include "installer/presentation/afx_installer_resources.h"
#include "installer/presentation/afx_onboarding_content_view.h"
#include "tools/afx_scheduler.h"
#include "tools/ui/qv_error_presentation_controller.h"

// What the controller takes from its surroundings; tests replace parts.
struct AFXInstallationWindowControllerEnvironment {
  std::function<std::shared_ptr<AFXInstallationManaging>(std::int64_t appID)> makeInstallationManager;
  std::string minimumSystemVersion = std::string(AFXFeaturedAppMinimumSystemVersion);
  std::function<std::string()> systemVersion;
  // The installation manager for the app, this system's version.
  static AFXInstallationWindowControllerEnvironment standard();
};

class AFXInstallationWindowController final : public AFXPaginationViewDelegate,
                                              public std::enable_shared_from_this<AFXInstallationWindowController> {
  struct Token {};

 public:
  static constexpr std::chrono::milliseconds kVersionErrorDelay{500};
  static constexpr int kFadeOutDurationMs = 1000;
  static constexpr int kPageInterval = 10;

  // Loaded from the resource "AFXInstallationWindowController"; null when it
  // is missing or lacks its window.
  static std::shared_ptr<AFXInstallationWindowController> makeWindowController(
      AFXInstallationWindowControllerEnvironment environment = AFXInstallationWindowControllerEnvironment::standard());
  AFXInstallationWindowController(Token, QWidget* window, AFXInstallationWindowControllerEnvironment environment);
  ~AFXInstallationWindowController() override;

  QWidget* window() const { return window_; }
  QLabel* statusTextField() const { return statusTextField_; }
  AFXColorfulProgressIndicator* progressBar() const { return progressBar_; }
  QWidget* onboardingViewPlaceholder() const { return onboardingViewPlaceholder_; }
  QWidget* onboardingViewToPaginationViewConstraint() const { return onboardingViewToPaginationViewConstraint_; }
  AFXPaginationView* paginationView() const { return paginationView_; }
  QPushButton* stopButton() const { return stopButton_; }
  QPushButton* launchButton() const { return launchButton_; }
  QWidget* korviaLogoView() const { return korviaLogoView_; }
  AFXOnboardingContentView* onboardingContentView() const { return onboardingContentView_; }
  const std::shared_ptr<QVErrorPresentationController>& errorPresentationController() const {
    return errorPresentationController_;
  }
  const std::shared_ptr<AFXInstallationManaging>& installationManager() const { return installationManager_; }
  const std::shared_ptr<AFXScheduler>& selectNextPageScheduler() const { return selectNextPageScheduler_; }

  void showWindow();

  void windowDidLoad();
  void stopInstallation();
  void launch();
  // Always NO: the window closes only when the application ends.
  bool windowShouldClose();
  void checkCanCloseWindowWithCallback(std::function<void(bool canClose)> callback);
  void startInstallation();
  bool checkVersionCompatibilityAndPresentErrorOtherwise();
  void scheduleSelectNextPage();
  void selectNextPage();
  void setupAccessibilityAnchors();
  void setOnboardingContentView(AFXOnboardingContentView* view);
  static std::optional<std::string> statusTextForInstallationState(AFXInstallationState state);
  // Left and right arrows page backwards and forwards.
  void keyDown(int key);

  // AFXPaginationViewDelegate
  void paginationViewDidSelectPage(AFXPaginationView* view, std::int64_t page, bool isUserAction) override;

 private:
  void findOutlets();
  void showProgress(AFXInstallationState state, double progress);
  void installationDidFinish(const std::optional<fnd::Error>& error);
  void presentFailure();
  void showLaunchState();
  void endAutomaticPaging();

  QPointer<QWidget> window_;
  AFXInstallationWindowControllerEnvironment environment_;
  QPointer<QLabel> statusTextField_;
  QPointer<AFXColorfulProgressIndicator> progressBar_;
  QPointer<QWidget> onboardingViewPlaceholder_;
  QPointer<QWidget> onboardingViewToPaginationViewConstraint_;
  QPointer<AFXPaginationView> paginationView_;
  QPointer<QPushButton> stopButton_;
  QPointer<QPushButton> launchButton_;
  QPointer<QWidget> korviaLogoView_;
  QPointer<AFXOnboardingContentView> onboardingContentView_;
  std::shared_ptr<QVErrorPresentationController> errorPresentationController_;
  std::shared_ptr<AFXInstallationManaging> installationManager_;
  std::shared_ptr<AFXScheduler> selectNextPageScheduler_;
  QPointer<QMessageBox> closeAlert_;
};
