#pragma once

// The user-interface management family: the desktop client's windows,
// alerts and user notifications shown on behalf of other processes.

#include <cstdint>
#include <memory>

#include "interface/services/afx_service_family.h"
#include "tools/qv_enum_value_transformer.h"

const AFXServiceFamily& AFXUIManagementFamily();

enum AFXUserNotificationKind : std::uint64_t {
  AFXUserNotificationKindUnknown = 0,
  AFXUserNotificationKindNoInternet = 1,
  AFXUserNotificationKindSubscriptionGraced = 2,
  AFXUserNotificationKindTrialNeedPaymentInfo = 3,
};

// Codes the kind as its name; a missing or unknown name decodes to 0.
std::shared_ptr<const QVEnumValueTransformer> AFXUserNotificationKindValueTransformer();
