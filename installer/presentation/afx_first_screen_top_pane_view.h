#pragma once

#include "installer/presentation/afx_top_pane_view.h"

// The first screen's pane: its icon grows into place when shown and shrinks
// away when hidden.
class AFXFirstScreenTopPaneView : public AFXTopPaneView {
 public:
  static constexpr int kIconInset = 15;
  static constexpr int kDurationMs = 300;

  using AFXTopPaneView::AFXTopPaneView;

  QWidget* iconViewPlaceholder() const { return iconViewPlaceholder_; }

  void awakeFromNib() override;
  void showAnimated(bool animated, AFXAnimationCompletion completion) override;
  void hideAnimated(bool animated, AFXAnimationCompletion completion) override;

 private:
  QPointer<QWidget> iconViewPlaceholder_;
};
