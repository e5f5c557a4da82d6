// The onboarding screens: what they load and show, and their animations on
// manual time.

#include <gtest/gtest.h>

#include <QLayout>

#include "installer/presentation/afx_first_screen_top_pane_view.h"
#include "installer/presentation/afx_installer_extensions.h"
#include "installer/presentation/afx_onboarding_content_view.h"
#include "installer/presentation/afx_second_screen_top_pane_view.h"
#include "installer/presentation/afx_third_screen_top_pane_view.h"
#include "installer/presentation/tests/presentation_test_support.h"

namespace {

using namespace std::chrono_literals;

class OnboardingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prepareInstallerPresentation();
    window_.resize(700, 460);
    window_.setLayout(new QVBoxLayout);
  }
  // Shows a screen in the window, laid out.
  void place(AFXOnboardingContentView* screen) {
    window_.layout()->addWidget(screen);
    window_.show();
    qv_test::processEvents();
  }

  qv_test::ManualTime time_;
  QWidget window_;
};

TEST_F(OnboardingTest, EachScreenLoadsItsPaneTextsAndIdentifiersOnceAndIsReused) {
  auto* first = AFXOnboardingContentView::firstScreenContentView();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, AFXOnboardingContentView::firstScreenContentView());
  EXPECT_EQ(first->objectName(), "installer.onboarding-content-view");
  ASSERT_NE(first->titleField(), nullptr);
  EXPECT_EQ(first->titleField()->objectName(), "installer.onboarding-title");
  EXPECT_EQ(first->descriptionField()->objectName(), "installer.onboarding-description");
  EXPECT_TRUE(first->titleField()->text().contains("Chronofold"));
  EXPECT_TRUE(first->descriptionField()->text().contains("Chronofold"));
  auto* pane = dynamic_cast<AFXFirstScreenTopPaneView*>(first->topPaneView());
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->objectName(), "installer.onboarding-top-pane");
  EXPECT_EQ(pane->iconView()->objectName(), "installer.onboarding-top-pane-icon");
  EXPECT_EQ(pane->parentWidget(), first->topPanePlaceholderView());

  auto* second = AFXOnboardingContentView::secondScreenContentView();
  auto* third = AFXOnboardingContentView::thirdScreenContentView();
  ASSERT_NE(second, nullptr);
  ASSERT_NE(third, nullptr);
  EXPECT_NE(second, first);
  EXPECT_FALSE(second->titleField()->text().isEmpty());
  EXPECT_NE(second->titleField()->text(), third->titleField()->text());
  EXPECT_NE(dynamic_cast<AFXSecondScreenTopPaneView*>(second->topPaneView()), nullptr);
  EXPECT_NE(dynamic_cast<AFXThirdScreenTopPaneView*>(third->topPaneView()), nullptr);
}

TEST_F(OnboardingTest, EveryPictureIsResizedToItsOwnViewsBounds) {
  auto* second = AFXOnboardingContentView::secondScreenContentView();
  place(second);
  second->showAnimated(false, [] {});
  qv_test::processEvents();
  auto* pane = dynamic_cast<AFXSecondScreenTopPaneView*>(second->topPaneView());
  ASSERT_NE(pane, nullptr);
  for (int number = 1; number <= 12; ++number) {
    AFXImageView* view = pane->appView(number);
    ASSERT_NE(view, nullptr) << number;
    EXPECT_FALSE(view->sourceImage().isNull()) << number;
    EXPECT_EQ(view->pixmap().size(), view->size()) << number;
  }
  EXPECT_EQ(pane->appView(13), nullptr);
  EXPECT_FALSE(AFXResizedImageWithSize(QImage(), QSize(10, 10)).has_value());
  const auto resized = AFXResizedImageWithSize(pane->appView(1)->sourceImage(), QSize(17, 9));
  ASSERT_TRUE(resized.has_value());
  EXPECT_EQ(resized->size(), QSize(17, 9));
}

TEST_F(OnboardingTest, HidingWithoutAnimationCompletesBeforeReturningAndShowingCompletesOnceAfterBothHalves) {
  auto* first = AFXOnboardingContentView::firstScreenContentView();
  place(first);
  bool hidden = false;
  first->hideAnimated(false, [&] { hidden = true; });
  EXPECT_TRUE(hidden);

  int shown = 0;
  first->showAnimated(true, [&] { ++shown; });
  time_.advance(200ms);
  EXPECT_EQ(shown, 0) << "the labels and the icon take 0.3 s";
  time_.advance(200ms);
  EXPECT_EQ(shown, 1);
  time_.advance(1s);
  EXPECT_EQ(shown, 1);
  auto* pane = dynamic_cast<AFXFirstScreenTopPaneView*>(first->topPaneView());
  EXPECT_TRUE(pane->iconViewPlaceholder()->isVisible());
  EXPECT_DOUBLE_EQ(AFXOpacity(first->labelsContainerView()), 1.0);
}

TEST_F(OnboardingTest, TheFirstPaneGrowsItsIconFromFifteenInsideAndHidingLeavesThePaneVisible) {
  auto* first = AFXOnboardingContentView::firstScreenContentView();
  place(first);
  auto* pane = dynamic_cast<AFXFirstScreenTopPaneView*>(first->topPaneView());
  ASSERT_NE(pane, nullptr);
  const QRect frame(pane->iconViewPlaceholder()->mapTo(pane, QPoint(0, 0)), pane->iconViewPlaceholder()->size());
  bool shown = false;
  pane->showAnimated(true, [&] { shown = true; });
  // The stand-in starts 15 inside the icon's frame.
  QLabel* snapshot = nullptr;
  for (QLabel* label : pane->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label->isVisible() && label->hasScaledContents()) snapshot = label;
  }
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(snapshot->geometry(), frame.adjusted(15, 15, -15, -15));
  EXPECT_FALSE(pane->iconViewPlaceholder()->isVisible());
  time_.advance(350ms);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(pane->iconViewPlaceholder()->isVisible());

  bool hidden = false;
  pane->hideAnimated(true, [&] { hidden = true; });
  time_.advance(350ms);
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(pane->isVisible());
  EXPECT_FALSE(pane->iconViewPlaceholder()->isVisible());
  // Shown again, it plays from the start.
  shown = false;
  pane->showAnimated(true, [&] { shown = true; });
  EXPECT_FALSE(pane->iconViewPlaceholder()->isVisible());
  time_.advance(350ms);
  EXPECT_TRUE(shown);
}

TEST_F(OnboardingTest, TheThirdPaneWaitsThenGrowsItsIconAndSlidesItsPartsInAfterIt) {
  auto* third = AFXOnboardingContentView::thirdScreenContentView();
  place(third);
  auto* pane = dynamic_cast<AFXThirdScreenTopPaneView*>(third->topPaneView());
  ASSERT_NE(pane, nullptr);
  bool shown = false;
  pane->showAnimated(true, [&] { shown = true; });
  EXPECT_FALSE(pane->iconView()->isVisible());
  EXPECT_FALSE(pane->leftPartContainer()->isVisible());
  time_.advance(250ms);
  EXPECT_FALSE(pane->iconView()->isVisible()) << "nothing before 0.3 s";
  // 0.3 delay + 0.1 + 0.6 for the parts: about one second in all.
  time_.advance(600ms);
  EXPECT_FALSE(shown);
  time_.advance(250ms);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(pane->iconView()->isVisible());
  EXPECT_TRUE(pane->leftPartContainer()->isVisible());
  EXPECT_TRUE(pane->rightPartContainer()->isVisible());
  EXPECT_TRUE(pane->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).size() <= 1) << "stand-ins are gone";

  bool hidden = false;
  pane->hideAnimated(true, [&] { hidden = true; });
  time_.advance(350ms);
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(pane->isVisible());
  EXPECT_FALSE(pane->iconView()->isVisible());
  EXPECT_FALSE(pane->leftPartContainer()->isVisible());
}

TEST_F(OnboardingTest, TheSecondPaneShowsItsIconAtOnceAndOnlySlidesItsParts) {
  auto* second = AFXOnboardingContentView::secondScreenContentView();
  place(second);
  auto* pane = dynamic_cast<AFXSecondScreenTopPaneView*>(second->topPaneView());
  bool shown = false;
  pane->showAnimated(true, [&] { shown = true; });
  time_.advance(20ms);
  EXPECT_TRUE(pane->iconView()->isVisible());
  EXPECT_FALSE(pane->leftPartContainer()->isVisible());
  time_.advance(650ms);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(pane->leftPartContainer()->isVisible());
}

}  // namespace
