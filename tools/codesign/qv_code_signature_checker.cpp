#include "tools/codesign/qv_code_signature_checker.h"

#include "foundation/code_signing.h"

namespace {

// The services' error object as the caller sees it: the same information,
// with a description the services' message for the status supplies.
fnd::Error checkerError(const fnd::Error& status) {
  auto info = status.userInfo() ? status.userInfo() : fnd::Dictionary::make();
  if (info->objectForKey(fnd::NSLocalizedDescriptionKey).isNil()) {
    info = info->dictionaryBySettingObject(
        fnd::Value(fnd::CodeSigning::messageForStatus(status.code()).value_or("")),
        fnd::Value(fnd::NSLocalizedDescriptionKey));
  }
  return fnd::Error(fnd::NSOSStatusErrorDomain, status.code(), info);
}

fnd::Expected<void> check(const fnd::URL& url, const std::optional<std::string>& requirementText) {
  auto code = fnd::StaticCode::createWithPath(url, fnd::kSecCSDefaultFlags);
  if (!code) return code.error();
  std::shared_ptr<const fnd::Requirement> requirement;
  if (requirementText && !requirementText->empty()) {
    auto compiled = fnd::Requirement::createWithString(*requirementText);
    if (!compiled) return compiled.error();
    requirement = std::move(*compiled);
  }
  return fnd::CodeSigning::checkValidity(**code, fnd::kSecCSCheckAllArchitectures, requirement.get());
}

}  // namespace

bool QVCodeSignatureChecker::codeSignatureAtURL(const fnd::URL& url, const std::optional<std::string>& requirement,
                                                std::optional<fnd::Error>* error) {
  auto result = check(url, requirement);
  if (result) return true;
  if (error) *error = checkerError(result.error());
  return false;
}

bool QVCodeSignatureChecker::codeSignatureIsValidAtURL(const fnd::URL& url) {
  return codeSignatureAtURL(url, std::nullopt);
}

bool QVCodeSignatureChecker::isApplicationSandboxedAtURL(const fnd::URL& url) {
  // An entitlement that is present but false does not sandbox the app.
  return codeSignatureAtURL(url, std::string(QVCodeSignatureSandboxRequirement) +
                                     " and entitlement[\"com.apple.security.app-sandbox\"] = true");
}

std::shared_ptr<fnd::Dictionary> QVCodeSignatureChecker::codeSignatureInfoAtURL(const fnd::URL& url) {
  auto code = fnd::StaticCode::createWithPath(url, fnd::kSecCSDefaultFlags);
  if (!code) return nullptr;
  auto info = fnd::CodeSigning::copySigningInformation(**code);
  if (!info) return nullptr;
  return fnd::Dictionary::make((*info)->entries());
}
