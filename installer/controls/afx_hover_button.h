#pragma once

// A button that shows the pointing-hand cursor over its whole bounds while
// its tracking area is enabled.

#include <QPushButton>

class AFXHoverButton : public QPushButton {
 public:
  explicit AFXHoverButton(QWidget* parent = nullptr);

  bool trackingAreaEnabled() const { return trackingAreaEnabled_; }
  void setTrackingAreaEnabled(bool enabled);

 protected:
  bool event(QEvent* event) override;

 private:
  // The widget's cursor covers its bounds; it is set or cleared with the
  // flag, so it can never outlive it.
  void updateTrackingAreas();

  bool trackingAreaEnabled_ = false;
};
