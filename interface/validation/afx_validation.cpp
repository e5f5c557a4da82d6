#include "interface/validation/afx_validation.h"

#include <string>

#include "foundation/check.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"
#include "tools/codesign/qv_code_signature_checker.h"

namespace {

std::string requirementFor(AFXValidation validation) {
  switch (validation) {
    case AFXValidationAppleAnchor:
      return std::string(AFXValidationAppleAnchorRequirement);
    case AFXValidationTeamAnchor:
      return std::string(AFXValidationTeamAnchorRequirement);
    case AFXValidationNone:
      break;
  }
  FND_NOT_REACHED();
}

}  // namespace

bool AFXValidateApp(const std::shared_ptr<fnd::URL>& appURL, AFXValidation validation,
                    std::optional<fnd::Error>* error) {
  FND_PARAMETER_ASSERT_TEXT(appURL, "appURL");
  if (validation == AFXValidationNone) return true;
  std::optional<fnd::Error> checkerError;
  if (QVCodeSignatureChecker::codeSignatureAtURL(*appURL, requirementFor(validation), &checkerError)) {
    if (error) error->reset();
    return true;
  }
  DDLogError("App validation error for %@ (%@)", fnd::Value(appURL), fnd::Value(*checkerError));
  if (error) *error = afx_appSignatureCheckFailedWithError(checkerError);
  return false;
}
