#include "installer/controls/afx_pagination_view.h"

#include <QLayout>

#include "logging/dd_log_macros.h"
#include "tools/ui/qv_view_extensions.h"

AFXPaginationView::AFXPaginationView(QWidget* parent, std::shared_ptr<fnd::Bundle> bundle)
    : QWidget(parent), bundle_(bundle ? std::move(bundle) : fnd::Bundle::mainBundle()) {
  postInit();
}

void AFXPaginationView::postInit() {
  setPagesCount(3);
  setEnabled(true);
}

void AFXPaginationView::setPagesCount(std::int64_t pagesCount) {
  pagesCount_ = pagesCount;
  setupUI();
}

QWidget* AFXPaginationView::pagesContainer() {
  if (!pagesContainer_) {
    pagesContainer_ = new QWidget;
    pagesContainer_->setObjectName("pagesContainer");
    pagesLayout_ = new QHBoxLayout(pagesContainer_);
    pagesLayout_->setContentsMargins(0, 0, 0, 0);
    pagesLayout_->setSpacing(0);
    pagesLayout_->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
  }
  return pagesContainer_;
}

void AFXPaginationView::setupUI() {
  QWidget* container = pagesContainer();
  // Remove every subview; the old numbers go once the event that may be
  // running in one of them has returned.
  if (layout()) layout()->removeWidget(container);
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child != container) child->deleteLater();
  }
  while (QLayoutItem* item = pagesLayout_->takeAt(0)) delete item;
  for (const QPointer<AFXPageNumberView>& old : pageNumberViews_) {
    if (!old) continue;
    old->hide();
    old->setParent(nullptr);
    old->deleteLater();
  }
  pageNumberViews_.clear();
  QVEmbedView(this, container);

  for (std::int64_t number = 1; number <= pagesCount_; ++number) {
    auto* view = QVMakeFromNibNamed<AFXPageNumberView>("AFXPageNumberView", bundle_, nullptr);
    if (!view) {
      DDLogError("Cannot load the page number view %@ from %@", number,
                 bundle_ ? bundle_->bundlePath() : std::string("no bundle"));
      pageNumberViews_.emplace_back(nullptr);
      continue;
    }
    view->setPageNumber(number);
    view->setDelegate(static_cast<AFXPageNumberViewDelegate*>(this));
    pageNumberViews_.emplace_back(view);
  }
  // The index survives a rebuild, but never past the last page; the
  // highlight follows it, so one number is highlighted at any time.
  if (currentPageIndex_ >= pagesCount_) currentPageIndex_ = std::max<std::int64_t>(0, pagesCount_ - 1);
  if (AFXPageNumberView* current = pageNumberViewAt(currentPageIndex_)) current->setSelected(true);
  for (const QPointer<AFXPageNumberView>& view : pageNumberViews_) {
    if (view) pagesLayout_->addWidget(view, 0, Qt::AlignVCenter);
  }
}

AFXPageNumberView* AFXPaginationView::pageNumberViewAt(std::int64_t index) const {
  if (index < 0 || index >= static_cast<std::int64_t>(pageNumberViews_.size())) return nullptr;
  return pageNumberViews_[static_cast<std::size_t>(index)];
}

void AFXPaginationView::setCurrentPageIndex(std::int64_t index) {
  if (!isEnabled() || index < 0 || index == currentPageIndex_ || index >= pagesCount_) return;
  if (AFXPageNumberView* old = pageNumberViewAt(currentPageIndex_)) old->setSelected(false);
  currentPageIndex_ = index;
  if (AFXPageNumberView* current = pageNumberViewAt(currentPageIndex_)) current->setSelected(true);
}

bool AFXPaginationView::selectNextPageWithUserAction(bool isUserAction) {
  // Also NO for a row without pages, which has no next page to report.
  if (!isEnabled() || currentPageIndex_ + 1 >= pagesCount_) return false;
  setCurrentPageIndex(currentPageIndex_ + 1);
  tellDelegate(currentPageIndex_, isUserAction);
  return true;
}

bool AFXPaginationView::selectPreviousPageWithUserAction(bool isUserAction) {
  if (!isEnabled() || currentPageIndex_ <= 0) return false;
  setCurrentPageIndex(currentPageIndex_ - 1);
  tellDelegate(currentPageIndex_, isUserAction);
  return true;
}

void AFXPaginationView::pageNumberViewWasSelected(AFXPageNumberView* pageNumberView) {
  // Clicks cannot reach a disabled row; a call made anyway changes nothing
  // and reports nothing, since no page may be chosen then.
  if (!isEnabled()) return;
  for (std::size_t index = 0; index < pageNumberViews_.size(); ++index) {
    if (pageNumberViews_[index] != pageNumberView) continue;
    const auto page = static_cast<std::int64_t>(index);
    setCurrentPageIndex(page);
    // Told even when the page was already current.
    tellDelegate(page, true);
    return;
  }
}

void AFXPaginationView::tellDelegate(std::int64_t page, bool isUserAction) {
  if (const auto told = delegate_.lock()) told->paginationViewDidSelectPage(this, page, isUserAction);
}
