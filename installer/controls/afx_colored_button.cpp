#include "installer/controls/afx_colored_button.h"

#include <QDynamicPropertyChangeEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace {

void store(QColor& stored, const QColor& color, QWidget* button) {
  if (stored == color) return;
  stored = color;
  button->update();
}

}  // namespace

AFXColoredButton::AFXColoredButton(QWidget* parent) : QPushButton(parent) { setFlat(true); }

void AFXColoredButton::setCornerRadius(double radius) {
  if (radius == cornerRadius_) return;
  cornerRadius_ = radius;
  update();
}

void AFXColoredButton::setFillColor(const QColor& color) { store(fillColor_, color, this); }
void AFXColoredButton::setSelectedFillColor(const QColor& color) { store(selectedFillColor_, color, this); }
void AFXColoredButton::setDisabledFillColor(const QColor& color) { store(disabledFillColor_, color, this); }
void AFXColoredButton::setTitleColor(const QColor& color) { store(titleColor_, color, this); }
void AFXColoredButton::setSelectedTitleColor(const QColor& color) { store(selectedTitleColor_, color, this); }
void AFXColoredButton::setDisabledTitleColor(const QColor& color) { store(disabledTitleColor_, color, this); }

void AFXColoredButton::setTitleFont(std::optional<QFont> font) {
  titleFont_ = std::move(font);
  updateGeometry();
  update();
}

QPainterPath AFXColoredButton::fillButtonPath() const {
  QPainterPath path;
  path.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
  return path;
}

QColor AFXColoredButton::currentFillColor() const {
  const QColor& chosen = isHighlighted() ? selectedFillColor_ : !isEnabled() ? disabledFillColor_ : fillColor_;
  return chosen.isValid() ? chosen : QColor(Qt::white);
}

QColor AFXColoredButton::currentTitleColor() const {
  const QColor& chosen = isHighlighted() ? selectedTitleColor_ : !isEnabled() ? disabledTitleColor_ : titleColor_;
  return chosen.isValid() ? chosen : QColor(Qt::black);
}

QFont AFXColoredButton::effectiveTitleFont() const { return titleFont_.value_or(font()); }

QRectF AFXColoredButton::titleTextRectFor(const QRectF& titleRect, double textHeight) {
  // Qt's y grows downwards: "raised" is one point up, towards smaller y.
  const double offset = std::ceil((titleRect.height() - textHeight) / 2.0) - 1.0;
  return QRectF(titleRect.x(), titleRect.y() + offset, titleRect.width(), textHeight);
}

QRectF AFXColoredButton::titleTextRect() const {
  return titleTextRectFor(titleRect(), QFontMetricsF(effectiveTitleFont()).height());
}

QString AFXColoredButton::displayedTitle() const {
  return QFontMetricsF(effectiveTitleFont()).elidedText(text(), Qt::ElideMiddle, titleRect().width(),
                                                        Qt::TextShowMnemonic);
}

void AFXColoredButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.save();
  painter.fillPath(fillButtonPath(), currentFillColor());
  painter.restore();
  if (!text().isEmpty()) {
    painter.setFont(effectiveTitleFont());
    painter.setPen(currentTitleColor());
    painter.drawText(titleTextRect(), Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     displayedTitle());
  }
  if (hasFocus()) {
    // The focus ring follows the rounded shape, not the bounds.
    QPen ring(palette().color(QPalette::Highlight), 2.0);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    const QRectF inset = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.drawRoundedRect(inset, std::max(0.0, cornerRadius_ - 1), std::max(0.0, cornerRadius_ - 1));
  }
}

bool AFXColoredButton::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange) {
    applyResourceProperty(static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName());
  }
  return QPushButton::event(event);
}

void AFXColoredButton::applyResourceProperty(const QByteArray& name) {
  // Interface resources set the style by name (no meta-object: dynamic
  // properties).
  const QVariant value = property(name.constData());
  if (!value.isValid()) return;
  if (name == "cornerRadius") {
    setCornerRadius(value.toDouble());
  } else if (name == "fillColor") {
    setFillColor(value.value<QColor>());
  } else if (name == "selectedFillColor") {
    setSelectedFillColor(value.value<QColor>());
  } else if (name == "disabledFillColor") {
    setDisabledFillColor(value.value<QColor>());
  } else if (name == "titleColor") {
    setTitleColor(value.value<QColor>());
  } else if (name == "selectedTitleColor") {
    setSelectedTitleColor(value.value<QColor>());
  } else if (name == "disabledTitleColor") {
    setDisabledTitleColor(value.value<QColor>());
  } else if (name == "titleFont") {
    setTitleFont(value.value<QFont>());
  }
}
