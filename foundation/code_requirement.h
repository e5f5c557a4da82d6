#pragma once

// Code requirements: small boolean expressions over a signature, compiled
// from the requirement language's text and evaluated against what a signature
// shows (its certificate chain, the signing identifier, the entitlements).
//
//   requirement := or
//   or          := and ("or" and)*
//   and         := unary ("and" unary)*
//   unary       := "!" unary | "(" or ")" | clause
//   clause      := "anchor" "apple" ["generic"] | "anchor" "trusted"
//                | ("certificate" | "cert") position "[" field "]" match
//                | "identifier" ["="] string
//                | "entitlement" "[" string "]" match
//                | "always" | "never"
//   position    := "leaf" | "root" | "anchor" | integer (0 is the leaf)
//   match       := "exists" | "=" operand
//
// The text is untrusted (it may come from a signature or a configuration),
// so compiling bounds its length and nesting and fails with
// errSecCSReqInvalid, never a crash.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd {

// Statuses of the code-signing services, reported in NSOSStatusErrorDomain.
inline constexpr std::int64_t errSecCSStaticCodeNotFound = -67068;
inline constexpr std::int64_t errSecCSUnsigned = -67062;
inline constexpr std::int64_t errSecCSSignatureFailed = -67061;
inline constexpr std::int64_t errSecCSBadResource = -67054;
inline constexpr std::int64_t errSecCSReqInvalid = -67052;
inline constexpr std::int64_t errSecCSReqFailed = -67050;
inline constexpr std::int64_t errSecCSBadObjectFormat = -67049;
inline constexpr std::int64_t errSecCSInternalError = -67048;

// User-information key of a compile failure: where and why the text broke.
inline constexpr std::string_view kSecCFErrorRequirementSyntax = "SecRequirementSyntax";

inline constexpr std::size_t kRequirementMaximumLength = 64 * 1024;
inline constexpr std::size_t kRequirementMaximumDepth = 64;

// What a requirement can ask of a signature.
class RequirementContext {
 public:
  virtual ~RequirementContext() = default;

  // The chain ends at the platform's configured anchor, valid now.
  virtual bool isAnchoredAtPlatformAnchor() const = 0;
  // The chain ends at the platform's anchor or a root the system trusts.
  virtual bool isAnchoredAtTrustedRoot() const = 0;
  // `position` counts from the leaf (0); -1 is the root. `field` is spelt
  // "subject.OU", "issuer.CN" and so on. None when the certificate or the
  // field is absent.
  virtual std::optional<std::string> certificateField(int position, std::string_view field) const = 0;
  virtual std::string signingIdentifier() const = 0;
  // Nil when the signature carries no such entitlement.
  virtual Value entitlement(std::string_view key) const = 0;
};

class Requirement {
 public:
  struct Node;

  [[nodiscard]] static Expected<std::shared_ptr<const Requirement>> createWithString(std::string_view text);
  ~Requirement();
  Requirement(const Requirement&) = delete;
  Requirement& operator=(const Requirement&) = delete;

  const std::string& text() const { return text_; }
  bool isSatisfiedBy(const RequirementContext& context) const;

 private:
  Requirement(std::string text, std::unique_ptr<Node> root);

  std::string text_;
  std::unique_ptr<Node> root_;
};

}  // namespace fnd
