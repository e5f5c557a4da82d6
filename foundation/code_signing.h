#pragma once

// Code signatures of bundles. A signed bundle carries, in
// Contents/_CodeSignature/, the sealed-resources manifest "CodeResources" (a
// property list: the SHA-256 of every file of the bundle, the target text of
// every symbolic link, the signing identifier and the entitlements) and
// "CodeSignature", a detached CMS signature (DER) of that manifest by an X.509
// chain. Checking validity verifies the signature, then compares the manifest
// with the bundle as it is on disk, then evaluates a requirement against the
// chain, the identifier and the entitlements.
//
// The trust anchor of "anchor apple generic" is the root certificate (PEM)
// named by $KORVIA_CODESIGN_ANCHOR, read at every check; with none configured
// nothing satisfies it. Certificate validity is judged at the installed
// clock's wall time.
//
// Failures are statuses in NSOSStatusErrorDomain (see code_requirement.h);
// their user information is what the platform's error object would carry.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/code_requirement.h"
#include "foundation/dictionary.h"
#include "foundation/expected.h"
#include "foundation/signing_identity.h"
#include "foundation/url.h"

namespace fnd {

using SecCSFlags = std::uint32_t;
inline constexpr SecCSFlags kSecCSDefaultFlags = 0;
// Every architecture of the executable; bundles here have one, so this
// changes nothing but is accepted.
inline constexpr SecCSFlags kSecCSCheckAllArchitectures = 1u << 0;

// User information of a resources failure: arrays of the file URLs added,
// changed (content, link target or kind) and missing since signing.
inline constexpr std::string_view kSecCFErrorResourceAdded = "SecCSResourceAdded";
inline constexpr std::string_view kSecCFErrorResourceAltered = "SecCSResourceAltered";
inline constexpr std::string_view kSecCFErrorResourceMissing = "SecCSResourceMissing";
// User information of a requirement failure: the requirement's text.
inline constexpr std::string_view kSecCFErrorRequirementFailed = "SecCSRequirementFailed";

// Keys of the signing information.
inline constexpr std::string_view kSecCodeInfoIdentifier = "identifier";
inline constexpr std::string_view kSecCodeInfoFormat = "format";
inline constexpr std::string_view kSecCodeInfoMainExecutable = "main-executable";
inline constexpr std::string_view kSecCodeInfoEntitlementsDict = "entitlements-dict";
inline constexpr std::string_view kSecCodeInfoTeamIdentifier = "teamid";
inline constexpr std::string_view kSecCodeInfoCertificates = "certificates";
inline constexpr std::string_view kSecCodeInfoSource = "source";

inline constexpr std::string_view kCodeSignatureAnchorEnvironment = "KORVIA_CODESIGN_ANCHOR";

// Code on disk, by location. Making one checks only that a bundle folder is
// there; every check reads the bundle afresh.
class StaticCode {
 public:
  // A missing item fails with errSecCSStaticCodeNotFound, one that is not a
  // folder with errSecCSBadObjectFormat.
  [[nodiscard]] static Expected<std::shared_ptr<const StaticCode>> createWithPath(const URL& url,
                                                                                  SecCSFlags flags = kSecCSDefaultFlags);

  const std::string& path() const { return path_; }

 private:
  explicit StaticCode(std::string path) : path_(std::move(path)) {}

  std::string path_;
};

class CodeSigning {
 public:
  CodeSigning() = delete;

  static constexpr std::string_view kSignatureFolder = "Contents/_CodeSignature";
  static constexpr std::string_view kResourcesFileName = "CodeResources";
  static constexpr std::string_view kSignatureFileName = "CodeSignature";

  // errSecCSUnsigned without a signature, errSecCSSignatureFailed when the
  // signature does not verify over the manifest (or either is damaged),
  // errSecCSBadResource when the bundle differs from the manifest,
  // errSecCSReqFailed when `requirement` (optional) is not met.
  [[nodiscard]] static Expected<void> checkValidity(const StaticCode& code, SecCSFlags flags,
                                                    const Requirement* requirement);

  // What the signature says, without checking the bundle's files against it:
  // identifier, format, main executable, entitlements, team identifier (the
  // leaf's organisational unit) and the certificates (DER data, leaf first).
  // Unsigned code gives only its format and main executable.
  [[nodiscard]] static Expected<std::shared_ptr<Dictionary>> copySigningInformation(const StaticCode& code);

  // Seals every file of the bundle and signs the manifest with `identity`.
  // `entitlements` may be null. The identifier is the bundle identifier, or
  // the folder's name without its extension when there is none.
  [[nodiscard]] static Expected<void> signBundle(const std::string& bundlePath, const SigningIdentity& identity,
                                                 const std::shared_ptr<Dictionary>& entitlements);

  // The platform's sentence for a status; none for statuses it does not know.
  static std::optional<std::string> messageForStatus(std::int64_t status);
};

}  // namespace fnd
