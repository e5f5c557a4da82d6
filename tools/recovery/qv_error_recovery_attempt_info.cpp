#include "tools/recovery/qv_error_recovery_attempt_info.h"

#include <utility>

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/queue.h"
#include "tools/recovery/qv_error_recovery.h"

namespace {

std::shared_ptr<QVErrorRecoveryAttemptInfo> underlyingInfo(const fnd::Error& error) {
  const auto underlying = error.underlyingError();
  return underlying ? recoveryAttemptInfo(*underlying) : nullptr;
}

}  // namespace

const fnd::Class& QVErrorRecoveryAttemptInfo::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVErrorRecoveryAttemptInfo", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<QVErrorRecoveryAttemptInfo> QVErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(
    QVErrorRecoveryAttemptBlock block) {
  return std::shared_ptr<QVErrorRecoveryAttemptInfo>(new QVErrorRecoveryAttemptInfo(std::move(block)));
}

QVErrorRecoveryAttemptInfo::QVErrorRecoveryAttemptInfo(QVErrorRecoveryAttemptBlock block)
    : recoveryAttemptBlock_(std::move(block)), state_(std::make_shared<State>()) {
  state_->group.enter();
}

QVErrorRecoveryAttemptInfo::~QVErrorRecoveryAttemptInfo() { leaveGroupOnce(); }

void QVErrorRecoveryAttemptInfo::leaveGroupOnce() {
  if (!state_->groupLeft.exchange(true)) state_->group.leave();
}

void QVErrorRecoveryAttemptInfo::startRecoveryOfError(const fnd::Error& error,
                                                      QVErrorRecoveryCancellationBlock cancellationBlock) {
  FND_PARAMETER_ASSERT(fnd::Queue::main().isCurrent());
  setLaunched(true);
  if (auto underlying = underlyingInfo(error)) underlying->setLaunched(true);
  cancellationBlock_ = std::move(cancellationBlock);
}

std::optional<fnd::Error> QVErrorRecoveryAttemptInfo::finishRecoveryOfError(const fnd::Error& error,
                                                                            std::size_t optionIndex) {
  FND_PARAMETER_ASSERT(fnd::Queue::main().isCurrent());
  FND_PARAMETER_ASSERT_TEXT(!isCancelled(), "![self isCancelled]");
  setLaunched(false);
  if (auto underlying = underlyingInfo(error)) underlying->setLaunched(false);
  if (recoveryAttemptBlock_) return recoveryAttemptBlock_(error, optionIndex);
  const auto underlyingError = error.underlyingError();
  if (!underlyingError) return std::nullopt;
  return recoverWithIndexOfOption(*underlyingError, optionIndex);
}

void QVErrorRecoveryAttemptInfo::noNeedForRecoveryOfError(const fnd::Error& error) {
  // Whoever finds the recovery unnecessary may run anywhere; the alert and
  // the withdraw function belong to the main thread.
  if (!fnd::Queue::main().isCurrent()) {
    auto self = std::static_pointer_cast<QVErrorRecoveryAttemptInfo>(shared_from_this());
    fnd::Queue::main().async([self = std::move(self), error] { self->noNeedForRecoveryOfError(error); });
    return;
  }
  if (isLaunched()) {
    setLaunched(false);
    setCancelled(true);
    if (auto underlying = underlyingInfo(error)) {
      underlying->setLaunched(false);
      underlying->setCancelled(true);
    }
    // The block may drop the last other reference to this info.
    const auto self = std::static_pointer_cast<QVErrorRecoveryAttemptInfo>(shared_from_this());
    if (cancellationBlock_) cancellationBlock_(self);
  }
  leaveGroupOnce();
}

void QVErrorRecoveryAttemptInfo::notifyRecoveryCompletionWithBlock(QVErrorRecoveryCompletionBlock block) {
  FND_PARAMETER_ASSERT(block);
  // The notification holds the state, never the info, so it cannot keep the
  // info alive and still fires when the info is destroyed.
  state_->group.notify(fnd::Queue::main(),
                       [state = state_, block = std::move(block)] { block(!state->cancelled.load()); });
}

std::string QVErrorRecoveryAttemptInfo::description() const {
  return fnd::StringWithFormat("<QVErrorRecoveryAttemptInfo launched=%d cancelled=%d>", isLaunched(), isCancelled());
}
