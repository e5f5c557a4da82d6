#pragma once

// The presentation hints an error carries in its user information: how the
// alert that shows it looks and behaves. Errors are built with these by
// whoever raises them; the error presentation controller reads them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "foundation/class.h"
#include "foundation/object.h"

// Unsigned number: one of the alert styles below.
inline constexpr std::string_view QVErrorAlertStyleKey = "QVErrorAlertStyle";
// Image: the alert's icon.
inline constexpr std::string_view QVErrorAlertIconKey = "QVErrorAlertIcon";
// String: the accessibility identifier of the alert's window.
inline constexpr std::string_view QVErrorAccessibilityIdentifierKey = "QVErrorAccessibilityIdentifier";
// Boolean number: YES takes the Return key equivalent off the first button.
inline constexpr std::string_view QVErrorDestructiveOptionsKey = "QVErrorDestructiveOptions";
// Boolean number: YES leaves the application where it is instead of bringing
// it to the front.
inline constexpr std::string_view QVErrorSuppressActivationKey = "QVErrorSuppressActivation";
// Dictionary with the keys below: the suppression check box under the alert.
inline constexpr std::string_view QVErrorSuppressionButtonInfoKey = "QVErrorSuppressionButtonInfo";
// QVErrorRecoveryAttemptInfo: the error's recovery attempt.
inline constexpr std::string_view QVErrorRecoveryAttemptInfoKey =
    "com.korvia.DesktopClient.error-recovery.Attempt-info";

// Boolean number: show the check box.
inline constexpr std::string_view QVErrorSuppressionButtonInfoShouldShowKey = "QVErrorSuppressionButtonInfoShouldShow";
// String: its title.
inline constexpr std::string_view QVErrorSuppressionButtonInfoTitleKey = "QVErrorSuppressionButtonInfoTitle";
// Integer number: its initial state.
inline constexpr std::string_view QVErrorSuppressionButtonInfoInitialStateKey =
    "QVErrorSuppressionButtonInfoInitialState";
// QVErrorSuppressionCompletion: told the check box's state when the alert
// closes.
inline constexpr std::string_view QVErrorSuppressionButtonInfoCompletionKey = "QVErrorSuppressionButtonInfoCompletion";

// The values of QVErrorAlertStyleKey, as the platform numbers alert styles.
inline constexpr std::uint64_t NSAlertStyleWarning = 0;
inline constexpr std::uint64_t NSAlertStyleInformational = 1;
inline constexpr std::uint64_t NSAlertStyleCritical = 2;

// A function taking the check box's final state, wrapped as an object so it
// can travel in the suppression dictionary.
class QVErrorSuppressionCompletion final : public fnd::Object {
 public:
  using Block = std::function<void(std::int64_t state)>;

  static const fnd::Class& staticClass();
  // A null block is a programming error.
  static std::shared_ptr<QVErrorSuppressionCompletion> make(Block block);

  void operator()(std::int64_t state) const { block_(state); }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  explicit QVErrorSuppressionCompletion(Block block) : block_(std::move(block)) {}
  Block block_;
};
