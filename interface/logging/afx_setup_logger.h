#pragma once

// Logging set-up for the processes that carry the product library (the
// installer sets up none): the console, the system log, and a rolling file
// logger per log folder, "~/Library/Logs/Korvia" and, for a sandboxed app,
// the same folder under the user's real home.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/url.h"

// Log lines of the process are tagged "<name> ", filled to 20 characters.
void AFXSetupLogger(std::string_view name);
// The files of every registered file logger, each logger's newest first.
std::vector<std::shared_ptr<fnd::URL>> AFXGetSortedLogFiles();

// The line prefix for `name`: "<name> " padded on the right to 20 characters,
// never cut.
std::string AFXLogPrefixForName(std::string_view name);
// The folders AFXSetupLogger gives a file logger each.
std::vector<std::string> AFXLogDirectories(bool sandboxed);
