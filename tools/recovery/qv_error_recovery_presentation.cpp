#include "tools/recovery/qv_error_recovery_presentation.h"

#include <utility>

#include "tools/recovery/qv_error_recovery.h"

QVErrorRecoveryPresentation::QVErrorRecoveryPresentation(fnd::Error error, std::function<void()> withdraw)
    : error_(std::move(error)) {
  if (auto info = recoveryAttemptInfo(error_)) {
    info->startRecoveryOfError(error_, [withdraw = std::move(withdraw)](const auto&) {
      if (withdraw) withdraw();
    });
  }
}

std::optional<fnd::Error> QVErrorRecoveryPresentation::alertDidCloseWithOptionIndex(std::size_t optionIndex) {
  const auto info = recoveryAttemptInfo(error_);
  if (!info || info->isCancelled()) return std::nullopt;
  return info->finishRecoveryOfError(error_, optionIndex);
}
