#pragma once

// The recommendations family: the apps recommended to one customer.

#include "interface/services/afx_service_family.h"

const AFXServiceFamily& AFXRecommendationsFamily();
