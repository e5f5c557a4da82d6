#pragma once

// What the installer and the library fix about the desktop client: its
// names, start argument, services, notifications and URLs.

#include <string>
#include <string_view>

#include "foundation/url.h"

inline constexpr std::string_view AFXDesktopClientBundleIdentifier = "com.korvia.DesktopClient";
inline constexpr std::string_view AFXDesktopClientBundleName = "Korvia.app";
inline constexpr std::string_view AFXDesktopClientArchivePath = "/com.korvia.DesktopClient/Korvia.zip";

// The distribution server that serves the client's archive and catalogue:
// $KORVIA_DISTRIBUTION_URL when set, else the service's own host.
inline constexpr std::string_view AFXDistributionURLVariable = "KORVIA_DISTRIBUTION_URL";
inline constexpr std::string_view AFXDefaultDistributionURL = "https://distribution.korvia.com";
inline std::string AFXDistributionBaseURLString() {
  return fnd::baseURLStringFromEnvironment(AFXDistributionURLVariable, AFXDefaultDistributionURL);
}
inline constexpr std::string_view AFXDesktopClientSilentLaunchArgument = "-silentLaunch";
inline constexpr std::string_view AFXDesktopClientSharedPreferencesSuiteName = "com.korvia.DesktopClient";

inline constexpr std::string_view AFXDesktopClientDiscoveryURLScheme = "korviadiscovery";
inline constexpr std::string_view AFXDesktopClientDiscoveryOpenCollectionCommand = "open_collection";

// Mach service names: well-known bus names of the client's services.
inline constexpr std::string_view AFXSystemManagementServiceName = "com.korvia.SystemManagementService";
inline constexpr std::string_view AFXAppsManagementServiceName = "com.korvia.AppsManagementService";
inline constexpr std::string_view AFXUIManagementServiceName = "com.korvia.UIManagementService";
inline constexpr std::string_view AFXRemoteConfigurationServiceName = "com.korvia.RemoteConfigurationService";
inline constexpr std::string_view AFXRecommendationsServiceName = "com.korvia.RecommendationsService";

// Distributed notifications the client posts.
inline constexpr std::string_view AFXAppsManagementAppWorkflowChangedNotification = "com.korvia.app-workflow-changed";
inline constexpr std::string_view AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey = "app_workflow";
inline constexpr std::string_view AFXSystemManagementCurrentEnvironmentChangedNotification =
    "com.korvia.system-management-service.current-environment-changed";
inline constexpr std::string_view AFXSystemManagementCurrentCustomerChangedNotification =
    "com.korvia.system-management-service.current-customer-changed";
inline constexpr std::string_view AFXDidHandleSystemIntegrityRestorationNotification =
    "com.korvia.did-handle-system-integrity-restoration";
inline constexpr std::string_view AFXSystemManagementSignInWorkflowChangedNotification =
    "com.korvia.system-management-service.sign-in-workflow-changed";
inline constexpr std::string_view AFXSystemManagementSignOutProcessStartedNotification =
    "com.korvia.system-management-service.sign-out-process-started";
inline constexpr std::string_view AFXSystemManagementSignOutProcessFinishedNotification =
    "com.korvia.system-management-service.sign-out-process-finished";
inline constexpr std::string_view AFXAppsManagementAppsChangedNotification = "com.korvia.apps-changed";
inline constexpr std::string_view AFXAppsManagementAppVendorInstancesChangedNotification =
    "com.korvia.app-vendor-instances-changed";
inline constexpr std::string_view AFXAppsManagementTeaserAppWorkflowChangedNotification =
    "com.korvia.teaser-app-workflow-changed";
