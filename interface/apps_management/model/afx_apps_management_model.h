#pragma once

// Registers every record class of the apps management family (and of the
// model beneath it), so that archives naming them decode in programs that
// look classes up by name before making any record.

void AFXRegisterAppsManagementModelClasses();
