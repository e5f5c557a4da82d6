#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "foundation/error.h"

// The recovery half of presenting an error, without the alert: the alert
// controller makes one when its alert goes on screen and tells it the button
// that closed the alert; tests drive it with a chosen option.
class QVErrorRecoveryPresentation {
 public:
  // Starts the recovery of the error's info, if it has one; `withdraw`
  // dismisses the alert when the recovery becomes unnecessary.
  QVErrorRecoveryPresentation(fnd::Error error, std::function<void()> withdraw);

  const fnd::Error& error() const { return error_; }

  // The alert closed with the option at `optionIndex` (the first button is
  // 0). Answers the error to present next: none for an error without
  // recovery, a withdrawn presentation, or a recovery that answered none.
  [[nodiscard]] std::optional<fnd::Error> alertDidCloseWithOptionIndex(std::size_t optionIndex);

 private:
  fnd::Error error_;
};
