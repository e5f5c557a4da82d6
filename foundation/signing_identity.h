#pragma once

// A signing identity: a private key and the certificate chain that names it,
// leaf first. Identities come from PEM files (what a developer signs with)
// or are issued here, as a root, an intermediate or a leaf under another
// identity, for test and demonstration chains.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/clock.h"
#include "foundation/expected.h"

namespace fnd {

struct CertificateRequest {
  // Attribute short names and values, in order: {{"CN", "..."}, {"OU", "..."}}.
  std::vector<std::pair<std::string, std::string>> subject;
  bool isAuthority = false;
  Clock::WallTimePoint notBefore;
  Clock::WallTimePoint notAfter;
};

class SigningIdentity {
 public:
  struct State;

  // `keyPEM` holds the private key (and may hold certificates too);
  // `chainPEM` the certificates, among them the one of the key, which
  // becomes the leaf. Bad PEM or a key that no certificate names fails with
  // NSCocoaErrorDomain 259 (the file's contents are not understood).
  [[nodiscard]] static Expected<SigningIdentity> withPEM(std::string_view keyPEM, std::string_view chainPEM);
  [[nodiscard]] static Expected<SigningIdentity> withPEMFiles(const std::string& keyPath, const std::string& chainPath);

  // A new P-256 key and a certificate for it, signed by `issuer` (whose
  // chain follows the new leaf) or by itself when there is no issuer.
  [[nodiscard]] static Expected<SigningIdentity> issue(const CertificateRequest& request,
                                                       const SigningIdentity* issuer);

  std::string privateKeyPEM() const;
  // The leaf only, and the whole chain (leaf first).
  std::string certificatePEM() const;
  std::string chainPEM() const;
  std::vector<std::uint8_t> certificateDER() const;

  const std::shared_ptr<const State>& state() const { return state_; }

 private:
  explicit SigningIdentity(std::shared_ptr<const State> state) : state_(std::move(state)) {}

  std::shared_ptr<const State> state_;
};

}  // namespace fnd
