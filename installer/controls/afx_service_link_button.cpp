#include "installer/controls/afx_service_link_button.h"

#include <QDynamicPropertyChangeEvent>
#include <QFontMetrics>
#include <QPainter>

#include "tools/ui/qv_color_extensions.h"

AFXServiceLinkButton::AFXServiceLinkButton(QWidget* parent) : AFXHoverButton(parent) { setFlat(true); }

QColor AFXServiceLinkButton::defaultTitleColor() { return QVColorWithSRGBHex(0x15A2F7); }
QColor AFXServiceLinkButton::defaultSelectedTitleColor() { return QVColorWithSRGBHex(0x1273AE); }

void AFXServiceLinkButton::setTitleColor(const QColor& color) {
  titleColor_ = color;
  update();
}

void AFXServiceLinkButton::setSelectedTitleColor(const QColor& color) {
  selectedTitleColor_ = color;
  update();
}

QColor AFXServiceLinkButton::effectiveTitleColor() const {
  return titleColor_.isValid() ? titleColor_ : defaultTitleColor();
}

QColor AFXServiceLinkButton::effectiveSelectedTitleColor() const {
  return selectedTitleColor_.isValid() ? selectedTitleColor_ : defaultSelectedTitleColor();
}

void AFXServiceLinkButton::qv_setHasDarkBackground(bool dark) {
  hasDarkBackground_ = dark;
  update();
}

QSize AFXServiceLinkButton::sizeHint() const {
  const QFontMetrics metrics(font());
  return QSize(metrics.horizontalAdvance(text()) + 4, metrics.height() + 4);
}

void AFXServiceLinkButton::paintEvent(QPaintEvent*) {
  // The title is read at every paint, so a new title is always drawn in the
  // link colours.
  QPainter painter(this);
  painter.setPen(currentTitleColor());
  const QString title = fontMetrics().elidedText(text(), Qt::ElideMiddle, width(), Qt::TextShowMnemonic);
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine, title);
  if (hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(hasDarkBackground_ ? QColor(Qt::white) : palette().color(QPalette::Highlight), 1.0));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  }
}

bool AFXServiceLinkButton::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange) {
    const QByteArray name = static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName();
    const QVariant value = property(name.constData());
    if (name == "titleColor") setTitleColor(value.value<QColor>());
    if (name == "selectedTitleColor") setSelectedTitleColor(value.value<QColor>());
    if (name == "qv_hasDarkBackground") qv_setHasDarkBackground(value.toBool());
  }
  return AFXHoverButton::event(event);
}
