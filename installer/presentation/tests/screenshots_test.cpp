// Pictures of the real window on an X server, saved for review: the three
// onboarding screens, a download under way, the failure alert and the
// "Launch" state.

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QScreen>

#include "foundation/error.h"
#include "installer/presentation/afx_installation_window_controller.h"
#include "installer/presentation/afx_installer_app_delegate.h"
#include "installer/presentation/tests/installation_test_double.h"
#include "installer/presentation/tests/presentation_test_support.h"

namespace {

using namespace std::chrono_literals;

class ScreenshotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prepareInstallerPresentation();
    AFXResetApplicationTermination();
    AFXSetTerminateNowHandler([] {});
    ASSERT_TRUE(QDir().mkpath(KORVIA_SCREENSHOTS_DIR));
    AFXInstallationWindowControllerEnvironment environment;
    environment.makeInstallationManager = [this](std::int64_t) -> std::shared_ptr<AFXInstallationManaging> {
      return installation_;
    };
    environment.systemVersion = [] { return std::string("12.0"); };
    delegate_ = std::make_unique<AFXInstallerAppDelegate>(std::move(environment));
    ASSERT_TRUE(delegate_->loadMainMenu());
    ASSERT_TRUE(delegate_->applicationDidFinishLaunching());
    window_ = delegate_->installationWindowController()->window();
    window_->move(20, 20);
    settle(100ms);
  }
  void TearDown() override {
    delegate_.reset();
    AFXSetApplicationDelegate(nullptr);
    AFXResetApplicationTermination();
  }

  void settle(std::chrono::milliseconds duration) {
    time_.advance(duration);
    qv_test::processEvents();
  }

  // What the screen shows over the window, sheets included.
  void save(const char* name) {
    qv_test::processEvents();
    QScreen* screen = window_->screen();
    ASSERT_NE(screen, nullptr);
    const QRect frame = window_->frameGeometry();
    const QPixmap picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    ASSERT_FALSE(picture.isNull()) << name;
    // Something is drawn: not one colour all over.
    const QImage image = picture.toImage();
    const QRgb corner = image.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; y += 7) {
      for (int x = 0; x < image.width() && !varied; x += 7) varied = image.pixel(x, y) != corner;
    }
    EXPECT_TRUE(varied) << name;
    const QString path = QString(KORVIA_SCREENSHOTS_DIR) + "/" + name + ".png";
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
  }

  qv_test::ManualTime time_;
  std::shared_ptr<ScriptedInstallation> installation_ = std::make_shared<ScriptedInstallation>();
  std::unique_ptr<AFXInstallerAppDelegate> delegate_;
  QWidget* window_ = nullptr;
};

TEST_F(ScreenshotsTest, TheThreeScreensADownloadTheFailureAlertAndTheLaunchState) {
  // Each page shows ten seconds after the one before; the pictures are taken
  // once each change has played.
  settle(1s);
  save("onboarding-1");
  settle(10500ms);
  ASSERT_EQ(delegate_->installationWindowController()->paginationView()->currentPageIndex(), 1);
  save("onboarding-2");
  settle(10500ms);
  ASSERT_EQ(delegate_->installationWindowController()->paginationView()->currentPageIndex(), 2);
  save("onboarding-3");

  installation_->report(1, 0.37);
  settle(500ms);
  save("downloading");

  installation_->finish(fnd::Error("NSURLErrorDomain", -1005));
  settle(500ms);
  ASSERT_NE(openAlert("installer.error-alert"), nullptr);
  save("failure-alert");
  openAlert("installer.error-alert")->findChild<QPushButton*>("installer.alert-default-button")->click();
  settle(200ms);

  installation_->report(9, 1.0);
  installation_->finish(std::nullopt);
  settle(1500ms);
  save("launch");
}

}  // namespace
