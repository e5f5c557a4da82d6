#pragma once

// The installer's progress bar: a thin capsule. Determinate, a coloured
// capsule grows from the left over a track in proportion to the value;
// indeterminate, a blue gradient with two light bands slides through the
// capsule, endlessly, while the window is visible.
//
// Every redisplay computes four layer models (frame, corner radius, colour)
// from the bounds and the state; painting only fills them, so the geometry
// can be read without pixels. A value change moves the drawn fraction over
// a quarter of a second when the bar animates and is in a window, at once
// otherwise.

#include <QColor>
#include <QEvent>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QVariantAnimation>
#include <QWidget>
#include <vector>

struct AFXProgressLayer {
  // In the view's coordinates; the mask's in its gradient layer's.
  QRectF frame;
  double cornerRadius = 0;
  // Invalid: the layer draws nothing.
  QColor backgroundColor;
  bool hidden = false;
};

struct AFXProgressGradientLayer {
  QRectF frame;
  bool hidden = true;
  std::vector<QColor> colors;
  std::vector<double> locations;
  // Unit coordinates of the layer: left to right.
  QPointF startPoint{0, 0};
  QPointF endPoint{1, 0};
};

class AFXColorfulProgressIndicator : public QWidget {
 public:
  explicit AFXColorfulProgressIndicator(QWidget* parent = nullptr);
  ~AFXColorfulProgressIndicator() override;

  static constexpr double kIntrinsicHeight = 6.0;
  // The platform's duration of implicit layer animations.
  static constexpr int kImplicitAnimationMilliseconds = 250;

  double doubleValue() const { return doubleValue_; }
  void setDoubleValue(double value);
  double minValue() const { return minValue_; }
  void setMinValue(double value);
  double maxValue() const { return maxValue_; }
  void setMaxValue(double value);
  // Invalid colours are unset: that part of the bar is not drawn.
  QColor colorValue() const { return colorValue_; }
  void setColorValue(const QColor& color);
  QColor backgroundColorValue() const { return backgroundColorValue_; }
  void setBackgroundColorValue(const QColor& color);
  bool animates() const { return animates_; }
  void setAnimates(bool animates);
  bool isIndeterminate() const { return indeterminate_; }
  void setIndeterminate(bool indeterminate);
  double animationProgress() const { return animationProgress_; }
  void setAnimationProgress(double progress);
  bool isAnimating() const { return animating_; }
  void setAnimating(bool animating);
  // Not animating, indeterminate, and the window visible.
  bool wantsToAnimate() const;
  // The bar or one of its ancestors is shown in a platform window.
  bool isInWindow() const;

  double accessibilityValue() const { return doubleValue_; }

  // The share of the bar that is filled: 0 for an empty or reversed range,
  // at most 1. A value below the minimum shows an empty bar (0).
  static double fractionForValue(double value, double minValue, double maxValue);
  double fraction() const { return fractionForValue(doubleValue_, minValue_, maxValue_); }

  // The layer update rule: colour, corner radius half the height, and the
  // bounds' origin and height with fraction × their width.
  static void layerUpdateWithBounds(AFXProgressLayer& layer, const QRectF& bounds, double fraction,
                                    const QColor& color);
  // The gradient's frame for a sweep phase (the fractional part of the
  // progress): twice as wide as the bounds, its left edge at
  // x + (phase − 1) × width.
  static QRectF gradientFrameForBounds(const QRectF& bounds, double progress);
  static std::vector<QColor> gradientColors();

  // The models as of the last redisplay.
  const AFXProgressLayer& backgroundLayer() const { return backgroundLayer_; }
  const AFXProgressLayer& foregroundLayer() const { return foregroundLayer_; }
  const AFXProgressGradientLayer& animatingLayer() const { return animatingLayer_; }
  const AFXProgressLayer& animatingMaskLayer() const { return animatingMaskLayer_; }
  QRectF backgroundLayerFrame() const { return backgroundLayer_.frame; }
  QRectF foregroundLayerFrame() const { return foregroundLayer_.frame; }
  QRectF gradientLayerFrame() const { return animatingLayer_.frame; }
  QRectF maskLayerFrame() const { return animatingMaskLayer_.frame; }
  // What is drawn now: during an implicit animation the filled part lags
  // behind its model.
  double presentedFraction() const { return presentedFraction_; }
  QRectF presentedForegroundFrame() const;
  bool isAnimatingValueChange() const { return fractionAnimation_ != nullptr; }

  // Recomputes the layers from the bounds and the state (every redisplay).
  void updateLayer();
  // One sweep: from the current phase to the next whole turn, one bar width
  // per second.
  void animateAround();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void setNeedsDisplay();
  void wantsToAnimateMayHaveChanged();
  void stopSweep();
  void watchAncestors();
  // Ancestors' moves, shows and hides change whether the sweep may run.
  void followWindowEvent(QEvent::Type type, bool aboutTheWindow);
  void moveFilledPartTo(double fraction);
  void applyResourceProperty(const QByteArray& name);
  bool isWindowVisible() const;

  double doubleValue_ = 0;
  double minValue_ = 0;
  double maxValue_ = 0;
  QColor colorValue_;
  QColor backgroundColorValue_;
  bool animates_ = false;
  bool indeterminate_ = false;
  double animationProgress_ = 0;
  bool animating_ = false;

  AFXProgressLayer backgroundLayer_;
  AFXProgressLayer foregroundLayer_;
  AFXProgressGradientLayer animatingLayer_;
  AFXProgressLayer animatingMaskLayer_;

  // The drawn fraction and where it is going.
  double presentedFraction_ = 0;
  double targetFraction_ = 0;
  QPointer<QVariantAnimation> fractionAnimation_;
  QPointer<QVariantAnimation> sweep_;
  // The ancestors whose reparenting or visibility matters.
  std::vector<QPointer<QWidget>> watched_;
};
