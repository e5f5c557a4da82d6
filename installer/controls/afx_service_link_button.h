#pragma once

// A link-like button: its title alone, in the link colour, darker while
// pressed.

#include <QColor>

#include "installer/controls/afx_hover_button.h"

class AFXServiceLinkButton : public AFXHoverButton {
 public:
  explicit AFXServiceLinkButton(QWidget* parent = nullptr);

  // Invalid: the default link colours.
  QColor titleColor() const { return titleColor_; }
  void setTitleColor(const QColor& color);
  QColor selectedTitleColor() const { return selectedTitleColor_; }
  void setSelectedTitleColor(const QColor& color);
  static QColor defaultTitleColor();
  static QColor defaultSelectedTitleColor();

  // The colours the title is drawn in: normal, and alternate (pressed).
  QColor effectiveTitleColor() const;
  QColor effectiveSelectedTitleColor() const;
  QColor currentTitleColor() const { return isDown() ? effectiveSelectedTitleColor() : effectiveTitleColor(); }

  // Whether the button sits on a dark background. The title keeps its
  // explicit link colours either way; the flag picks the palette the focus
  // ring is drawn from (a light ring on dark).
  bool qv_hasDarkBackground() const { return hasDarkBackground_; }
  void qv_setHasDarkBackground(bool dark);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QColor titleColor_;
  QColor selectedTitleColor_;
  bool hasDarkBackground_ = false;
};
