#pragma once

// The recovery attempt of an error, kept in its user information under
// QVErrorRecoveryAttemptInfoKey. Presenting the error starts the recovery;
// the option the user picks finishes it; an alert that is no longer needed
// is withdrawn through noNeedForRecoveryOfError. Whoever waits for the
// recovery to be over asks for a completion notification, which fires once:
// when the recovery is declared unnecessary or when the info is destroyed.
//
// Start and finish belong to the presentation and run on the main thread
// (checked); a withdrawal asked for elsewhere is carried out on the main
// queue. The flags may be read anywhere.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "foundation/class.h"
#include "foundation/error.h"
#include "foundation/group.h"
#include "foundation/object.h"

class QVErrorRecoveryAttemptInfo;

// Performs the recovery for the option at `optionIndex` (0 = first) and
// answers the error to present next, if any.
using QVErrorRecoveryAttemptBlock =
    std::function<std::optional<fnd::Error>(const fnd::Error& error, std::size_t optionIndex)>;
// Dismisses the alert showing the info's error.
using QVErrorRecoveryCancellationBlock = std::function<void(const std::shared_ptr<QVErrorRecoveryAttemptInfo>& info)>;
// Told YES when the recovery ended without being withdrawn.
using QVErrorRecoveryCompletionBlock = std::function<void(bool recovered)>;

class QVErrorRecoveryAttemptInfo final : public fnd::Object {
 public:
  static const fnd::Class& staticClass();

  // `block` may be empty: the recovery is then the underlying error's.
  static std::shared_ptr<QVErrorRecoveryAttemptInfo> recoveryAttemptInfoWithBlock(QVErrorRecoveryAttemptBlock block);
  ~QVErrorRecoveryAttemptInfo() override;

  const QVErrorRecoveryAttemptBlock& recoveryAttemptBlock() const { return recoveryAttemptBlock_; }
  const QVErrorRecoveryCancellationBlock& cancellationBlock() const { return cancellationBlock_; }

  // An alert for this error is on screen.
  bool isLaunched() const { return state_->launched.load(); }
  void setLaunched(bool launched) { state_->launched.store(launched); }
  // The presentation was withdrawn.
  bool isCancelled() const { return state_->cancelled.load(); }
  void setCancelled(bool cancelled) { state_->cancelled.store(cancelled); }

  // Entered once at creation; left once, when recovery is no longer needed or
  // the info is destroyed.
  const fnd::Group& recoveryFinishAwaitingGroup() const { return state_->group; }

  // The alert showing `error` is on screen; `cancellationBlock` withdraws it.
  void startRecoveryOfError(const fnd::Error& error, QVErrorRecoveryCancellationBlock cancellationBlock);
  // The user picked the option at `optionIndex`: runs the recovery and
  // answers the error to present next. Calling it after the presentation was
  // withdrawn is a programming error.
  [[nodiscard]] std::optional<fnd::Error> finishRecoveryOfError(const fnd::Error& error, std::size_t optionIndex);
  // Withdraws an alert that is on screen (its button is then ignored) and
  // fires the completion notifications. Off the main thread this happens
  // asynchronously on the main queue.
  void noNeedForRecoveryOfError(const fnd::Error& error);
  // Calls `block` once on the main queue when the recovery is over.
  void notifyRecoveryCompletionWithBlock(QVErrorRecoveryCompletionBlock block);

  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string description() const override;

 private:
  // Shared with pending completion notifications, which must outlive the
  // info: its destruction is one of the events they wait for.
  struct State {
    std::atomic<bool> launched{false};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> groupLeft{false};
    fnd::Group group;
  };

  explicit QVErrorRecoveryAttemptInfo(QVErrorRecoveryAttemptBlock block);
  void leaveGroupOnce();

  const QVErrorRecoveryAttemptBlock recoveryAttemptBlock_;
  QVErrorRecoveryCancellationBlock cancellationBlock_;
  const std::shared_ptr<State> state_;
};
