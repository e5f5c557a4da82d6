#pragma once

// The light style: white, light grey while pressed, a black title (faded
// while disabled).

#include "installer/controls/afx_styled_button.h"

class AFXLightStyledButton : public AFXStyledButton {
 public:
  explicit AFXLightStyledButton(QWidget* parent = nullptr);

 protected:
  void setupStyle();
};
