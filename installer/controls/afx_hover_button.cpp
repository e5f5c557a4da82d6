#include "installer/controls/afx_hover_button.h"

#include <QDynamicPropertyChangeEvent>

AFXHoverButton::AFXHoverButton(QWidget* parent) : QPushButton(parent) {}

void AFXHoverButton::setTrackingAreaEnabled(bool enabled) {
  if (enabled == trackingAreaEnabled_) return;
  trackingAreaEnabled_ = enabled;
  updateTrackingAreas();
}

void AFXHoverButton::updateTrackingAreas() {
  if (trackingAreaEnabled_) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
}

bool AFXHoverButton::event(QEvent* event) {
  if (event->type() == QEvent::DynamicPropertyChange &&
      static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "trackingAreaEnabled") {
    setTrackingAreaEnabled(property("trackingAreaEnabled").toBool());
  }
  return QPushButton::event(event);
}
