#pragma once

// Views that show and hide themselves, animated or at once, and the joining
// of several such changes into one completion.

#include <QAbstractAnimation>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>

using AFXAnimationCompletion = std::function<void()>;

class AFXAnimatable {
 public:
  virtual ~AFXAnimatable() = default;
  // `completion` is called once, when the change is complete.
  virtual void showAnimated(bool animated, AFXAnimationCompletion completion) = 0;
  virtual void hideAnimated(bool animated, AFXAnimationCompletion completion) = 0;
};

// Calls `completion` on the main queue once every part made by `part()` has
// been called, and not before `seal()` (so parts that finish at once do not
// end the group while others are still being started).
class AFXCompletionGroup : public std::enable_shared_from_this<AFXCompletionGroup> {
 public:
  static std::shared_ptr<AFXCompletionGroup> create(AFXAnimationCompletion completion);
  AFXAnimationCompletion part();
  void seal();

 private:
  explicit AFXCompletionGroup(AFXAnimationCompletion completion) : completion_(std::move(completion)) {}
  void leave();
  AFXAnimationCompletion completion_;
  int pending_ = 1;
};

// Starts an animation of `target`'s geometry and opacity together (opacity
// through an effect installed for the purpose), deleting the animation when
// it ends and calling `done` then.
void AFXAnimateFrameAndOpacity(QWidget* target, QRect fromFrame, QRect toFrame, double fromOpacity, double toOpacity,
                               int durationMs, const QEasingCurve& curve, AFXAnimationCompletion done);
// Only the opacity.
void AFXAnimateOpacity(QWidget* target, double fromOpacity, double toOpacity, int durationMs, const QEasingCurve& curve,
                       AFXAnimationCompletion done);
// Sets the opacity at once.
void AFXSetOpacity(QWidget* target, double opacity);
double AFXOpacity(QWidget* target);
