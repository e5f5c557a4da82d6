#pragma once

// A word-wrapped text field that reports its height for a given width: the
// layout delegate's size when there is one; with a width constraint, the
// wrapped text's size for that width less 4 points (zero when empty); else
// the label's own.
//
// The width constraint fixes the field's width, as the layout constraint
// does.

#include <QLabel>
#include <memory>
#include <optional>

#include "installer/controls/afx_multiline_text_field_layout_delegate.h"
#include "installer/controls/afx_weak_delegate.h"

class AFXMultilineTextField : public QLabel {
 public:
  explicit AFXMultilineTextField(QWidget* parent = nullptr);

  static constexpr double kHorizontalInset = 4.0;

  std::optional<double> widthConstraint() const { return widthConstraint_; }
  void setWidthConstraint(std::optional<double> width);

  // Held weakly; a plain pointer must be a QObject.
  std::shared_ptr<AFXMultilineTextFieldLayoutDelegate> layoutDelegate() const { return layoutDelegate_.lock(); }
  void setLayoutDelegate(AFXMultilineTextFieldLayoutDelegate* delegate);
  void setLayoutDelegate(std::weak_ptr<AFXMultilineTextFieldLayoutDelegate> delegate);

  QSize intrinsicContentSize() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  std::optional<double> widthConstraint_;
  AFXWeakDelegate<AFXMultilineTextFieldLayoutDelegate> layoutDelegate_;
};
