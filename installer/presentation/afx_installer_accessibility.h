#pragma once

// The identifiers tests and assistive tools find the installer's elements by;
// each is the element's objectName.

#include <string_view>

#include "installer/presentation/afx_installer_resources.h"

inline constexpr std::string_view AFXInstallerAccessibilityIdentifierMainWindow = "installer-window";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierStopButton = "installer.stop-button";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierLaunchButton = "installer.launch-button";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierProgressBar = "installer.progress-bar";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierKorviaLogoView = "installer.korvia-logo-view";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationStatusLabel = "installer.status-label";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierPaginationView = "installer.pagination-view";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow =
    "installer.incomplete-alert";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow =
    "installer.error-alert";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton =
    "installer.alert-default-button";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton =
    "installer.alert-alter-button";
// Reserved for a direct-download button of the alerts; no element carries it.
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierInstallationDirectDownloadButton =
    "installer.alert-direct-download-button";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierOnboardingContentView =
    "installer.onboarding-content-view";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierOnboardingTopPane = "installer.onboarding-top-pane";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierOnboardingTopPaneIconView =
    "installer.onboarding-top-pane-icon";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierOnboardingTitleLabel = "installer.onboarding-title";
inline constexpr std::string_view AFXInstallerAccessibilityIdentifierOnboardingDescriptionLabel =
    "installer.onboarding-description";

// Sets a widget's identifier.
template <class Widget>
void AFXSetAccessibilityIdentifier(Widget* widget, std::string_view identifier) {
  if (widget) widget->setObjectName(AFXQString(identifier));
}
