#pragma once

// Unpacks an archive for placement and finds the app bundle in it.

#include <functional>
#include <memory>

#include "foundation/expected.h"
#include "foundation/url.h"

// Unpacks the archive into a fresh temporary folder, blocking the caller
// until done (call it from a work queue, never the main thread), and returns
// the first app bundle in that folder: pre-order, packages entered, hidden
// items skipped. `progressHandler` (required) sees the whole unpacking, from
// 0.1 to 1.0. Every failure, and an archive holding no app, is
// afx_didFailToUnpackApp; the unarchiver's own error is logged. The
// temporary folder stays: the caller moves the app out of it.
[[nodiscard]] fnd::Expected<std::shared_ptr<fnd::URL>> AFXUnpack(const std::shared_ptr<fnd::URL>& archiveURL,
                                                                 const std::function<void(double)>& progressHandler);
