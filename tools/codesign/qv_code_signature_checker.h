#pragma once

// Checks code signatures of app bundles against code requirements through
// the platform's code-signing services. Stateless: every call examines the
// bundle as it is on disk at that moment, from any thread. A check reads the
// whole bundle, so keep it off the main thread.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/url.h"

// A bundle that holds this entitlement runs in the application sandbox.
inline constexpr std::string_view QVCodeSignatureSandboxRequirement =
    "entitlement[\"com.apple.security.app-sandbox\"] exists";

class QVCodeSignatureChecker {
 public:
  QVCodeSignatureChecker() = delete;

  // True when the bundle is validly signed and satisfies `requirement` (none
  // or empty: the signature's validity only). On failure `error`, when given,
  // is the status in NSOSStatusErrorDomain with the services' information
  // and a description.
  [[nodiscard]] static bool codeSignatureAtURL(const fnd::URL& url, const std::optional<std::string>& requirement,
                                               std::optional<fnd::Error>* error = nullptr);
  [[nodiscard]] static bool codeSignatureIsValidAtURL(const fnd::URL& url);
  // Signed with the sandbox entitlement, and that entitlement switched on.
  [[nodiscard]] static bool isApplicationSandboxedAtURL(const fnd::URL& url);
  // A copy of the signing information; null when there is no code or the
  // information cannot be read.
  static std::shared_ptr<fnd::Dictionary> codeSignatureInfoAtURL(const fnd::URL& url);
};
