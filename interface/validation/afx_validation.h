#pragma once

// How thoroughly an app bundle from the network is checked before it is put
// in place, and the check itself.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/error.h"
#include "foundation/url.h"

enum AFXValidation : std::uint64_t {
  // Accepted without a check.
  AFXValidationNone = 0,
  // Signed through the platform's certificate chain at all.
  AFXValidationAppleAnchor = 1,
  // Signed by the product maker's own developer team.
  AFXValidationTeamAnchor = 2,
};

inline constexpr std::string_view AFXValidationAppleAnchorRequirement = "anchor apple generic";
inline constexpr std::string_view AFXValidationTeamAnchorRequirement =
    "anchor apple generic and certificate leaf[subject.OU] = \"K7QW2ZP9XD\"";

// True when the app is acceptable. `appURL` is required. On failure the error
// (when asked for) is afx_appSignatureCheckFailedWithError over the checker's
// status error; on success it is cleared, except for AFXValidationNone, which
// leaves it alone. A value outside the enumeration is a programming error.
[[nodiscard]] bool AFXValidateApp(const std::shared_ptr<fnd::URL>& appURL, AFXValidation validation,
                                  std::optional<fnd::Error>* error = nullptr);
