// The progress bar: what it fills for a value and range, when value changes
// animate, and the indeterminate sweep's life with its window.

#include "installer/controls/afx_colorful_progress_indicator.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QVariantAnimation>
#include <QVBoxLayout>
#include <chrono>

#include "tools/ui/qv_color_extensions.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

using namespace std::chrono_literals;

class ProgressIndicatorTest : public ::testing::Test {
 protected:
  void SetUp() override { qv_test::application(); }
};

// A shown window holding a 200 × 6 bar.
struct ShownBar {
  QWidget window;
  AFXColorfulProgressIndicator* bar = new AFXColorfulProgressIndicator;

  ShownBar() {
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(bar);
    window.resize(200, 6);
    window.show();
    qv_test::processEvents();
  }
};

TEST_F(ProgressIndicatorTest, TheFilledPartFollowsTheValueWithinItsRange) {
  AFXColorfulProgressIndicator bar;
  bar.resize(200, 6);
  bar.setColorValue(QVColorWithSRGBHex(0x2680FD));
  bar.setBackgroundColorValue(QVColorWithSRGBHex(0xEEEEEE));

  // No range: nothing is filled, whatever the value.
  bar.setDoubleValue(5);
  EXPECT_EQ(bar.foregroundLayerFrame().width(), 0.0);

  bar.setMaxValue(1);
  bar.setDoubleValue(0.3);
  EXPECT_EQ(bar.foregroundLayerFrame(), QRectF(0, 0, 60, 6));
  EXPECT_EQ(bar.foregroundLayer().cornerRadius, 3.0);
  EXPECT_EQ(bar.foregroundLayer().backgroundColor, QVColorWithSRGBHex(0x2680FD));
  EXPECT_EQ(bar.backgroundLayerFrame(), QRectF(0, 0, 200, 6));
  EXPECT_EQ(bar.backgroundLayer().cornerRadius, 3.0);

  bar.setDoubleValue(3);
  EXPECT_EQ(bar.foregroundLayerFrame(), QRectF(0, 0, 200, 6));
  bar.setDoubleValue(-0.5);
  EXPECT_EQ(bar.foregroundLayerFrame().width(), 0.0);

  // A reversed range is no range.
  bar.setDoubleValue(0.5);
  bar.setMinValue(2);
  EXPECT_EQ(bar.foregroundLayerFrame().width(), 0.0);

  // The frame follows the bounds (a hidden widget hears of its size when
  // shown).
  bar.setMinValue(0);
  bar.show();
  bar.resize(100, 6);
  EXPECT_EQ(bar.foregroundLayerFrame(), QRectF(0, 0, 50, 6));
}

TEST_F(ProgressIndicatorTest, ABarOutsideAnyWindowChangesWithoutAnimation) {
  qv_test::ManualTime time;
  AFXColorfulProgressIndicator loose;
  QWidget neverShown;
  auto* inHiddenParent = new AFXColorfulProgressIndicator(&neverShown);
  for (AFXColorfulProgressIndicator* bar : {&loose, inHiddenParent}) {
    bar->resize(200, 6);
    bar->setMaxValue(1);
    bar->setDoubleValue(0.5);
    EXPECT_FALSE(bar->isInWindow());
    EXPECT_FALSE(bar->isAnimatingValueChange());
    EXPECT_EQ(bar->presentedForegroundFrame(), QRectF(0, 0, 100, 6));
  }
}

TEST_F(ProgressIndicatorTest, InAWindowAValueChangeSlidesOverAQuarterSecondUnlessAnimationIsOff) {
  qv_test::ManualTime time;
  ShownBar shown;
  AFXColorfulProgressIndicator& bar = *shown.bar;
  ASSERT_EQ(bar.width(), 200);
  bar.setMaxValue(1);
  bar.setDoubleValue(1);
  // The model is there at once; what is drawn follows.
  EXPECT_EQ(bar.foregroundLayerFrame().width(), 200.0);
  EXPECT_TRUE(bar.isAnimatingValueChange());
  time.advance(128ms);
  EXPECT_GT(bar.presentedFraction(), 0.3);
  EXPECT_LT(bar.presentedFraction(), 0.7);
  // Redirected half-way: it heads for the new value from where it is.
  bar.setDoubleValue(0.25);
  const double from = bar.presentedFraction();
  EXPECT_GT(from, 0.3);
  time.advance(300ms);
  EXPECT_FALSE(bar.isAnimatingValueChange());
  EXPECT_EQ(bar.presentedForegroundFrame(), QRectF(0, 0, 50, 6));

  bar.setAnimates(false);
  bar.setDoubleValue(0.75);
  EXPECT_FALSE(bar.isAnimatingValueChange());
  EXPECT_EQ(bar.presentedFraction(), 0.75);
}

TEST_F(ProgressIndicatorTest, TheIndeterminateGradientSlidesUnderAFixedCapsuleMask) {
  AFXColorfulProgressIndicator bar;
  bar.resize(200, 6);
  bar.setIndeterminate(true);
  EXPECT_TRUE(bar.backgroundLayer().hidden);
  EXPECT_TRUE(bar.foregroundLayer().hidden);
  EXPECT_FALSE(bar.animatingLayer().hidden);
  EXPECT_FALSE(bar.animatingMaskLayer().hidden);
  // No window: no sweep.
  EXPECT_FALSE(bar.isAnimating());

  const QColor blue = QVColorWithSRGBHex(0x027CFF);
  const QColor light = QVColorWithRGBHex(0x71B8FF);
  EXPECT_EQ(bar.animatingLayer().colors, (std::vector<QColor>{blue, light, blue, light, blue}));
  EXPECT_EQ(bar.animatingLayer().locations, (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  EXPECT_EQ(bar.gradientLayerFrame(), QRectF(-200, 0, 400, 6));

  // The phase is only drawn while a sweep runs; a redisplay shows it.
  bar.setAnimationProgress(2.25);
  bar.updateLayer();
  EXPECT_EQ(bar.gradientLayerFrame(), QRectF(-150, 0, 400, 6));
  // In the gradient's coordinates the mask stays over the bar.
  EXPECT_EQ(bar.maskLayerFrame(), QRectF(150, 0, 200, 6));
  EXPECT_EQ(bar.animatingMaskLayer().cornerRadius, 3.0);

  bar.setIndeterminate(false);
  EXPECT_EQ(bar.animationProgress(), 0.0);
  EXPECT_TRUE(bar.animatingLayer().hidden);
  EXPECT_FALSE(bar.foregroundLayer().hidden);
}

TEST_F(ProgressIndicatorTest, TheSweepRunsOnlyWhileTheWindowIsVisibleAndResumesWithTheTimeLeft) {
  qv_test::ManualTime time;
  ShownBar shown;
  AFXColorfulProgressIndicator& bar = *shown.bar;
  bar.setIndeterminate(true);
  EXPECT_TRUE(bar.isAnimating());
  EXPECT_FALSE(bar.wantsToAnimate());
  time.advance(512ms);
  EXPECT_NEAR(bar.animationProgress(), 0.5, 0.03);
  EXPECT_NEAR(bar.gradientLayerFrame().x(), (bar.animationProgress() - 1.0) * 200, 0.01);

  shown.window.hide();
  EXPECT_FALSE(bar.isAnimating());
  const double stoppedAt = bar.animationProgress();
  time.advance(1000ms);
  EXPECT_EQ(bar.animationProgress(), stoppedAt);

  // About half a sweep was left: about half a second ends it, then the next
  // one runs at the same speed.
  shown.window.show();
  EXPECT_TRUE(bar.isAnimating());
  time.advance(std::chrono::milliseconds(static_cast<int>((1.0 - stoppedAt) * 1000) + 32));
  EXPECT_GE(bar.animationProgress(), 1.0);
  EXPECT_LT(bar.animationProgress(), 1.05);
  EXPECT_TRUE(bar.isAnimating());
  const double nextSweep = bar.animationProgress();
  time.advance(256ms);
  EXPECT_NEAR(bar.animationProgress(), nextSweep + 0.256, 0.02);

  // A minimised window is not visible either.
  shown.window.showMinimized();
  qv_test::processEvents();
  EXPECT_FALSE(bar.isAnimating());
  shown.window.showNormal();
  qv_test::processEvents();
  EXPECT_TRUE(bar.isAnimating());

  bar.setIndeterminate(false);
  EXPECT_FALSE(bar.isAnimating());
  const double progress = bar.animationProgress();
  time.advance(500ms);
  EXPECT_EQ(bar.animationProgress(), progress);

  // The window goes away in the middle of a sweep.
  bar.setIndeterminate(true);
  time.advance(100ms);
  EXPECT_TRUE(bar.isAnimating());
}

TEST_F(ProgressIndicatorTest, ABarMovedIntoAShownWindowStartsSweeping) {
  qv_test::ManualTime time;
  QWidget window;
  window.resize(200, 20);
  window.show();
  AFXColorfulProgressIndicator bar;
  bar.setIndeterminate(true);
  EXPECT_FALSE(bar.isAnimating());
  bar.setParent(&window);
  EXPECT_TRUE(bar.isAnimating());
  window.hide();
  EXPECT_FALSE(bar.isAnimating());
  bar.setParent(nullptr);
}

TEST_F(ProgressIndicatorTest, ItIsSixPointsHighAndReadsAsAProgressBar) {
  AFXColorfulProgressIndicator bar;
  EXPECT_EQ(bar.sizeHint().height(), 6);
  EXPECT_LT(bar.sizeHint().width(), 0);
  EXPECT_EQ(bar.minimumSizeHint().height(), 6);

  bar.setMaxValue(1);
  bar.setDoubleValue(0.3);
  EXPECT_EQ(bar.accessibilityValue(), 0.3);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&bar);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
  ASSERT_NE(accessible->valueInterface(), nullptr);
  EXPECT_EQ(accessible->valueInterface()->currentValue().toDouble(), 0.3);
  EXPECT_EQ(accessible->valueInterface()->maximumValue().toDouble(), 1.0);
}

}  // namespace
