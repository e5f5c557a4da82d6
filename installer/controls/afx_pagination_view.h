#pragma once

// The page selector under the onboarding screens: a row of numbers, one per
// page, the current one highlighted. It moves the current page on request,
// tells its delegate of every change with whether the user caused it, and
// takes no clicks or changes while disabled (the window controller disables
// it around an animated change of screen).
//
// "enabled" is the widget's own: a disabled widget's children get no mouse
// events, which is the hit test that keeps clicks from the numbers.

#include <QHBoxLayout>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/bundle.h"
#include "installer/controls/afx_page_number_view.h"
#include "installer/controls/afx_page_number_view_delegate.h"
#include "installer/controls/afx_pagination_view_delegate.h"

class AFXPaginationView : public QWidget, public AFXPageNumberViewDelegate {
 public:
  // The numbers come from the resource "AFXPageNumberView" of `bundle` (the
  // main bundle when none).
  explicit AFXPaginationView(QWidget* parent = nullptr, std::shared_ptr<fnd::Bundle> bundle = nullptr);

  std::shared_ptr<AFXPaginationViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<AFXPaginationViewDelegate> delegate) { delegate_ = std::move(delegate); }

  std::int64_t pagesCount() const { return pagesCount_; }
  // Stores the count and rebuilds the row.
  void setPagesCount(std::int64_t pagesCount);
  std::int64_t currentPageIndex() const { return currentPageIndex_; }
  // Moves the highlight; ignored while disabled and for an index that is
  // current or out of range. Never tells the delegate.
  void setCurrentPageIndex(std::int64_t index);

  // Whether the page advanced (went back); the delegate is told when it did.
  bool selectNextPageWithUserAction(bool isUserAction);
  bool selectPreviousPageWithUserAction(bool isUserAction);

  QWidget* pagesContainer();
  const std::vector<QPointer<AFXPageNumberView>>& pageNumberViews() const { return pageNumberViews_; }

  void pageNumberViewWasSelected(AFXPageNumberView* pageNumberView) override;

 private:
  void postInit();
  void setupUI();
  AFXPageNumberView* pageNumberViewAt(std::int64_t index) const;
  void tellDelegate(std::int64_t page, bool isUserAction);

  std::shared_ptr<fnd::Bundle> bundle_;
  std::weak_ptr<AFXPaginationViewDelegate> delegate_;
  std::int64_t pagesCount_ = 0;
  std::int64_t currentPageIndex_ = 0;
  QPointer<QWidget> pagesContainer_;
  QHBoxLayout* pagesLayout_ = nullptr;
  std::vector<QPointer<AFXPageNumberView>> pageNumberViews_;
};
