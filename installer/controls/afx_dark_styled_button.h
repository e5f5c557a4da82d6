#pragma once

// The dark style: blue, darker while pressed, grey while disabled, a white
// bold 13-point title.

#include "installer/controls/afx_styled_button.h"

class AFXDarkStyledButton : public AFXStyledButton {
 public:
  explicit AFXDarkStyledButton(QWidget* parent = nullptr);

  static constexpr double kTitlePointSize = 13.0;

 protected:
  void setupStyle();
};
