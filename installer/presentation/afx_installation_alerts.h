#pragma once

// The installer's two alerts, shown as sheets on its window. Their first
// button answers AFXAlertFirstButtonReturn, the second the one after it;
// Escape and closing the sheet answer as the first, which never quits.

#include <QMessageBox>
#include <functional>
#include <optional>
#include <string>

#include "tools/ui/qv_error_presentation_controller.h"

inline constexpr int AFXAlertFirstButtonReturn = QVAlertFirstButtonReturn;
inline constexpr int AFXAlertSecondButtonReturn = QVAlertFirstButtonReturn + 1;

// Asks whether to quit an installation in progress.
QMessageBox* AFXInstallationIncompleteAlert();
// Tells that the installation failed; `description` replaces the default
// informative text when given.
QMessageBox* AFXInstallationErrorAlert(const std::optional<std::string>& description);

// Shows `alert` window-modally on `window` and calls `handler` once with the
// button's return value when it closes; the alert then goes.
void AFXBeginSheetModal(QMessageBox* alert, QWidget* window, std::function<void(int response)> handler);
