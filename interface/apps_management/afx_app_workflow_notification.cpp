#include "interface/apps_management/afx_app_workflow_notification.h"

#include "foundation/data.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "interface/interprocess/afx_desktop_client_constants.h"

std::shared_ptr<fnd::Dictionary> AFXAppWorkflowChangedNotificationUserInfo(const std::shared_ptr<AFXAppWorkflow>& workflow) {
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(workflow));
  if (!archive) return nullptr;
  return fnd::Dictionary::make({{fnd::Value(AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey),
                                 fnd::Value(fnd::Data::make(std::move(*archive)))}});
}

std::shared_ptr<AFXAppWorkflow> AFXAppWorkflowFromChangedNotificationUserInfo(const std::shared_ptr<fnd::Dictionary>& userInfo) {
  auto data = userInfo ? userInfo->objectForKey(AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey).as<fnd::Data>()
                       : nullptr;
  if (!data) return nullptr;
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(AFXAppWorkflow::staticClass(), data->bytes());
  return decoded ? decoded->as<AFXAppWorkflow>() : nullptr;
}
