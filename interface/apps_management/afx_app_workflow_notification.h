#pragma once

// The user information of the desktop client's "app workflow changed"
// notification: the new workflow as a keyed archive under its key. The
// client posts it; whoever follows an installation reads it back.

#include <memory>

#include "foundation/dictionary.h"
#include "interface/apps_management/model/afx_app_workflow.h"

// Null when the workflow cannot be archived.
std::shared_ptr<fnd::Dictionary> AFXAppWorkflowChangedNotificationUserInfo(const std::shared_ptr<AFXAppWorkflow>& workflow);
// Null when the entry is missing or does not decode to a workflow.
std::shared_ptr<AFXAppWorkflow> AFXAppWorkflowFromChangedNotificationUserInfo(const std::shared_ptr<fnd::Dictionary>& userInfo);
