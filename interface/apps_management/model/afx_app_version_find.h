#pragma once

// Finding an app's version by the text users see.

#include <string_view>

#include "foundation/value.h"
#include "interface/model/afx_app.h"

// The first version of the app whose uiVersion is `uiVersion`; nil when none.
fnd::Value AFXAppVersionFind(const AFXApp& app, std::string_view uiVersion);
