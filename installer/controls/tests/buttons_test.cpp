// The installer's buttons: which colours each state draws, the title's
// placement and truncation, the link colours and the hover cursor.

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "installer/controls/afx_colored_button.h"
#include "installer/controls/afx_dark_styled_button.h"
#include "installer/controls/afx_hover_button.h"
#include "installer/controls/afx_light_styled_button.h"
#include "installer/controls/afx_service_link_button.h"
#include "tools/ui/qv_color_extensions.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

class ButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override { qv_test::application(); }
};

QColor pixelAt(QWidget& widget, QPoint point) {
  const QImage image = widget.grab().toImage();
  const double scale = image.devicePixelRatio();
  return image.pixelColor(QPoint(static_cast<int>(point.x() * scale), static_cast<int>(point.y() * scale)));
}

TEST_F(ButtonsTest, ADisabledDarkButtonIsGreyWithAWhiteTitleAndPressingWinsOverDisabling) {
  AFXDarkStyledButton button;
  button.setText("Launch");
  button.resize(120, 32);
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0x2680FD));
  EXPECT_EQ(button.currentTitleColor(), QVColorWithRGBHex(0xFFFFFF));

  button.setEnabled(false);
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0xBABABA));
  EXPECT_EQ(button.currentTitleColor(), QVColorWithRGBHex(0xFFFFFF));
  // Drawn so: the fill away from the title and the corners.
  EXPECT_EQ(pixelAt(button, QPoint(4, 16)).rgb(), QColor(0xBA, 0xBA, 0xBA).rgb());

  button.setDown(true);
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0x0157CF));

  ASSERT_TRUE(button.titleFont().has_value());
  EXPECT_TRUE(button.titleFont()->bold());
  EXPECT_EQ(button.titleFont()->pointSizeF(), 13.0);
  EXPECT_EQ(button.cornerRadius(), 6.0);
}

TEST_F(ButtonsTest, PressingWithTheMouseHighlightsUntilRelease) {
  AFXLightStyledButton button;
  button.setText("Quit");
  button.resize(120, 32);
  button.show();
  qv_test::processEvents();
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(60, 16));
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0xEBEAEA));
  EXPECT_EQ(pixelAt(button, QPoint(4, 16)).rgb(), QColor(0xEB, 0xEA, 0xEA).rgb());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 16));
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0xFFFFFF));

  button.setEnabled(false);
  EXPECT_EQ(button.currentTitleColor().alphaF(), 0.8f);
}

TEST_F(ButtonsTest, UnsetColoursAreWhiteAndBlackAndTheShapeIsTheRoundedBounds) {
  AFXColoredButton button;
  button.resize(100, 30);
  EXPECT_EQ(button.currentFillColor(), QColor(Qt::white));
  button.setEnabled(false);
  EXPECT_EQ(button.currentTitleColor(), QColor(Qt::black));
  // Set only for the normal state: the other states still fall back.
  button.setFillColor(QVColorWithRGBHex(0x123456));
  EXPECT_EQ(button.currentFillColor(), QColor(Qt::white));
  button.setEnabled(true);
  EXPECT_EQ(button.currentFillColor(), QVColorWithRGBHex(0x123456));

  EXPECT_TRUE(button.fillButtonPath().contains(QPointF(1, 1)));
  button.setCornerRadius(10);
  EXPECT_FALSE(button.fillButtonPath().contains(QPointF(1, 1)));
  EXPECT_TRUE(button.fillButtonPath().contains(QPointF(10, 1)));
  EXPECT_EQ(button.focusRingMaskBounds(), QRectF(0, 0, 100, 30));
}

TEST_F(ButtonsTest, TheTitleIsCentredOnePointHighAndTruncatedInTheMiddle) {
  // An odd spare height leaves the extra point below, then the title rises
  // by one.
  EXPECT_EQ(AFXColoredButton::titleTextRectFor(QRectF(0, 0, 100, 30), 15), QRectF(0, 7, 100, 15));
  EXPECT_EQ(AFXColoredButton::titleTextRectFor(QRectF(0, 0, 100, 30), 16), QRectF(0, 6, 100, 16));

  AFXColoredButton button;
  button.resize(60, 30);
  button.setText("Installation of everything you asked for");
  const QString shown = button.displayedTitle();
  EXPECT_NE(shown, button.text());
  EXPECT_TRUE(shown.startsWith("Ins"));
  EXPECT_TRUE(shown.endsWith("r"));
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  button.resize(600, 30);
  EXPECT_EQ(button.displayedTitle(), button.text());
}

TEST_F(ButtonsTest, ALinkButtonDrawsItsTitleInTheLinkColours) {
  AFXServiceLinkButton link;
  link.setText("Terms of service");
  link.resize(link.sizeHint());
  EXPECT_EQ(link.currentTitleColor(), QVColorWithSRGBHex(0x15A2F7));
  link.setDown(true);
  EXPECT_EQ(link.currentTitleColor(), QVColorWithSRGBHex(0x1273AE));
  link.setSelectedTitleColor(QVColorWithSRGBHex(0x112233));
  EXPECT_EQ(link.currentTitleColor(), QVColorWithSRGBHex(0x112233));
  link.setDown(false);
  link.setTitleColor(QVColorWithSRGBHex(0x445566));
  link.setText("Privacy");
  EXPECT_EQ(link.currentTitleColor(), QVColorWithSRGBHex(0x445566));
  link.qv_setHasDarkBackground(true);
  EXPECT_TRUE(link.qv_hasDarkBackground());
}

TEST_F(ButtonsTest, AHoverButtonShowsThePointingHandOnlyWhileTracking) {
  // A window keeps its own cursor attribute; a child's is the button's.
  QWidget window;
  AFXHoverButton& button = *new AFXHoverButton(&window);
  EXPECT_FALSE(button.testAttribute(Qt::WA_SetCursor));
  button.setTrackingAreaEnabled(true);
  EXPECT_TRUE(button.testAttribute(Qt::WA_SetCursor));
  EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
  button.setTrackingAreaEnabled(false);
  EXPECT_FALSE(button.testAttribute(Qt::WA_SetCursor));

  // Resources set it by name.
  AFXServiceLinkButton link;
  link.setProperty("trackingAreaEnabled", true);
  EXPECT_TRUE(link.trackingAreaEnabled());
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
