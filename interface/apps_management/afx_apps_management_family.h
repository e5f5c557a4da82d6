#pragma once

// The apps management family: every request, response and report class of
// the per-environment service that holds the catalogue, the resources, the
// installed instances and their workflows.

#include <string_view>

#include "interface/services/afx_service_family.h"

const AFXServiceFamily& AFXAppsManagementFamily();

inline constexpr std::string_view AFXAppsManagementTeaserAppsChangedNotification = "com.korvia.apps-changed";
inline constexpr std::string_view AFXAppsManagementTeaserAppWorkflowChangedNotificationWorkflowKey =
    "teaser_app_workflow";
inline constexpr std::string_view AFXAppsManagementAppVendorInstancesChangedNotificationAppKey = "com.korvia.app";
inline constexpr std::string_view AFXAppsManagementAppVendorInstancesChangedNotificationVendorInstancesKey =
    "com.korvia.vendor-app-instances";
inline constexpr std::string_view AFXAppsManagementFinderSyncTriggerNotification = "com.korvia.finder-sync-trigger";
