#include "installer/presentation/afx_animatable.h"

#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include "foundation/queue.h"

std::shared_ptr<AFXCompletionGroup> AFXCompletionGroup::create(AFXAnimationCompletion completion) {
  return std::shared_ptr<AFXCompletionGroup>(new AFXCompletionGroup(std::move(completion)));
}

AFXAnimationCompletion AFXCompletionGroup::part() {
  ++pending_;
  auto self = shared_from_this();
  return [self, called = std::make_shared<bool>(false)] {
    if (*called) return;
    *called = true;
    self->leave();
  };
}

void AFXCompletionGroup::seal() { leave(); }

void AFXCompletionGroup::leave() {
  if (--pending_ != 0) return;
  fnd::Queue::main().async([completion = std::move(completion_)] {
    if (completion) completion();
  });
}

namespace {

QGraphicsOpacityEffect* opacityEffect(QWidget* target) {
  if (auto* effect = dynamic_cast<QGraphicsOpacityEffect*>(target->graphicsEffect())) return effect;
  auto* effect = new QGraphicsOpacityEffect(target);
  effect->setOpacity(1.0);
  target->setGraphicsEffect(effect);
  return effect;
}

QPropertyAnimation* animation(QObject* target, const char* property, QVariant from, QVariant to, int durationMs,
                              const QEasingCurve& curve) {
  auto* made = new QPropertyAnimation(target, property);
  made->setStartValue(std::move(from));
  made->setEndValue(std::move(to));
  made->setDuration(durationMs);
  made->setEasingCurve(curve);
  return made;
}

void startGroup(QParallelAnimationGroup* group, AFXAnimationCompletion done) {
  QObject::connect(group, &QAbstractAnimation::finished, [done = std::move(done)] {
    if (done) done();
  });
  group->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace

void AFXSetOpacity(QWidget* target, double opacity) { opacityEffect(target)->setOpacity(opacity); }

double AFXOpacity(QWidget* target) {
  const auto* effect = dynamic_cast<QGraphicsOpacityEffect*>(target->graphicsEffect());
  return effect ? effect->opacity() : 1.0;
}

void AFXAnimateFrameAndOpacity(QWidget* target, QRect fromFrame, QRect toFrame, double fromOpacity, double toOpacity,
                               int durationMs, const QEasingCurve& curve, AFXAnimationCompletion done) {
  auto* effect = opacityEffect(target);
  target->setGeometry(fromFrame);
  effect->setOpacity(fromOpacity);
  auto* group = new QParallelAnimationGroup(target);
  group->addAnimation(animation(target, "geometry", fromFrame, toFrame, durationMs, curve));
  group->addAnimation(animation(effect, "opacity", fromOpacity, toOpacity, durationMs, curve));
  startGroup(group, std::move(done));
}

void AFXAnimateOpacity(QWidget* target, double fromOpacity, double toOpacity, int durationMs, const QEasingCurve& curve,
                       AFXAnimationCompletion done) {
  auto* effect = opacityEffect(target);
  effect->setOpacity(fromOpacity);
  auto* group = new QParallelAnimationGroup(target);
  group->addAnimation(animation(effect, "opacity", fromOpacity, toOpacity, durationMs, curve));
  startGroup(group, std::move(done));
}
