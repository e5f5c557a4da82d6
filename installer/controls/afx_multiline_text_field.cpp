#include "installer/controls/afx_multiline_text_field.h"

#include <QFontMetricsF>
#include <cmath>
#include <limits>

AFXMultilineTextField::AFXMultilineTextField(QWidget* parent) : QLabel(parent) { setWordWrap(true); }

void AFXMultilineTextField::setWidthConstraint(std::optional<double> width) {
  widthConstraint_ = width;
  if (widthConstraint_) {
    setFixedWidth(static_cast<int>(std::lround(*widthConstraint_)));
  } else {
    setMinimumWidth(0);
    setMaximumWidth(QWIDGETSIZE_MAX);
  }
  updateGeometry();
}

void AFXMultilineTextField::setLayoutDelegate(AFXMultilineTextFieldLayoutDelegate* delegate) {
  layoutDelegate_.reset(delegate);
  updateGeometry();
}

void AFXMultilineTextField::setLayoutDelegate(std::weak_ptr<AFXMultilineTextFieldLayoutDelegate> delegate) {
  layoutDelegate_.reset(std::move(delegate));
  updateGeometry();
}

QSize AFXMultilineTextField::intrinsicContentSize() const {
  if (const auto delegate = layoutDelegate_.lock()) {
    return delegate->preferredIntristicSizeForTextField(const_cast<AFXMultilineTextField*>(this));
  }
  if (widthConstraint_) {
    if (text().isEmpty()) return QSize(0, 0);
    const double width = *widthConstraint_ - kHorizontalInset;
    const QRectF bounds = QFontMetricsF(font()).boundingRect(
        QRectF(0, 0, width, std::numeric_limits<int>::max() / 2.0), Qt::TextWordWrap | alignment(), text());
    return QSize(static_cast<int>(std::ceil(bounds.width())), static_cast<int>(std::ceil(bounds.height())));
  }
  return QLabel::sizeHint();
}

QSize AFXMultilineTextField::sizeHint() const { return intrinsicContentSize(); }

QSize AFXMultilineTextField::minimumSizeHint() const {
  // A size of its own is also the least it accepts, as the field's
  // compression resistance would hold it.
  if (layoutDelegate_.lock() || widthConstraint_) return intrinsicContentSize();
  return QLabel::minimumSizeHint();
}
