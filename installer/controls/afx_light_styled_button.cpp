#include "installer/controls/afx_light_styled_button.h"

#include "tools/ui/qv_color_extensions.h"

AFXLightStyledButton::AFXLightStyledButton(QWidget* parent) : AFXStyledButton(parent) { setupStyle(); }

void AFXLightStyledButton::setupStyle() {
  AFXStyledButton::setupStyle();
  setFillColor(QVColorWithRGBHex(0xFFFFFF));
  setSelectedFillColor(QVColorWithRGBHex(0xEBEAEA));
  setDisabledFillColor(QVColorWithRGBHex(0xFFFFFF));
  setTitleColor(QVColorWithRGBHex(0x000000));
  setSelectedTitleColor(QVColorWithRGBHex(0x000000));
  QColor faded = QVColorWithRGBHex(0x000000);
  faded.setAlphaF(0.8f);
  setDisabledTitleColor(faded);
}
