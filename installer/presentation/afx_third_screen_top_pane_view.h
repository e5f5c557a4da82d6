#pragma once

#include <array>

#include "installer/presentation/afx_two_part_top_pane_view.h"

// The third screen's pane: after a pause the product icon, then eight
// category pictures.
class AFXThirdScreenTopPaneView : public AFXTwoPartTopPaneView {
 public:
  using AFXTwoPartTopPaneView::AFXTwoPartTopPaneView;

  // category1View … category8View; an absent one is null.
  AFXImageView* categoryView(int number) const;

  std::chrono::milliseconds showingDelay() const override { return std::chrono::milliseconds(300); }
  void awakeFromNib() override;

 private:
  std::array<QPointer<AFXImageView>, 8> categoryViews_;
};
