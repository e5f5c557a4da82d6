#include "installer/controls/afx_colorful_progress_indicator.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QDynamicPropertyChangeEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <QWindow>
#include <cmath>

#include "tools/ui/qv_color_extensions.h"

namespace {

// Screen readers see a progress bar with its value and range.
class ProgressIndicatorAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ProgressIndicatorAccessible(AFXColorfulProgressIndicator* indicator)
      : QAccessibleWidget(indicator, QAccessible::ProgressBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override { return indicator()->accessibilityValue(); }
  // The bar only shows progress; nobody sets it through accessibility.
  void setCurrentValue(const QVariant&) override {}
  QVariant maximumValue() const override { return indicator()->maxValue(); }
  QVariant minimumValue() const override { return indicator()->minValue(); }
  QVariant minimumStepSize() const override { return 0.0; }

 private:
  AFXColorfulProgressIndicator* indicator() const { return static_cast<AFXColorfulProgressIndicator*>(widget()); }
};

QAccessibleInterface* accessibleForIndicator(const QString&, QObject* object) {
  // Without a meta-object of its own the class name is QWidget's: recognise
  // the bar by its type.
  if (auto* indicator = dynamic_cast<AFXColorfulProgressIndicator*>(object)) {
    return new ProgressIndicatorAccessible(indicator);
  }
  return nullptr;
}

void installAccessibleFactoryOnce() {
  static const bool installed = [] {
    QAccessible::installFactory(accessibleForIndicator);
    return true;
  }();
  (void)installed;
}

void discard(QPointer<QVariantAnimation>& animation) {
  if (!animation) return;
  QVariantAnimation* running = animation;
  animation = nullptr;
  running->disconnect();
  running->stop();
  running->deleteLater();
}

double fractionalPart(double value) { return value - std::floor(value); }

}  // namespace

AFXColorfulProgressIndicator::AFXColorfulProgressIndicator(QWidget* parent) : QWidget(parent) {
  installAccessibleFactoryOnce();
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  animates_ = true;
  animatingLayer_.locations = {0.0, 0.25, 0.5, 0.75, 1.0};
  animatingLayer_.colors = gradientColors();
  watchAncestors();
  updateLayer();
  wantsToAnimateMayHaveChanged();
}

AFXColorfulProgressIndicator::~AFXColorfulProgressIndicator() {
  for (QPointer<QVariantAnimation>* animation : {&sweep_, &fractionAnimation_}) {
    if (QVariantAnimation* running = *animation) {
      *animation = nullptr;
      running->disconnect();
      delete running;
    }
  }
}

void AFXColorfulProgressIndicator::setDoubleValue(double value) {
  if (value == doubleValue_) return;
  doubleValue_ = value;
  setNeedsDisplay();
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent changed(this, value);
    QAccessible::updateAccessibility(&changed);
  }
}

void AFXColorfulProgressIndicator::setMinValue(double value) {
  if (value == minValue_) return;
  minValue_ = value;
  setNeedsDisplay();
}

void AFXColorfulProgressIndicator::setMaxValue(double value) {
  if (value == maxValue_) return;
  maxValue_ = value;
  setNeedsDisplay();
}

void AFXColorfulProgressIndicator::setColorValue(const QColor& color) {
  if (color == colorValue_) return;
  colorValue_ = color;
  setNeedsDisplay();
}

void AFXColorfulProgressIndicator::setBackgroundColorValue(const QColor& color) {
  if (color == backgroundColorValue_) return;
  backgroundColorValue_ = color;
  setNeedsDisplay();
}

void AFXColorfulProgressIndicator::setAnimates(bool animates) { animates_ = animates; }

void AFXColorfulProgressIndicator::setIndeterminate(bool indeterminate) {
  if (indeterminate == indeterminate_) return;
  indeterminate_ = indeterminate;
  // A sweep of the old mode must not write the phase after its reset.
  if (!indeterminate_) stopSweep();
  animationProgress_ = 0.0;
  setNeedsDisplay();
  wantsToAnimateMayHaveChanged();
}

void AFXColorfulProgressIndicator::setAnimationProgress(double progress) {
  if (progress == animationProgress_) return;
  animationProgress_ = progress;
  if (animating_) setNeedsDisplay();
}

void AFXColorfulProgressIndicator::setAnimating(bool animating) {
  if (animating == animating_) return;
  animating_ = animating;
  wantsToAnimateMayHaveChanged();
}

bool AFXColorfulProgressIndicator::wantsToAnimate() const {
  return !animating_ && indeterminate_ && isWindowVisible();
}

bool AFXColorfulProgressIndicator::isInWindow() const { return window()->windowHandle() != nullptr; }

bool AFXColorfulProgressIndicator::isWindowVisible() const {
  const QWidget* top = window();
  return top->windowHandle() != nullptr && top->isVisible() && !top->isMinimized();
}

double AFXColorfulProgressIndicator::fractionForValue(double value, double minValue, double maxValue) {
  if (!(maxValue - minValue > 0)) return 0.0;
  const double fraction = (value - minValue) / (maxValue - minValue);
  if (fraction >= 1.0) return 1.0;
  // Below the minimum (or not a number) the bar is empty rather than
  // growing to the left of its origin.
  if (!(fraction > 0.0)) return 0.0;
  return fraction;
}

void AFXColorfulProgressIndicator::layerUpdateWithBounds(AFXProgressLayer& layer, const QRectF& bounds,
                                                         double fraction, const QColor& color) {
  layer.backgroundColor = color;
  layer.cornerRadius = bounds.height() / 2.0;
  layer.frame = QRectF(bounds.topLeft(), QSizeF(fraction * bounds.width(), bounds.height()));
}

QRectF AFXColorfulProgressIndicator::gradientFrameForBounds(const QRectF& bounds, double progress) {
  // Twice as wide, so that sliding one bar width shows the same pattern
  // again: the loop has no seam.
  const QRectF widened = bounds.adjusted(-bounds.width() / 2.0, 0, bounds.width() / 2.0, 0);
  return QRectF(QPointF(bounds.x() + (fractionalPart(progress) - 1.0) * bounds.width(), widened.y()),
                widened.size());
}

std::vector<QColor> AFXColorfulProgressIndicator::gradientColors() {
  const QColor blue = QVColorWithSRGBHex(0x027CFF);
  const QColor light = QVColorWithRGBHex(0x71B8FF);
  return {blue, light, blue, light, blue};
}

void AFXColorfulProgressIndicator::updateLayer() {
  const QRectF bounds(rect());
  backgroundLayer_.hidden = indeterminate_;
  foregroundLayer_.hidden = indeterminate_;
  animatingLayer_.hidden = !indeterminate_;
  animatingMaskLayer_.hidden = !indeterminate_;

  animatingLayer_.frame = gradientFrameForBounds(bounds, animationProgress_);
  animatingLayer_.colors = gradientColors();
  // The mask stays where the bar is while the gradient moves under it.
  layerUpdateWithBounds(animatingMaskLayer_, bounds.translated(-animatingLayer_.frame.topLeft()), 1.0, Qt::white);

  const double filled = fraction();
  // A full bar covers its track, which keeps whatever it last showed.
  if (filled < 1.0) layerUpdateWithBounds(backgroundLayer_, bounds, 1.0, backgroundColorValue_);
  layerUpdateWithBounds(foregroundLayer_, bounds, filled, colorValue_);
  if (filled != targetFraction_) moveFilledPartTo(filled);
}

void AFXColorfulProgressIndicator::moveFilledPartTo(double fraction) {
  targetFraction_ = fraction;
  discard(fractionAnimation_);
  if (!animates_ || !isInWindow() || presentedFraction_ == fraction) {
    presentedFraction_ = fraction;
    return;
  }
  auto* animation = new QVariantAnimation(this);
  animation->setStartValue(presentedFraction_);
  animation->setEndValue(fraction);
  animation->setDuration(kImplicitAnimationMilliseconds);
  connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    presentedFraction_ = value.toDouble();
    update();
  });
  connect(animation, &QAbstractAnimation::finished, this, [this, animation] {
    if (fractionAnimation_ != animation) return;
    fractionAnimation_ = nullptr;
    presentedFraction_ = targetFraction_;
    animation->deleteLater();
    update();
  });
  fractionAnimation_ = animation;
  animation->start();
}

QRectF AFXColorfulProgressIndicator::presentedForegroundFrame() const {
  AFXProgressLayer presented = foregroundLayer_;
  layerUpdateWithBounds(presented, QRectF(rect()), presentedFraction_, colorValue_);
  return presented.frame;
}

void AFXColorfulProgressIndicator::animateAround() {
  setAnimating(true);
  const double from = animationProgress_;
  // The sweep ends at the next whole turn, so a sweep interrupted half-way
  // takes only the time left and the speed stays one bar width per second.
  const double to = std::floor(from) + 1.0;
  const int milliseconds = std::max(1, static_cast<int>(std::lround((to - from) * 1000.0)));
  auto* sweep = new QVariantAnimation(this);
  sweep->setStartValue(from);
  sweep->setEndValue(to);
  sweep->setDuration(milliseconds);
  sweep->setEasingCurve(QEasingCurve::Linear);
  connect(sweep, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& value) { setAnimationProgress(value.toDouble()); });
  connect(sweep, &QAbstractAnimation::finished, this, [this, sweep] {
    if (sweep_ != sweep) return;
    sweep_ = nullptr;
    sweep->deleteLater();
    // Starts the next sweep while the conditions still hold.
    setAnimating(false);
  });
  sweep_ = sweep;
  sweep->start();
}

void AFXColorfulProgressIndicator::stopSweep() {
  if (!sweep_) return;
  // The phase stays where the sweep stopped, so the next one resumes there.
  discard(sweep_);
  setAnimating(false);
}

void AFXColorfulProgressIndicator::wantsToAnimateMayHaveChanged() {
  // A hidden window or the end of the mode stops the sweep: nothing keeps
  // running for a bar nobody sees.
  if (sweep_ && !(indeterminate_ && isWindowVisible())) stopSweep();
  if (wantsToAnimate()) animateAround();
}

void AFXColorfulProgressIndicator::setNeedsDisplay() {
  updateLayer();
  update();
}

void AFXColorfulProgressIndicator::watchAncestors() {
  for (const QPointer<QWidget>& ancestor : watched_) {
    if (ancestor) ancestor->removeEventFilter(this);
  }
  watched_.clear();
  for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
    ancestor->installEventFilter(this);
    watched_.emplace_back(ancestor);
  }
}

void AFXColorfulProgressIndicator::followWindowEvent(QEvent::Type type, bool aboutTheWindow) {
  switch (type) {
    case QEvent::ParentChange:
      watchAncestors();
      wantsToAnimateMayHaveChanged();
      break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
      if (aboutTheWindow) wantsToAnimateMayHaveChanged();
      break;
    default:
      break;
  }
}

bool AFXColorfulProgressIndicator::eventFilter(QObject* watched, QEvent* event) {
  followWindowEvent(event->type(), watched == window());
  return QWidget::eventFilter(watched, event);
}

bool AFXColorfulProgressIndicator::event(QEvent* event) {
  // The bar may be a window of its own.
  followWindowEvent(event->type(), isWindow());
  if (event->type() == QEvent::DynamicPropertyChange) {
    applyResourceProperty(static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName());
  }
  return QWidget::event(event);
}

void AFXColorfulProgressIndicator::applyResourceProperty(const QByteArray& name) {
  // Interface resources set the range and colours by name; the class has no
  // meta-object, so they arrive as dynamic properties.
  const QVariant value = property(name.constData());
  if (!value.isValid()) return;
  if (name == "doubleValue") {
    setDoubleValue(value.toDouble());
  } else if (name == "minValue") {
    setMinValue(value.toDouble());
  } else if (name == "maxValue") {
    setMaxValue(value.toDouble());
  } else if (name == "colorValue") {
    setColorValue(value.value<QColor>());
  } else if (name == "backgroundColorValue") {
    setBackgroundColorValue(value.value<QColor>());
  } else if (name == "animates") {
    setAnimates(value.toBool());
  } else if (name == "indeterminate") {
    setIndeterminate(value.toBool());
  }
}

void AFXColorfulProgressIndicator::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  setNeedsDisplay();
}

void AFXColorfulProgressIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const auto fill = [&painter](const AFXProgressLayer& layer, const QRectF& frame) {
    if (layer.hidden || !layer.backgroundColor.isValid() || frame.isEmpty()) return;
    painter.setBrush(layer.backgroundColor);
    painter.drawRoundedRect(frame, layer.cornerRadius, layer.cornerRadius);
  };
  if (!animatingLayer_.hidden) {
    const QRectF gradientFrame = animatingLayer_.frame;
    QPainterPath mask;
    const QRectF maskFrame = animatingMaskLayer_.frame.translated(gradientFrame.topLeft());
    mask.addRoundedRect(maskFrame, animatingMaskLayer_.cornerRadius, animatingMaskLayer_.cornerRadius);
    painter.setClipPath(mask);
    QLinearGradient gradient(gradientFrame.left() + animatingLayer_.startPoint.x() * gradientFrame.width(),
                             gradientFrame.center().y(),
                             gradientFrame.left() + animatingLayer_.endPoint.x() * gradientFrame.width(),
                             gradientFrame.center().y());
    for (std::size_t index = 0; index < animatingLayer_.colors.size(); ++index) {
      gradient.setColorAt(animatingLayer_.locations[index], animatingLayer_.colors[index]);
    }
    painter.fillRect(gradientFrame, gradient);
    return;
  }
  fill(backgroundLayer_, backgroundLayer_.frame);
  fill(foregroundLayer_, presentedForegroundFrame());
}

QSize AFXColorfulProgressIndicator::sizeHint() const {
  // No width of its own: the layout decides.
  return QSize(-1, static_cast<int>(kIntrinsicHeight));
}

QSize AFXColorfulProgressIndicator::minimumSizeHint() const { return sizeHint(); }
