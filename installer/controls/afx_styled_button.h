#pragma once

// A coloured button with the installer's rounded corners (6 points); the
// light and dark styles add their colours.

#include "installer/controls/afx_colored_button.h"

class AFXStyledButton : public AFXColoredButton {
 public:
  explicit AFXStyledButton(QWidget* parent = nullptr);

  static constexpr double kCornerRadius = 6.0;

 protected:
  // Each class applies its own part of the style from its constructor.
  void setupStyle();
};
