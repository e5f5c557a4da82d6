#pragma once

#include <chrono>

#include "installer/presentation/afx_top_pane_view.h"

// A pane with an icon between two groups of pictures: the groups slide in
// from the sides and the icon grows in while fading in.
class AFXTwoPartTopPaneView : public AFXTopPaneView {
 public:
  static constexpr int kIconOutset = 10;
  static constexpr int kPartsOffset = 20;
  static constexpr int kIconDurationMs = 300;
  static constexpr int kShowPartsDurationMs = 600;
  static constexpr int kHidePartsDurationMs = 300;
  static constexpr std::chrono::milliseconds kPartsAfterIcon{100};

  using AFXTopPaneView::AFXTopPaneView;

  QWidget* leftPartContainer() const { return leftPartContainer_; }
  QWidget* rightPartContainer() const { return rightPartContainer_; }

  virtual bool shouldAnimateIconView() const { return true; }
  virtual std::chrono::milliseconds showingDelay() const { return std::chrono::milliseconds(0); }

  void awakeFromNib() override;
  void showAnimated(bool animated, AFXAnimationCompletion completion) override;
  void hideAnimated(bool animated, AFXAnimationCompletion completion) override;

  void showIconViewAnimatedWithCompletion(AFXAnimationCompletion completion);
  void hideIconViewAnimatedWithCompletion(AFXAnimationCompletion completion);
  void showPartsAnimatedWithCompletion(AFXAnimationCompletion completion);
  void hidePartsAnimatedWithCompletion(AFXAnimationCompletion completion);
  // Sets the hidden flag of every direct subview.
  void toggleSubviewsHidden(bool hidden);

 private:
  void startShowing(AFXAnimationCompletion iconDone, AFXAnimationCompletion partsDone);

  QPointer<QWidget> leftPartContainer_;
  QPointer<QWidget> rightPartContainer_;
};
