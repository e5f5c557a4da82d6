#pragma once

// Opening a placed app's files to every user of the machine: whatever the
// owner may do, group and others may do too. No bit is ever taken away.

#include <functional>
#include <optional>

#include "foundation/error.h"
#include "foundation/url.h"

// Grants the owner's read, write and execute bits to group and others
// (0700 becomes 0777, 0644 becomes 0666). False, with the error when asked
// for, when the item could not be read or written. Symbolic links have no
// permissions of their own and are left alone.
[[nodiscard]] bool AFXFixPermissions(const fnd::URL& url, std::optional<fnd::Error>* error = nullptr);

// The item itself, then every item below it, hidden ones included. Each
// failure, and each folder that cannot be read, goes to `onError` when
// given; when it answers false the walk stops and the result is false.
using AFXPermissionsErrorHandler = std::function<bool(const fnd::Error& error)>;
[[nodiscard]] bool AFXFixPermissionsRecursive(const fnd::URL& url, const AFXPermissionsErrorHandler& onError = nullptr);
