// The installer's window on a scripted installation and manual time: what it
// shows, how it pages, its alerts, and every way of quitting.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "foundation/error.h"
#include "installer/presentation/afx_installation_window_controller.h"
#include "installer/presentation/afx_installer_app_delegate.h"
#include "installer/presentation/tests/installation_test_double.h"
#include "installer/presentation/tests/presentation_test_support.h"

namespace {

using namespace std::chrono_literals;

class InstallationWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prepareInstallerPresentation();
    AFXResetApplicationTermination();
    AFXSetTerminateNowHandler([this] { ++terminations_; });
  }
  void TearDown() override {
    delegate_.reset();
    AFXSetApplicationDelegate(nullptr);
    AFXResetApplicationTermination();
    qv_test::processEvents();
  }

  AFXInstallationWindowControllerEnvironment environment(std::string systemVersion = "12.0") {
    AFXInstallationWindowControllerEnvironment made;
    made.makeInstallationManager = [this](std::int64_t appID) -> std::shared_ptr<AFXInstallationManaging> {
      madeForApp_ = appID;
      return installation_;
    };
    made.systemVersion = [systemVersion] { return systemVersion; };
    return made;
  }

  // The application as the program starts it.
  AFXInstallationWindowController& launch(std::string systemVersion = "12.0") {
    delegate_ = std::make_unique<AFXInstallerAppDelegate>(environment(std::move(systemVersion)));
    EXPECT_TRUE(delegate_->loadMainMenu());
    EXPECT_TRUE(delegate_->applicationDidFinishLaunching());
    qv_test::processEvents();
    return *delegate_->installationWindowController();
  }

  std::int64_t currentPage(AFXInstallationWindowController& controller) {
    return controller.paginationView()->currentPageIndex();
  }

  void click(QMessageBox* alert, const char* button) {
    ASSERT_NE(alert, nullptr);
    auto* target = alert->findChild<QPushButton*>(button);
    ASSERT_NE(target, nullptr) << button;
    target->click();
    qv_test::processEvents();
  }

  qv_test::ManualTime time_;
  std::shared_ptr<ScriptedInstallation> installation_ = std::make_shared<ScriptedInstallation>();
  std::unique_ptr<AFXInstallerAppDelegate> delegate_;
  std::int64_t madeForApp_ = 0;
  int terminations_ = 0;
};

TEST_F(InstallationWindowTest, TheWindowLoadsEveryOutletWithItsIdentifierAndStartsTheInstallation) {
  auto& controller = launch();
  ASSERT_NE(controller.window(), nullptr);
  EXPECT_EQ(controller.window()->objectName(), "installer-window");
  EXPECT_EQ(controller.window()->windowTitle(), "install-chronofold");
  EXPECT_EQ(controller.stopButton()->objectName(), "installer.stop-button");
  EXPECT_EQ(controller.launchButton()->objectName(), "installer.launch-button");
  EXPECT_EQ(controller.progressBar()->objectName(), "installer.progress-bar");
  EXPECT_EQ(controller.korviaLogoView()->objectName(), "installer.korvia-logo-view");
  EXPECT_EQ(controller.statusTextField()->objectName(), "installer.status-label");
  EXPECT_EQ(controller.paginationView()->objectName(), "installer.pagination-view");
  ASSERT_NE(controller.onboardingViewPlaceholder(), nullptr);
  ASSERT_NE(controller.onboardingViewToPaginationViewConstraint(), nullptr);
  EXPECT_EQ(controller.onboardingContentView(), AFXOnboardingContentView::firstScreenContentView());
  EXPECT_EQ(controller.onboardingContentView()->parentWidget(), controller.onboardingViewPlaceholder());
  // The range comes from the resource.
  EXPECT_EQ(controller.progressBar()->minValue(), 0.0);
  EXPECT_EQ(controller.progressBar()->maxValue(), 1.0);
  EXPECT_EQ(madeForApp_, 246);
  EXPECT_EQ(installation_->installs, 1);
  EXPECT_TRUE(controller.stopButton()->isVisible());
  EXPECT_FALSE(controller.launchButton()->isVisible());
  EXPECT_FALSE(delegate_->quitMenuItem()->text().isEmpty());
  EXPECT_TRUE(delegate_->quitMenuItem()->text().contains("install-chronofold"));
  EXPECT_TRUE(delegate_->aboutMenuItem()->text().contains("install-chronofold"));
}

TEST_F(InstallationWindowTest, StatusAndProgressFollowTheInstallation) {
  auto& controller = launch();
  const std::string downloading = AFXInstallationWindowController::statusTextForInstallationState(1).value();
  const std::string installing = AFXInstallationWindowController::statusTextForInstallationState(6).value();
  EXPECT_FALSE(downloading.empty());
  EXPECT_NE(downloading, installing);
  EXPECT_EQ(AFXInstallationWindowController::statusTextForInstallationState(2), downloading);
  EXPECT_EQ(AFXInstallationWindowController::statusTextForInstallationState(3), installing);
  EXPECT_EQ(AFXInstallationWindowController::statusTextForInstallationState(8), installing);
  EXPECT_EQ(AFXInstallationWindowController::statusTextForInstallationState(10), std::nullopt);
  EXPECT_EQ(AFXInstallationWindowController::statusTextForInstallationState(-1), std::nullopt);

  installation_->report(1, 0.12);
  qv_test::processEvents();
  EXPECT_DOUBLE_EQ(controller.progressBar()->doubleValue(), 0.12);
  EXPECT_EQ(controller.statusTextField()->text().toStdString(), downloading);
  installation_->report(6, 0.55);
  qv_test::processEvents();
  EXPECT_DOUBLE_EQ(controller.progressBar()->doubleValue(), 0.55);
  EXPECT_EQ(controller.statusTextField()->text().toStdString(), installing);
  installation_->report(42, 0.6);
  qv_test::processEvents();
  EXPECT_TRUE(controller.statusTextField()->text().isEmpty());
}

TEST_F(InstallationWindowTest, ScreensPageEveryTenSecondsAndStopAtTheLastWithoutWrapping) {
  auto& controller = launch();
  // Work the scheduler hands to other threads may land a little after its
  // time, so the checks leave half a second for it.
  time_.advance(9900ms);
  EXPECT_EQ(currentPage(controller), 0);
  time_.advance(600ms);
  EXPECT_EQ(currentPage(controller), 1);
  time_.advance(1s);
  EXPECT_EQ(controller.onboardingContentView(), AFXOnboardingContentView::secondScreenContentView());
  EXPECT_TRUE(controller.paginationView()->isEnabled()) << "enabled again once the change has played";
  // The scheduler counts each period from when its last one fired.
  time_.advance(9000ms);
  EXPECT_EQ(currentPage(controller), 2);
  // The next period finds no page after the last: paging ends there.
  time_.advance(30s);
  EXPECT_EQ(currentPage(controller), 2);
  EXPECT_EQ(controller.selectNextPageScheduler(), nullptr);
}

TEST_F(InstallationWindowTest, PagingByHandEndsAutomaticPagingForGood) {
  auto& controller = launch();
  time_.advance(10500ms);
  ASSERT_EQ(currentPage(controller), 1);
  time_.advance(1s);
  QTest::keyClick(controller.window(), Qt::Key_Left);
  qv_test::processEvents();
  EXPECT_EQ(currentPage(controller), 0);
  EXPECT_EQ(controller.selectNextPageScheduler(), nullptr);
  time_.advance(40s);
  EXPECT_EQ(currentPage(controller), 0);
  QTest::keyClick(controller.window(), Qt::Key_Right);
  qv_test::processEvents();
  EXPECT_EQ(currentPage(controller), 1);
  // While the change plays, the selector takes no further page.
  QTest::keyClick(controller.window(), Qt::Key_Right);
  EXPECT_EQ(currentPage(controller), 1);
  time_.advance(1s);
  QTest::keyClick(controller.window(), Qt::Key_Right);
  EXPECT_EQ(currentPage(controller), 2);
}

TEST_F(InstallationWindowTest, ChoosingTheShownPageKeepsItsScreenButEndsAutomaticPaging) {
  auto& controller = launch();
  auto* shown = controller.onboardingContentView();
  controller.paginationViewDidSelectPage(controller.paginationView(), 0, true);
  EXPECT_EQ(controller.onboardingContentView(), shown);
  EXPECT_TRUE(controller.paginationView()->isEnabled());
  EXPECT_EQ(controller.selectNextPageScheduler(), nullptr);
  time_.advance(15s);
  EXPECT_EQ(currentPage(controller), 0);
}

TEST_F(InstallationWindowTest, QuittingWhileIdleOrReadyEndsAtOnceWithoutAnAlert) {
  launch();
  delegate_->quitMenuItem()->trigger();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 1);
  EXPECT_EQ(openAlert("installer.incomplete-alert"), nullptr);
  EXPECT_EQ(installation_->stops, 0);
}

TEST_F(InstallationWindowTest, QuittingOnceReadyEndsAtOnceWithoutAnAlert) {
  launch();
  installation_->report(9, 1.0);
  installation_->finish(std::nullopt);
  qv_test::processEvents();
  delegate_->quitMenuItem()->trigger();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 1);
  EXPECT_EQ(openAlert("installer.incomplete-alert"), nullptr);
  EXPECT_EQ(installation_->stops, 0);
}

TEST_F(InstallationWindowTest, QuittingMidInstallationAsksAndContinuingKeepsItRunning) {
  auto& controller = launch();
  installation_->report(1, 0.2);
  qv_test::processEvents();
  controller.window()->close();
  qv_test::processEvents();
  EXPECT_TRUE(controller.window()->isVisible()) << "the window never closes by itself";
  QMessageBox* alert = openAlert("installer.incomplete-alert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  EXPECT_EQ(alert->icon(), QMessageBox::Warning);
  click(alert, "installer.alert-default-button");
  EXPECT_EQ(terminations_, 0);
  EXPECT_EQ(installation_->stops, 0);

  // Escape keeps the installation going too: quitting takes a click.
  delegate_->quitMenuItem()->trigger();
  qv_test::processEvents();
  alert = openAlert("installer.incomplete-alert");
  ASSERT_NE(alert, nullptr);
  QTest::keyClick(alert, Qt::Key_Escape);
  qv_test::processEvents();
  EXPECT_EQ(openAlert("installer.incomplete-alert"), nullptr);
  EXPECT_EQ(installation_->stops, 0);

  // A later quit asks again; quitting stops, and ends once the stop is done.
  controller.stopButton()->click();
  qv_test::processEvents();
  click(openAlert("installer.incomplete-alert"), "installer.alert-alter-button");
  EXPECT_EQ(installation_->stops, 1);
  EXPECT_EQ(terminations_, 0);
  installation_->completeStop();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 1);
}

TEST_F(InstallationWindowTest, AFailureAlertRetriesOrStopsAndQuits) {
  auto& controller = launch();
  installation_->report(2, 0.1);
  installation_->finish(fnd::Error("NSURLErrorDomain", -1001));
  qv_test::processEvents();
  QMessageBox* alert = openAlert("installer.error-alert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->icon(), QMessageBox::Critical);
  EXPECT_FALSE(alert->informativeText().isEmpty());
  EXPECT_FALSE(alert->informativeText().contains("-1001")) << "the default description, not the error's";
  click(alert, "installer.alert-default-button");
  EXPECT_EQ(installation_->retries, 1);

  installation_->finish(fnd::Error("NSURLErrorDomain", -1001));
  qv_test::processEvents();
  click(openAlert("installer.error-alert"), "installer.alert-alter-button");
  EXPECT_EQ(installation_->stops, 1);
  installation_->completeStop();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 1);
  (void)controller;
}

TEST_F(InstallationWindowTest, SuccessOffersLaunchWhichQuitsOnceTheClientOpenedTheApp) {
  auto& controller = launch();
  installation_->report(9, 1.0);
  installation_->finish(std::nullopt);
  qv_test::processEvents();
  EXPECT_FALSE(controller.stopButton()->isVisible());
  EXPECT_TRUE(controller.launchButton()->isVisible());
  time_.advance(1100ms);
  EXPECT_DOUBLE_EQ(AFXOpacity(controller.progressBar()), 0.0);
  EXPECT_DOUBLE_EQ(AFXOpacity(controller.statusTextField()), 0.0);

  installation_->launchAnswer = false;
  controller.launchButton()->click();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 0) << "a launch that answers NO leaves the window";
  installation_->launchAnswer = true;
  controller.launchButton()->click();
  qv_test::processEvents();
  EXPECT_EQ(installation_->launches, 2);
  EXPECT_EQ(terminations_, 1);
}

TEST_F(InstallationWindowTest, AnOlderSystemShowsTheVersionErrorWhoseRecoveryQuits) {
  delegate_ = std::make_unique<AFXInstallerAppDelegate>([this] {
    auto made = environment("10.0");
    made.minimumSystemVersion = "11.2";
    return made;
  }());
  ASSERT_TRUE(delegate_->applicationDidFinishLaunching());
  qv_test::processEvents();
  EXPECT_EQ(installation_->installs, 0);
  EXPECT_EQ(delegate_->installationWindowController()->installationManager(), nullptr);
  EXPECT_EQ(delegate_->installationWindowController()->selectNextPageScheduler(), nullptr);
  QMessageBox* shown = nullptr;
  const auto findVersionAlert = [&] {
    for (QWidget* widget : QApplication::allWidgets()) {
      if (auto* box = dynamic_cast<QMessageBox*>(widget); box && box->isVisible()) shown = box;
    }
  };
  time_.advance(400ms);
  findVersionAlert();
  EXPECT_EQ(shown, nullptr) << "presented half a second later";
  time_.advance(200ms);
  findVersionAlert();
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->text().contains("11.2") || shown->informativeText().contains("11.2"));
  shown->buttons().front()->click();
  qv_test::processEvents();
  EXPECT_EQ(terminations_, 1);
}

TEST_F(InstallationWindowTest, TheBuildsMinimumNullLetsANumericSystemInstall) {
  delegate_ = std::make_unique<AFXInstallerAppDelegate>(environment("13.4.1"));
  ASSERT_TRUE(delegate_->applicationDidFinishLaunching());
  EXPECT_EQ(installation_->installs, 1);
}

}  // namespace
