#pragma once

// A throw-away certificate authority and a certificate for "localhost",
// 127.0.0.1 and ::1 signed by it, for the distribution server in tests and
// demos. Writes ca.pem, ca-key.pem, server.pem (the server's chain) and
// server-key.pem into the folder, keys readable by the owner only.

#include <string>

#include "foundation/expected.h"

namespace korvia::distribution {

[[nodiscard]] fnd::Expected<void> makeTestCertificates(const std::string& folder);

}  // namespace korvia::distribution
