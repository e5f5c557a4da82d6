#include "installer/presentation/afx_onboarding_content_view.h"

#include <functional>

#include "installer/presentation/afx_installer_accessibility.h"
#include "installer/presentation/afx_installer_extensions.h"
#include "installer/presentation/afx_installer_resources.h"
#include "tools/ui/qv_view_extensions.h"

namespace {

struct ScreenTexts {
  std::string title;
  std::string description;
};

AFXOnboardingContentView* makeScreenOnce(QPointer<AFXOnboardingContentView>& made, AFXTopPaneView* (*makePane)(),
                                 const std::function<ScreenTexts()>& texts) {
  if (made) return made;
  auto* view = QVMakeFromNibNamed<AFXOnboardingContentView>("AFXOnboardingContentView", AFXInstallerResourceBundle(),
                                                            nullptr);
  if (!view) return nullptr;
  view->awakeFromNib();
  view->setTopPaneView(makePane());
  const ScreenTexts shown = texts();
  if (view->titleField()) view->titleField()->setText(AFXQString(shown.title));
  if (view->descriptionField()) view->descriptionField()->setText(AFXQString(shown.description));
  made = view;
  return view;
}

}  // namespace

AFXOnboardingContentView::~AFXOnboardingContentView() = default;

AFXOnboardingContentView* AFXOnboardingContentView::firstScreenContentView() {
  static QPointer<AFXOnboardingContentView> made;
  return makeScreenOnce(made, &AFXTopPaneView::firstScreenTopPaneView, [] {
    return ScreenTexts{AFXInstallerLocalizedFormat("FirstScreenTitle", AFXFeaturedAppName),
                       AFXInstallerLocalizedFormat("FirstScreenDescription", AFXFeaturedAppName)};
  });
}

AFXOnboardingContentView* AFXOnboardingContentView::secondScreenContentView() {
  static QPointer<AFXOnboardingContentView> made;
  return makeScreenOnce(made, &AFXTopPaneView::secondScreenTopPaneView, [] {
    return ScreenTexts{AFXInstallerLocalizedString("SecondScreenTitle"),
                       AFXInstallerLocalizedString("SecondScreenDescription")};
  });
}

AFXOnboardingContentView* AFXOnboardingContentView::thirdScreenContentView() {
  static QPointer<AFXOnboardingContentView> made;
  return makeScreenOnce(made, &AFXTopPaneView::thirdScreenTopPaneView, [] {
    return ScreenTexts{AFXInstallerLocalizedString("ThirdScreenTitle"),
                       AFXInstallerLocalizedString("ThirdScreenDescription")};
  });
}

void AFXOnboardingContentView::awakeFromNib() {
  topPanePlaceholderView_ = QVOutlet<QWidget>(this, "topPanePlaceholderView");
  labelsContainerView_ = QVOutlet<QWidget>(this, "labelsContainerView");
  titleField_ = QVOutlet<QLabel>(this, "titleField");
  descriptionField_ = QVOutlet<QLabel>(this, "descriptionField");
  setupAccessibilityAnchors();
}

void AFXOnboardingContentView::setupAccessibilityAnchors() {
  AFXSetAccessibilityIdentifier(this, AFXInstallerAccessibilityIdentifierOnboardingContentView);
  AFXSetAccessibilityIdentifier(titleField_.data(), AFXInstallerAccessibilityIdentifierOnboardingTitleLabel);
  AFXSetAccessibilityIdentifier(descriptionField_.data(),
                                AFXInstallerAccessibilityIdentifierOnboardingDescriptionLabel);
}

void AFXOnboardingContentView::setTopPaneView(AFXTopPaneView* pane) {
  if (pane == topPaneView_) return;
  // A replaced pane leaves the screen; the screen owned it, so it goes.
  if (topPaneView_) delete topPaneView_.data();
  topPaneView_ = pane;
  if (pane && topPanePlaceholderView_) QVEmbedView(topPanePlaceholderView_, pane);
}

void AFXOnboardingContentView::showLabelsContainterAnimated(bool animated, AFXAnimationCompletion completion) {
  QWidget* labels = labelsContainerView_;
  if (!labels) return completion();
  if (!animated) {
    AFXSetOpacity(labels, 1);
    return completion();
  }
  AFXAnimateOpacity(labels, 0, 1, kLabelsDurationMs, AFXEaseInEaseOutTimingFunction(), std::move(completion));
}

void AFXOnboardingContentView::hideLabelsContainterAnimated(bool animated, AFXAnimationCompletion completion) {
  QWidget* labels = labelsContainerView_;
  if (!labels) return completion();
  if (!animated) {
    AFXSetOpacity(labels, 0);
    return completion();
  }
  AFXAnimateOpacity(labels, 1, 0, kLabelsDurationMs, AFXEaseInEaseOutTimingFunction(), std::move(completion));
}

void AFXOnboardingContentView::showAnimated(bool animated, AFXAnimationCompletion completion) {
  auto group = AFXCompletionGroup::create(std::move(completion));
  showLabelsContainterAnimated(animated, group->part());
  if (topPaneView_) topPaneView_->showAnimated(animated, group->part());
  group->seal();
}

void AFXOnboardingContentView::hideAnimated(bool animated, AFXAnimationCompletion completion) {
  if (!animated) {
    // Both halves change at once, so the completion comes before returning.
    hideLabelsContainterAnimated(false, [] {});
    if (topPaneView_) topPaneView_->hideAnimated(false, [] {});
    return completion();
  }
  auto group = AFXCompletionGroup::create(std::move(completion));
  hideLabelsContainterAnimated(true, group->part());
  if (topPaneView_) topPaneView_->hideAnimated(true, group->part());
  group->seal();
}
