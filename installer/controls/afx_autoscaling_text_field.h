#pragma once

// A one-line text field whose font shrinks, a point at a time, from the
// maximum size until its text fits its width (less 4 points), but never
// below the minimum size. Fitted after every change of text and of size.
//
// QLabel::setText is not virtual: text set through this class is fitted at
// once; text set through QLabel (resources, properties) is fitted before it
// is shown and drawn.

#include <QLabel>

class AFXAutoscalingTextField : public QLabel {
 public:
  explicit AFXAutoscalingTextField(QWidget* parent = nullptr);

  static constexpr double kHorizontalInset = 4.0;

  double minimumFontSize() const { return minimumFontSize_; }
  void setMinimumFontSize(double size);
  double maximumFontSize() const { return maximumFontSize_; }
  void setMaximumFontSize(double size);

  void setText(const QString& text);
  // The size the text fits at, for this field's width and font face.
  double fittingFontSize() const;
  void fitFontSize();

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  double minimumFontSize_ = 9.0;
  double maximumFontSize_ = 13.0;
};
