#pragma once

// The picture pane at the top of an onboarding screen. The base pane shows
// and hides at once; the panes of the three screens animate.

#include <QPointer>

#include "installer/presentation/afx_animatable.h"
#include "installer/presentation/afx_extended_view.h"
#include "installer/presentation/afx_installer_extensions.h"

class AFXTopPaneView : public AFXExtendedView, public AFXAnimatable {
 public:
  using AFXExtendedView::AFXExtendedView;

  // New panes of the three screens, each loaded from the resource named
  // after its class; null when the resource is missing.
  static AFXTopPaneView* firstScreenTopPaneView();
  static AFXTopPaneView* secondScreenTopPaneView();
  static AFXTopPaneView* thirdScreenTopPaneView();

  AFXImageView* iconView() const { return iconView_; }

  void awakeFromNib() override;
  void showAnimated(bool animated, AFXAnimationCompletion completion) override;
  void hideAnimated(bool animated, AFXAnimationCompletion completion) override;

 protected:
  // The frame of a descendant in this pane's coordinates.
  QRect frameInPane(const QWidget* view) const;
  void layOut();

 private:
  QPointer<AFXImageView> iconView_;
};
