#include "installer/controls/afx_dark_styled_button.h"

#include <QApplication>

#include "tools/ui/qv_color_extensions.h"

AFXDarkStyledButton::AFXDarkStyledButton(QWidget* parent) : AFXStyledButton(parent) { setupStyle(); }

void AFXDarkStyledButton::setupStyle() {
  AFXStyledButton::setupStyle();
  setFillColor(QVColorWithRGBHex(0x2680FD));
  setSelectedFillColor(QVColorWithRGBHex(0x0157CF));
  setDisabledFillColor(QVColorWithRGBHex(0xBABABA));
  setTitleColor(QVColorWithRGBHex(0xFFFFFF));
  setSelectedTitleColor(QVColorWithRGBHex(0xFFFFFF));
  setDisabledTitleColor(QVColorWithRGBHex(0xFFFFFF));
  // The system font, bold, at 13 points.
  QFont title = QApplication::font();
  title.setPointSizeF(kTitlePointSize);
  title.setBold(true);
  setTitleFont(title);
}
