#pragma once

// The system management family: every request, response and report class
// of the global service that owns the environment, the customer, the
// activities, termination, sign-in and uninstallation.

#include <string_view>

#include "interface/services/afx_service_family.h"

const AFXServiceFamily& AFXSystemManagementFamily();

inline constexpr std::string_view AFXSystemManagementSignInWorkflowChangedNotificationWorkflowKey = "sign_in_workflow";
