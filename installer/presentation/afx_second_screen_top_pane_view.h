#pragma once

#include <array>

#include "installer/presentation/afx_two_part_top_pane_view.h"

// The second screen's pane: the featured app's icon at once, twelve app
// pictures sliding in.
class AFXSecondScreenTopPaneView : public AFXTwoPartTopPaneView {
 public:
  using AFXTwoPartTopPaneView::AFXTwoPartTopPaneView;

  // app1View … app12View; an absent one is null.
  AFXImageView* appView(int number) const;

  bool shouldAnimateIconView() const override { return false; }
  void awakeFromNib() override;

 private:
  std::array<QPointer<AFXImageView>, 12> appViews_;
};
