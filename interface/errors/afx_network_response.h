#pragma once

// Reading the outcome of a request to the service as an error: the transport
// error first, then the HTTP status. A fault-injection hook in the desktop
// client's shared preferences lets testers make any request fail with a
// chosen code.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/error.h"
#include "foundation/url.h"
#include "foundation/user_defaults.h"

// What the interpretation reads of a URL response.
struct AFXURLResponse {
  std::shared_ptr<fnd::URL> URL;
  // None for a response that is not an HTTP response.
  std::optional<std::int64_t> statusCode;

  std::string description() const;
};

// The preferences shared with the desktop client, domain
// "com.korvia.DesktopClient": the standard ones inside the client itself, the
// named suite elsewhere. Made once.
const std::shared_ptr<fnd::UserDefaults>& AFXDesktopClientSharedUserDefaults();

// The error the request ended with, or none when it succeeded.
//   - A non-zero integer "fake_<requestID>" in the shared preferences is the
//     code of the answer (default domain, {"fake": true}), whatever happened.
//   - Transport errors: a cancellation is returned as it is; POSIX
//     ECONNABORTED means software blocks the network; a lost or absent
//     connection is a network error; anything else an unknown network error.
//   - Statuses (no response or not HTTP: 0): 2xx none; 5xx server error on
//     the URL; 400/401, 402, 403, 404, 409, 424 their codes with the
//     server-error identifier; 410 afx_oldDesktopClient; anything else
//     -401540.
[[nodiscard]] std::optional<fnd::Error> afx_interpretNetworkResponse(const std::optional<AFXURLResponse>& response,
                                                                     std::string_view requestID,
                                                                     const std::optional<fnd::Error>& networkError);
