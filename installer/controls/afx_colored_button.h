#pragma once

// A flat button drawn by itself: a rounded rectangle in the colour of its
// state and its title centred over it, truncated in the middle when it does
// not fit. Pressed (highlighted) wins over disabled, disabled over normal.
// An unset (invalid) fill colour is white, an unset title colour black.

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPushButton>
#include <optional>

class AFXColoredButton : public QPushButton {
 public:
  explicit AFXColoredButton(QWidget* parent = nullptr);

  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  QColor fillColor() const { return fillColor_; }
  void setFillColor(const QColor& color);
  QColor selectedFillColor() const { return selectedFillColor_; }
  void setSelectedFillColor(const QColor& color);
  QColor disabledFillColor() const { return disabledFillColor_; }
  void setDisabledFillColor(const QColor& color);
  QColor titleColor() const { return titleColor_; }
  void setTitleColor(const QColor& color);
  QColor selectedTitleColor() const { return selectedTitleColor_; }
  void setSelectedTitleColor(const QColor& color);
  QColor disabledTitleColor() const { return disabledTitleColor_; }
  void setDisabledTitleColor(const QColor& color);
  // None: the button's own font.
  std::optional<QFont> titleFont() const { return titleFont_; }
  void setTitleFont(std::optional<QFont> font);

  bool isHighlighted() const { return isDown(); }

  QPainterPath fillButtonPath() const;
  QRectF titleRect() const { return QRectF(rect()); }
  QColor currentFillColor() const;
  QColor currentTitleColor() const;
  // Where the title is drawn: the title's height, centred (the odd pixel
  // below), then raised by one point.
  QRectF titleTextRect() const;
  static QRectF titleTextRectFor(const QRectF& titleRect, double textHeight);
  // The title as drawn: elided in the middle to the title rectangle.
  QString displayedTitle() const;
  QFont effectiveTitleFont() const;
  QPainterPath focusRingMask() const { return fillButtonPath(); }
  QRectF focusRingMaskBounds() const { return QRectF(rect()); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void applyResourceProperty(const QByteArray& name);

  double cornerRadius_ = 0;
  QColor fillColor_;
  QColor selectedFillColor_;
  QColor disabledFillColor_;
  QColor titleColor_;
  QColor selectedTitleColor_;
  QColor disabledTitleColor_;
  std::optional<QFont> titleFont_;
};
