#include <QLayout>
#include <string>

#include "foundation/queue.h"
#include "installer/presentation/afx_first_screen_top_pane_view.h"
#include "installer/presentation/afx_installer_accessibility.h"
#include "installer/presentation/afx_installer_resources.h"
#include "installer/presentation/afx_second_screen_top_pane_view.h"
#include "installer/presentation/afx_third_screen_top_pane_view.h"
#include "tools/ui/qv_view_extensions.h"

namespace {

template <class Pane>
AFXTopPaneView* loadPane(std::string_view className) {
  auto* pane = QVMakeFromNibNamed<Pane>(className, AFXInstallerResourceBundle(), nullptr);
  if (pane) pane->awakeFromNib();
  return pane;
}

QRect grown(QRect frame, int by) { return frame.adjusted(-by, -by, by, by); }

// A snapshot of `view` placed in `pane`, above everything, while `view`
// itself is hidden.
QLabel* standIn(QWidget* pane, QWidget* view, QRect frame) {
  QLabel* snapshot = AFXSnapshotView(view, pane);
  view->hide();
  snapshot->setGeometry(frame);
  snapshot->raise();
  snapshot->show();
  return snapshot;
}

}  // namespace

// MARK: AFXTopPaneView

AFXTopPaneView* AFXTopPaneView::firstScreenTopPaneView() {
  return loadPane<AFXFirstScreenTopPaneView>("AFXFirstScreenTopPaneView");
}
AFXTopPaneView* AFXTopPaneView::secondScreenTopPaneView() {
  return loadPane<AFXSecondScreenTopPaneView>("AFXSecondScreenTopPaneView");
}
AFXTopPaneView* AFXTopPaneView::thirdScreenTopPaneView() {
  return loadPane<AFXThirdScreenTopPaneView>("AFXThirdScreenTopPaneView");
}

void AFXTopPaneView::awakeFromNib() { iconView_ = QVOutlet<AFXImageView>(this, "iconView"); }

void AFXTopPaneView::showAnimated(bool, AFXAnimationCompletion completion) {
  setVisible(true);
  completion();
}

void AFXTopPaneView::hideAnimated(bool, AFXAnimationCompletion completion) {
  setVisible(false);
  completion();
}

QRect AFXTopPaneView::frameInPane(const QWidget* view) const {
  return QRect(view->mapTo(this, QPoint(0, 0)), view->size());
}

void AFXTopPaneView::layOut() {
  ensurePolished();
  if (layout()) layout()->activate();
}

// MARK: AFXFirstScreenTopPaneView

void AFXFirstScreenTopPaneView::awakeFromNib() {
  AFXTopPaneView::awakeFromNib();
  iconViewPlaceholder_ = QVOutlet<QWidget>(this, "iconViewPlaceholder");
  AFXSetNamedImage(iconView(), "App0");
  AFXSetAccessibilityIdentifier(this, AFXInstallerAccessibilityIdentifierOnboardingTopPane);
  AFXSetAccessibilityIdentifier(iconView(), AFXInstallerAccessibilityIdentifierOnboardingTopPaneIconView);
}

void AFXFirstScreenTopPaneView::showAnimated(bool animated, AFXAnimationCompletion completion) {
  QWidget* placeholder = iconViewPlaceholder_;
  if (!animated || !placeholder) {
    setVisible(true);
    if (placeholder) placeholder->show();
    completion();
    return;
  }
  layOut();
  const QRect frame = frameInPane(placeholder);
  QLabel* snapshot = standIn(this, placeholder, frame.adjusted(kIconInset, kIconInset, -kIconInset, -kIconInset));
  setVisible(true);
  AFXAnimateFrameAndOpacity(snapshot, snapshot->geometry(), frame, 1, 1, kDurationMs, AFXDefaultTimingFunction(),
                            [placeholder = QPointer(placeholder), snapshot, completion = std::move(completion)] {
                              if (placeholder) placeholder->show();
                              snapshot->deleteLater();
                              completion();
                            });
}

void AFXFirstScreenTopPaneView::hideAnimated(bool animated, AFXAnimationCompletion completion) {
  QWidget* placeholder = iconViewPlaceholder_;
  if (!animated || !placeholder) {
    setVisible(false);
    if (placeholder) placeholder->hide();
    completion();
    return;
  }
  layOut();
  const QRect frame = frameInPane(placeholder);
  QLabel* snapshot = standIn(this, placeholder, frame);
  AFXAnimateFrameAndOpacity(snapshot, frame, frame.adjusted(kIconInset, kIconInset, -kIconInset, -kIconInset), 1, 1,
                            kDurationMs, AFXDefaultTimingFunction(),
                            [snapshot = QPointer<QLabel>(snapshot), completion = std::move(completion)] {
                              completion();
                              // The pane stays visible with its icon hidden;
                              // the shrunk picture goes a moment later.
                              fnd::Queue::main().after(std::chrono::milliseconds(10), [snapshot] {
                                if (snapshot) snapshot->deleteLater();
                              });
                            });
}

// MARK: AFXTwoPartTopPaneView

void AFXTwoPartTopPaneView::awakeFromNib() {
  AFXTopPaneView::awakeFromNib();
  leftPartContainer_ = QVOutlet<QWidget>(this, "leftPartContainer");
  rightPartContainer_ = QVOutlet<QWidget>(this, "rightPartContainer");
}

void AFXTwoPartTopPaneView::toggleSubviewsHidden(bool hidden) {
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setHidden(hidden);
}

void AFXTwoPartTopPaneView::showAnimated(bool animated, AFXAnimationCompletion completion) {
  if (!animated) {
    setVisible(true);
    toggleSubviewsHidden(false);
    completion();
    return;
  }
  layOut();
  setVisible(true);
  toggleSubviewsHidden(true);
  auto group = AFXCompletionGroup::create(std::move(completion));
  fnd::Queue::main().after(showingDelay(), [pane = QPointer(this), iconDone = group->part(),
                                            partsDone = group->part()]() mutable {
    if (!pane) return;
    pane->startShowing(std::move(iconDone), std::move(partsDone));
  });
  group->seal();
}

void AFXTwoPartTopPaneView::startShowing(AFXAnimationCompletion iconDone, AFXAnimationCompletion partsDone) {
  if (!shouldAnimateIconView()) {
    if (iconView()) iconView()->show();
    iconDone();
    showPartsAnimatedWithCompletion(std::move(partsDone));
    return;
  }
  showIconViewAnimatedWithCompletion(std::move(iconDone));
  fnd::Queue::main().after(kPartsAfterIcon, [pane = QPointer(this), partsDone = std::move(partsDone)]() mutable {
    if (pane) pane->showPartsAnimatedWithCompletion(std::move(partsDone));
  });
}

void AFXTwoPartTopPaneView::hideAnimated(bool animated, AFXAnimationCompletion completion) {
  if (!animated) {
    setVisible(false);
    toggleSubviewsHidden(true);
    completion();
    return;
  }
  layOut();
  toggleSubviewsHidden(true);
  auto group = AFXCompletionGroup::create(std::move(completion));
  if (shouldAnimateIconView()) {
    hideIconViewAnimatedWithCompletion(group->part());
  } else if (iconView()) {
    iconView()->hide();
  }
  hidePartsAnimatedWithCompletion(group->part());
  group->seal();
}

void AFXTwoPartTopPaneView::showIconViewAnimatedWithCompletion(AFXAnimationCompletion completion) {
  QWidget* icon = iconView();
  if (!icon) return completion();
  const QRect frame = frameInPane(icon);
  QLabel* snapshot = standIn(this, icon, grown(frame, kIconOutset));
  AFXAnimateFrameAndOpacity(snapshot, snapshot->geometry(), frame, 0, 1, kIconDurationMs, AFXDefaultTimingFunction(),
                            [icon = QPointer(icon), snapshot, completion = std::move(completion)] {
                              snapshot->deleteLater();
                              if (icon) icon->show();
                              completion();
                            });
}

void AFXTwoPartTopPaneView::hideIconViewAnimatedWithCompletion(AFXAnimationCompletion completion) {
  QWidget* icon = iconView();
  if (!icon) return completion();
  const QRect frame = frameInPane(icon);
  QLabel* snapshot = standIn(this, icon, frame);
  AFXAnimateFrameAndOpacity(snapshot, frame, grown(frame, -kIconOutset), 1, 0, kIconDurationMs,
                            AFXDefaultTimingFunction(), [snapshot, completion = std::move(completion)] {
                              snapshot->deleteLater();
                              completion();
                            });
}

void AFXTwoPartTopPaneView::showPartsAnimatedWithCompletion(AFXAnimationCompletion completion) {
  QWidget* left = leftPartContainer_;
  QWidget* right = rightPartContainer_;
  if (!left || !right) return completion();
  const QRect leftFrame = frameInPane(left);
  const QRect rightFrame = frameInPane(right);
  const QRect widenedLeft = leftFrame.adjusted(-kPartsOffset, 0, kPartsOffset, 0).translated(-kPartsOffset, 0);
  const QRect widenedRight = rightFrame.adjusted(-kPartsOffset, 0, kPartsOffset, 0).translated(kPartsOffset, 0);
  QLabel* leftSnapshot = standIn(this, left, widenedLeft);
  QLabel* rightSnapshot = standIn(this, right, widenedRight);
  auto group = AFXCompletionGroup::create([left = QPointer(left), right = QPointer(right),
                                           leftSnapshot = QPointer(leftSnapshot), rightSnapshot = QPointer(rightSnapshot),
                                           completion = std::move(completion)] {
    if (leftSnapshot) leftSnapshot->deleteLater();
    if (rightSnapshot) rightSnapshot->deleteLater();
    if (left) left->show();
    if (right) right->show();
    completion();
  });
  AFXAnimateFrameAndOpacity(leftSnapshot, widenedLeft, leftFrame, 0, 1, kShowPartsDurationMs,
                            AFXDefaultTimingFunction(), group->part());
  AFXAnimateFrameAndOpacity(rightSnapshot, widenedRight, rightFrame, 0, 1, kShowPartsDurationMs,
                            AFXDefaultTimingFunction(), group->part());
  group->seal();
}

void AFXTwoPartTopPaneView::hidePartsAnimatedWithCompletion(AFXAnimationCompletion completion) {
  QWidget* left = leftPartContainer_;
  QWidget* right = rightPartContainer_;
  if (!left || !right) return completion();
  const QRect leftFrame = frameInPane(left);
  const QRect rightFrame = frameInPane(right);
  QLabel* leftSnapshot = standIn(this, left, leftFrame);
  QLabel* rightSnapshot = standIn(this, right, rightFrame);
  auto group = AFXCompletionGroup::create([leftSnapshot = QPointer(leftSnapshot), rightSnapshot = QPointer(rightSnapshot),
                                           completion = std::move(completion)] {
    if (leftSnapshot) leftSnapshot->deleteLater();
    if (rightSnapshot) rightSnapshot->deleteLater();
    completion();
  });
  AFXAnimateFrameAndOpacity(leftSnapshot, leftFrame, grown(leftFrame, -kPartsOffset), 1, 0, kHidePartsDurationMs,
                            AFXDefaultTimingFunction(), group->part());
  AFXAnimateFrameAndOpacity(rightSnapshot, rightFrame, grown(rightFrame, -kPartsOffset), 1, 0,
                            kHidePartsDurationMs, AFXDefaultTimingFunction(), group->part());
  group->seal();
}

// MARK: the second and third panes

void AFXSecondScreenTopPaneView::awakeFromNib() {
  AFXTwoPartTopPaneView::awakeFromNib();
  AFXSetNamedImage(iconView(), "App0");
  for (int number = 1; number <= 12; ++number) {
    const std::string name = "app" + std::to_string(number) + "View";
    appViews_[number - 1] = QVOutlet<AFXImageView>(this, name.c_str());
    AFXSetNamedImage(appViews_[number - 1], "App" + std::to_string(number));
  }
}

AFXImageView* AFXSecondScreenTopPaneView::appView(int number) const {
  return number >= 1 && number <= 12 ? appViews_[number - 1].data() : nullptr;
}

void AFXThirdScreenTopPaneView::awakeFromNib() {
  AFXTwoPartTopPaneView::awakeFromNib();
  AFXSetNamedImage(iconView(), "KorviaIcon");
  for (int number = 1; number <= 8; ++number) {
    const std::string name = "category" + std::to_string(number) + "View";
    categoryViews_[number - 1] = QVOutlet<AFXImageView>(this, name.c_str());
    AFXSetNamedImage(categoryViews_[number - 1], "Category" + std::to_string(number));
  }
}

AFXImageView* AFXThirdScreenTopPaneView::categoryView(int number) const {
  return number >= 1 && number <= 8 ? categoryViews_[number - 1].data() : nullptr;
}
