#pragma once

// The base of the onboarding screens and panes: a view whose alignment
// rectangle lies 50 points inside its frame, so it may draw up to 50 points
// beyond the area it is laid out in (its animations grow past it). The
// resources of these views keep their content inside that margin.

#include <QMargins>
#include <QWidget>

class AFXExtendedView : public QWidget {
 public:
  static constexpr int kAlignmentInset = 50;

  using QWidget::QWidget;

  QMargins alignmentRectInsets() const {
    return {kAlignmentInset, kAlignmentInset, kAlignmentInset, kAlignmentInset};
  }
  QRect alignmentRect() const { return rect().marginsRemoved(alignmentRectInsets()); }

  // Finds the outlets of a view just loaded from its resource.
  virtual void awakeFromNib() {}
};
