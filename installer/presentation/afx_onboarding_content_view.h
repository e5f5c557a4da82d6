#pragma once

// One onboarding screen: a picture pane above a title and a description.
// The three screens are made once per process, on first request, and reused
// (made again only if the window that held one was destroyed with it).

#include <QLabel>
#include <QPointer>

#include "installer/presentation/afx_animatable.h"
#include "installer/presentation/afx_extended_view.h"
#include "installer/presentation/afx_top_pane_view.h"

class AFXOnboardingContentView : public AFXExtendedView, public AFXAnimatable {
 public:
  static constexpr int kLabelsDurationMs = 300;

  using AFXExtendedView::AFXExtendedView;
  ~AFXOnboardingContentView() override;

  static AFXOnboardingContentView* firstScreenContentView();
  static AFXOnboardingContentView* secondScreenContentView();
  static AFXOnboardingContentView* thirdScreenContentView();

  QWidget* topPanePlaceholderView() const { return topPanePlaceholderView_; }
  QWidget* labelsContainerView() const { return labelsContainerView_; }
  QLabel* titleField() const { return titleField_; }
  QLabel* descriptionField() const { return descriptionField_; }
  AFXTopPaneView* topPaneView() const { return topPaneView_; }
  void setTopPaneView(AFXTopPaneView* pane);

  void awakeFromNib() override;
  void setupAccessibilityAnchors();

  void showLabelsContainterAnimated(bool animated, AFXAnimationCompletion completion);
  void hideLabelsContainterAnimated(bool animated, AFXAnimationCompletion completion);
  void showAnimated(bool animated, AFXAnimationCompletion completion) override;
  void hideAnimated(bool animated, AFXAnimationCompletion completion) override;

 private:
  QPointer<QWidget> topPanePlaceholderView_;
  QPointer<QWidget> labelsContainerView_;
  QPointer<QLabel> titleField_;
  QPointer<QLabel> descriptionField_;
  QPointer<AFXTopPaneView> topPaneView_;
};
