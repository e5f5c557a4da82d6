#pragma once

// A view drawn as its layer would be: a background colour filling its bounds
// with rounded corners. Used for highlights that must stay circular whatever
// their size.

#include <QColor>
#include <QWidget>

class AFXLayerView : public QWidget {
 public:
  explicit AFXLayerView(QWidget* parent = nullptr);

  // Invalid: nothing is drawn.
  QColor backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const QColor& color);
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor backgroundColor_;
  double cornerRadius_ = 0;
};
