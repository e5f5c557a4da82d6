#include "installer/controls/afx_autoscaling_text_field.h"

#include <QDynamicPropertyChangeEvent>
#include <QFontMetricsF>

namespace {

double widestLine(const QString& text, const QFont& font) {
  const QFontMetricsF metrics(font);
  double widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

}  // namespace

AFXAutoscalingTextField::AFXAutoscalingTextField(QWidget* parent) : QLabel(parent) {}

void AFXAutoscalingTextField::setMinimumFontSize(double size) {
  minimumFontSize_ = size;
  fitFontSize();
}

void AFXAutoscalingTextField::setMaximumFontSize(double size) {
  maximumFontSize_ = size;
  fitFontSize();
}

void AFXAutoscalingTextField::setText(const QString& text) {
  QLabel::setText(text);
  fitFontSize();
}

double AFXAutoscalingTextField::fittingFontSize() const {
  const double available = width() - kHorizontalInset;
  QFont face = font();
  double size = maximumFontSize_;
  face.setPointSizeF(size);
  while (widestLine(text(), face) > available && size > minimumFontSize_) {
    size -= 1.0;
    face.setPointSizeF(size);
  }
  return size;
}

void AFXAutoscalingTextField::fitFontSize() {
  const double size = fittingFontSize();
  // Only a different size: setting the font relays out the window.
  if (size == font().pointSizeF()) return;
  QFont fitted = font();
  fitted.setPointSizeF(size);
  setFont(fitted);
}

bool AFXAutoscalingTextField::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Polish:
    case QEvent::Show:
      fitFontSize();
      break;
    case QEvent::DynamicPropertyChange: {
      const QByteArray name = static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName();
      if (name == "minimumFontSize") setMinimumFontSize(property(name.constData()).toDouble());
      if (name == "maximumFontSize") setMaximumFontSize(property(name.constData()).toDouble());
      break;
    }
    default:
      break;
  }
  return QLabel::event(event);
}

void AFXAutoscalingTextField::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fitFontSize();
}

void AFXAutoscalingTextField::paintEvent(QPaintEvent* event) {
  // Catches text set through QLabel; a refit here only changes the font of
  // the frame being drawn.
  fitFontSize();
  QLabel::paintEvent(event);
}
