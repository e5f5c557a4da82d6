#include "installer/controls/afx_styled_button.h"

AFXStyledButton::AFXStyledButton(QWidget* parent) : AFXColoredButton(parent) { setupStyle(); }

void AFXStyledButton::setupStyle() { setCornerRadius(kCornerRadius); }
