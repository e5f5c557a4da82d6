#pragma once

// Errors that carry their recovery: the texts and options an alert shows and
// the QVErrorRecoveryAttemptInfo that acts on the option picked.
//
// Texts given as empty strings leave their keys out. The operations that act
// on the recovery (recoverWithIndexOfOption, noNeedForRecovery,
// notifyRecoveryCompletionWithBlock, isPresentationLaunched,
// isPresentationCancelled) require the error to carry a recovery attempt
// info: calling them on one without is a programming error
// ("nil != self.recoveryAttemptInfo").

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "tools/recovery/qv_error_recovery_attempt_info.h"

// `userInfo` plus the description, the suggestion and the one option.
[[nodiscard]] fnd::Error errorWithDomain(std::string_view domain, std::int64_t code, std::string_view description,
                                         std::string_view recoverySuggestion, std::string_view recoveryOption,
                                         const std::shared_ptr<fnd::Dictionary>& userInfo);

// `userInfo` plus the texts, the options (button titles, first = default) and
// a new recovery attempt info made from `recoveryAttemptBlock`.
[[nodiscard]] fnd::Error errorWithDomain(std::string_view domain, std::int64_t code, std::string_view description,
                                         std::string_view recoverySuggestion,
                                         const std::vector<std::string>& recoveryOptions,
                                         const std::shared_ptr<fnd::Dictionary>& userInfo,
                                         QVErrorRecoveryAttemptBlock recoveryAttemptBlock);

// A copy of `error` whose user information also holds a new recovery attempt
// info made from the block.
[[nodiscard]] fnd::Error errorWithRecoveryAttemptBlock(const fnd::Error& error,
                                                       QVErrorRecoveryAttemptBlock recoveryAttemptBlock);

// Maps an option of the overriding error to the option of the error it hides.
using QVErrorRecoveryOptionIndexMapping = std::function<std::size_t(std::size_t optionIndex)>;

// Shows `error` in other words: a new error with the given domain, code,
// texts and options (and `userInfo`'s entries) whose underlying error is
// `error`. Picking an option of the new error recovers `error` with the
// option mapped through `mapOptionIndex` (unchanged when it is empty); when
// `error`'s own recovery is over, the new error no longer needs recovery.
// `error` must carry a recovery attempt info.
[[nodiscard]] fnd::Error overrideWithErrorWithDomain(const fnd::Error& error, std::string_view domain,
                                                     std::int64_t code, std::string_view description,
                                                     std::string_view recoverySuggestion,
                                                     const std::vector<std::string>& recoveryOptions,
                                                     const std::shared_ptr<fnd::Dictionary>& userInfo,
                                                     QVErrorRecoveryOptionIndexMapping mapOptionIndex);

// The info under QVErrorRecoveryAttemptInfoKey, if it is one.
std::shared_ptr<QVErrorRecoveryAttemptInfo> recoveryAttemptInfo(const fnd::Error& error);

// finishRecoveryOfError on the error's info.
[[nodiscard]] std::optional<fnd::Error> recoverWithIndexOfOption(const fnd::Error& error, std::size_t optionIndex);
// noNeedForRecoveryOfError on the error's info.
void noNeedForRecovery(const fnd::Error& error);
void notifyRecoveryCompletionWithBlock(const fnd::Error& error, QVErrorRecoveryCompletionBlock block);
bool isPresentationLaunched(const fnd::Error& error);
bool isPresentationCancelled(const fnd::Error& error);
