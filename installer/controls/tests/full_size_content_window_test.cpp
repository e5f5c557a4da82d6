// The full-size-content window: content under its own title bar, the
// buttons' place, zoom against full screen, and moving it by its
// background.

#include "installer/controls/afx_full_size_content_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <QVBoxLayout>

#include "tools/ui/tests/qt_test_support.h"

namespace {

class FullSizeContentWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    content = new QWidget;
    column->addWidget(content);
    window.resize(400, 300);
    window.show();
    qv_test::processEvents();
  }

  // Before the window: no widget without the application.
  QApplication& application_ = qv_test::application();
  AFXFullSizeContentWindow window;
  QWidget* content = nullptr;
};

TEST_F(FullSizeContentWindowTest, TheContentFillsTheWindowUnderATransparentTitleStrip) {
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(content->geometry(), window.rect());
  QWidget* strip = window.emptyTitleBarAccessoryView();
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->geometry(), QRect(0, 0, 400, 18));
  EXPECT_EQ(window.contentLayoutRect(), QRect(0, 18, 400, 282));
  // Presses in the title area land on the strip, not the content.
  EXPECT_EQ(window.childAt(200, 9), strip);
  EXPECT_EQ(window.childAt(200, 40), content);

  QAbstractButton* close = window.standardWindowButton(AFXFullSizeContentWindow::WindowButton::Close);
  QAbstractButton* zoom = window.standardWindowButton(AFXFullSizeContentWindow::WindowButton::Zoom);
  EXPECT_EQ(close->pos(), QPoint(13, 7));
  EXPECT_EQ(window.childAt(close->geometry().center()), close);
  EXPECT_GT(zoom->x(), close->x());
  EXPECT_EQ(zoom->y(), 7);
}

TEST_F(FullSizeContentWindowTest, ZoomWithOptionZoomsAndWithoutItTogglesFullScreen) {
  window.zoomButtonAction(true);
  EXPECT_TRUE(window.isMaximized());
  EXPECT_FALSE(window.isFullScreen());
  window.zoomButtonAction(true);
  EXPECT_FALSE(window.isMaximized());

  window.zoomButtonAction(false);
  EXPECT_TRUE(window.isFullScreen());
  EXPECT_EQ(window.emptyTitleBarAccessoryView(), nullptr);
  EXPECT_EQ(window.contentLayoutRect().top(), 0);
  // In full screen Option makes no difference: the window leaves it.
  window.zoomButtonAction(true);
  EXPECT_FALSE(window.isFullScreen());
  EXPECT_FALSE(window.isMaximized());
  EXPECT_NE(window.emptyTitleBarAccessoryView(), nullptr);

  // The zoom button reads the keys held with its click.
  QAbstractButton* zoom = window.standardWindowButton(AFXFullSizeContentWindow::WindowButton::Zoom);
  QTest::mouseClick(zoom, Qt::LeftButton, Qt::AltModifier);
  EXPECT_TRUE(window.isMaximized());
  QTest::mouseClick(zoom, Qt::LeftButton, Qt::AltModifier);
  QTest::mouseClick(zoom, Qt::LeftButton);
  EXPECT_TRUE(window.isFullScreen());
  window.showNormal();
}

TEST_F(FullSizeContentWindowTest, TheStyleMaskEnablesTheButtonsItAllows) {
  using Window = AFXFullSizeContentWindow;
  EXPECT_TRUE(window.hasStyleMask(Window::StyleMaskTitled | Window::StyleMaskResizable));
  window.setStyleMask(Window::StyleMaskTitled | Window::StyleMaskClosable | Window::StyleMaskFullSizeContentView);
  EXPECT_FALSE(window.hasStyleMask(Window::StyleMaskTitled | Window::StyleMaskResizable));
  EXPECT_TRUE(window.hasStyleMask(Window::StyleMaskClosable));
  EXPECT_FALSE(window.standardWindowButton(Window::WindowButton::Zoom)->isEnabled());
  EXPECT_FALSE(window.standardWindowButton(Window::WindowButton::Miniaturize)->isEnabled());
  EXPECT_TRUE(window.standardWindowButton(Window::WindowButton::Close)->isEnabled());
  window.setStyleMask(Window::StyleMaskBorderless);
  EXPECT_TRUE(window.standardWindowButton(Window::WindowButton::Close)->isHidden());
}

TEST_F(FullSizeContentWindowTest, DraggingTheBackgroundMovesTheWindow) {
  window.move(100, 100);
  qv_test::processEvents();
  const QPoint start = window.pos();
  QWidget* strip = window.emptyTitleBarAccessoryView();
  QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(200, 9));
  QTest::mouseMove(strip, QPoint(250, 29));
  QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(250, 29));
  qv_test::processEvents();
  EXPECT_EQ(window.pos(), start + QPoint(50, 20));
}

}  // namespace
