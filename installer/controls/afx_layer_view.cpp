#include "installer/controls/afx_layer_view.h"

#include <QPainter>

AFXLayerView::AFXLayerView(QWidget* parent) : QWidget(parent) {
  // Clicks go to the view it decorates.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AFXLayerView::setBackgroundColor(const QColor& color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  update();
}

void AFXLayerView::setCornerRadius(double radius) {
  if (radius == cornerRadius_) return;
  cornerRadius_ = radius;
  update();
}

void AFXLayerView::paintEvent(QPaintEvent*) {
  if (!backgroundColor_.isValid()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(backgroundColor_);
  painter.drawRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
}
