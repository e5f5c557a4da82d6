// The page selector: its row, moving through the pages, what the delegate
// hears, and what a disabled row refuses.

#include "installer/controls/afx_pagination_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <tuple>
#include <vector>

#include "installer/controls/afx_installer_controls.h"
#include "installer/controls/afx_layer_view.h"
#include "installer/controls/tests/controls_test_support.h"
#include "tools/ui/qv_color_extensions.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

class RecordingDelegate final : public AFXPaginationViewDelegate {
 public:
  void paginationViewDidSelectPage(AFXPaginationView* view, std::int64_t page, bool isUserAction) override {
    reports.emplace_back(view, page, isUserAction);
  }
  std::vector<std::tuple<AFXPaginationView*, std::int64_t, bool>> reports;
};

class PaginationViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv_test::application();
    AFXRegisterInstallerControlClasses();
    pages = std::make_unique<AFXPaginationView>(nullptr, controls_test::installerResourcesBundle());
    pages->setDelegate(delegate);
    pages->resize(300, 40);
    pages->show();
    qv_test::processEvents();
  }

  // The index of the one highlighted number, -1 when none or several are.
  std::int64_t highlighted() const {
    std::int64_t found = -1;
    const auto& views = pages->pageNumberViews();
    for (std::size_t index = 0; index < views.size(); ++index) {
      const bool shown = !views[index]->selectedBackgroundView()->isHidden();
      if (shown != views[index]->isSelected()) return -1;
      if (!shown) continue;
      if (found != -1) return -1;
      found = static_cast<std::int64_t>(index);
    }
    return found;
  }

  void click(std::int64_t index) {
    QTest::mouseClick(pages->pageNumberViews().at(static_cast<std::size_t>(index)), Qt::LeftButton);
    qv_test::processEvents();
  }

  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::unique_ptr<AFXPaginationView> pages;
};

TEST_F(PaginationViewTest, AfterCreationTheRowShowsOneTwoThreeWithOneHighlighted) {
  EXPECT_EQ(pages->pagesCount(), 3);
  EXPECT_EQ(pages->currentPageIndex(), 0);
  EXPECT_TRUE(pages->isEnabled());
  const auto& views = pages->pageNumberViews();
  ASSERT_EQ(views.size(), 3u);
  for (std::size_t index = 0; index < views.size(); ++index) {
    ASSERT_NE(views[index], nullptr);
    ASSERT_NE(views[index]->pageNumberLabel(), nullptr);
    ASSERT_NE(views[index]->selectedBackgroundView(), nullptr);
    EXPECT_EQ(views[index]->pageNumberLabel()->text(), QString::number(index + 1));
    EXPECT_EQ(views[index]->selectedBackgroundView()->backgroundColor(), QVColorWithSRGBHex(0xF3F3F3));
    EXPECT_EQ(views[index]->parentWidget(), pages->pagesContainer());
  }
  EXPECT_EQ(highlighted(), 0);
  EXPECT_EQ(views[0]->pageNumberLabel()->palette().color(QPalette::WindowText), QVColorWithSRGBHex(0x2680FD));
  EXPECT_EQ(views[1]->pageNumberLabel()->palette().color(QPalette::WindowText), QColor(Qt::black));

  // A circle, packed at the leading edge without spacing.
  AFXLayerView* highlight = views[0]->selectedBackgroundView();
  EXPECT_EQ(highlight->cornerRadius(), views[0]->height() / 2.0);
  EXPECT_EQ(views[0]->geometry().x(), 0);
  EXPECT_EQ(views[1]->geometry().x(), views[0]->geometry().right() + 1);
  EXPECT_TRUE(delegate->reports.empty());
}

TEST_F(PaginationViewTest, NextAndPreviousStopAtTheEndsAndReportOnlyRealMoves) {
  EXPECT_FALSE(pages->selectPreviousPageWithUserAction(true));
  EXPECT_TRUE(pages->selectNextPageWithUserAction(true));
  EXPECT_TRUE(pages->selectNextPageWithUserAction(false));
  EXPECT_FALSE(pages->selectNextPageWithUserAction(true));
  EXPECT_EQ(pages->currentPageIndex(), 2);
  EXPECT_EQ(highlighted(), 2);
  EXPECT_TRUE(pages->selectPreviousPageWithUserAction(false));
  EXPECT_EQ(highlighted(), 1);
  using Report = std::tuple<AFXPaginationView*, std::int64_t, bool>;
  EXPECT_EQ(delegate->reports,
            (std::vector<Report>{{pages.get(), 1, true}, {pages.get(), 2, false}, {pages.get(), 1, false}}));

  // Setting the index moves the highlight without a report; out of range it
  // does nothing.
  delegate->reports.clear();
  pages->setCurrentPageIndex(0);
  pages->setCurrentPageIndex(3);
  pages->setCurrentPageIndex(-1);
  EXPECT_EQ(pages->currentPageIndex(), 0);
  EXPECT_EQ(highlighted(), 0);
  EXPECT_TRUE(delegate->reports.empty());
}

TEST_F(PaginationViewTest, ClicksChooseAPageAndTheCurrentOneIsReportedAgainUnchanged) {
  click(2);
  EXPECT_EQ(pages->currentPageIndex(), 2);
  EXPECT_EQ(highlighted(), 2);
  click(2);
  EXPECT_EQ(highlighted(), 2);
  using Report = std::tuple<AFXPaginationView*, std::int64_t, bool>;
  EXPECT_EQ(delegate->reports, (std::vector<Report>{{pages.get(), 2, true}, {pages.get(), 2, true}}));
}

TEST_F(PaginationViewTest, ADisabledRowRefusesRequestsAndClicks) {
  pages->setEnabled(false);
  EXPECT_FALSE(pages->selectNextPageWithUserAction(true));
  EXPECT_FALSE(pages->selectPreviousPageWithUserAction(true));
  pages->setCurrentPageIndex(1);
  click(2);
  pages->pageNumberViewWasSelected(pages->pageNumberViews()[1]);
  EXPECT_EQ(pages->currentPageIndex(), 0);
  EXPECT_EQ(highlighted(), 0);
  EXPECT_TRUE(delegate->reports.empty());
  // Disabled keeps its look: the highlighted number stays blue.
  EXPECT_EQ(pages->pageNumberViews()[0]->pageNumberLabel()->palette().color(QPalette::Disabled, QPalette::WindowText),
            QVColorWithSRGBHex(0x2680FD));

  pages->setEnabled(true);
  click(1);
  EXPECT_EQ(highlighted(), 1);
  EXPECT_EQ(delegate->reports.size(), 1u);
}

TEST_F(PaginationViewTest, ARebuildKeepsTheCurrentPageHighlightedAndWithinTheRow) {
  ASSERT_TRUE(pages->selectNextPageWithUserAction(false));
  ASSERT_TRUE(pages->selectNextPageWithUserAction(false));
  pages->setPagesCount(5);
  qv_test::processEvents();
  EXPECT_EQ(pages->pageNumberViews().size(), 5u);
  EXPECT_EQ(pages->currentPageIndex(), 2);
  EXPECT_EQ(highlighted(), 2);
  int numbers = 0;
  for (QWidget* child : pages->pagesContainer()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    numbers += dynamic_cast<AFXPageNumberView*>(child) != nullptr;
  }
  EXPECT_EQ(numbers, 5);

  pages->setPagesCount(2);
  EXPECT_EQ(pages->currentPageIndex(), 1);
  EXPECT_EQ(highlighted(), 1);
  EXPECT_FALSE(pages->selectNextPageWithUserAction(true));

  pages->setPagesCount(0);
  EXPECT_FALSE(pages->selectNextPageWithUserAction(true));
  EXPECT_FALSE(pages->selectPreviousPageWithUserAction(true));
}

TEST_F(PaginationViewTest, ADelegateThatRebuildsTheRowFromAClickIsSafeAndAGoneDelegateHearsNothing) {
  struct Rebuilding final : AFXPaginationViewDelegate {
    void paginationViewDidSelectPage(AFXPaginationView* view, std::int64_t, bool) override { view->setPagesCount(4); }
  };
  auto rebuilding = std::make_shared<Rebuilding>();
  pages->setDelegate(rebuilding);
  click(1);
  EXPECT_EQ(pages->pageNumberViews().size(), 4u);
  EXPECT_EQ(highlighted(), 1);

  rebuilding.reset();
  EXPECT_EQ(pages->delegate(), nullptr);
  EXPECT_TRUE(pages->selectNextPageWithUserAction(true));
}

}  // namespace
