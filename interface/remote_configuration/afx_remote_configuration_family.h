#pragma once

// The remote configuration family: one request for the configuration of
// the service's environment.

#include "interface/services/afx_service_family.h"

const AFXServiceFamily& AFXRemoteConfigurationFamily();
