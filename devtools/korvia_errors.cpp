// korvia-errors: prints every error of the product library's catalogue as one
// JSON line, made with fixed example arguments, so that its texts can be
// reviewed in one place:
//
//   {"domain":…,"code":…,"description":…,"recoverySuggestion":…,"recoveryOptions":[…]}
//
// Texts an error does not carry are null.

#include <cerrno>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/json_serialization.h"
#include "foundation/null.h"
#include "foundation/url_error.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log.h"

namespace {

using fnd::Error;
using fnd::Value;

// An app version record as the version error reads it.
class ExampleAppVersion final : public fnd::Object {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls =
        fnd::Class::define("KorviaErrorsExampleAppVersion", &fnd::Object::staticClass(), {},
                           {{"minOSVersion", [](const fnd::Object&) { return Value("14.0"); }, {}}});
    return cls;
  }
  const fnd::Class& objectClass() const override { return staticClass(); }
};

std::vector<Error> catalogue() {
  const Error transport(fnd::NSURLErrorDomain, fnd::NSURLErrorTimedOut, nullptr);
  const Error file(fnd::NSPOSIXErrorDomain, ENOSPC, nullptr);
  return {
      afx_cancel(),
      afx_makeSystemIntegrityViolatedOnAction("establishing report stream", transport),
      afx_missingDesktopClient(),
      afx_corruptedDesktopClient(),
      afx_oldDesktopClient(),
      afx_makeFailedInstallOfAgentNamed("com.korvia.DesktopClient.agent", "bootstrap", file),
      afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(Error(fnd::NSPOSIXErrorDomain, ECONNABORTED, nullptr)),
      afx_makeNetworkErrorWithUnderlyingError(
          Error(fnd::NSURLErrorDomain, fnd::NSURLErrorNotConnectedToInternet, nullptr)),
      afx_makeUnknownNetworkErrorWithUnderlyingError(transport),
      afx_makeErrorOfMissingServiceNamed("network service", "web service request"),
      afx_makeErrorOfMissingObjectOfKind("Korvia Bundle"),
      afx_makeFailedDiskOperation("move app into place", file),
      afx_makeServerErrorOnOperation("https://api.korvia.com/v3/apps", std::nullopt),
      afx_makeServerResponseParsingErrorOnOperation("https://api.korvia.com/v3/apps", std::nullopt),
      afx_noSuchAppInStoreToPresent(),
      afx_appSignatureCheckFailedWithError(file),
      afx_incompatibleAppMinOSVersion("14.0", "13.6.1"),
      afx_incompatibleAppVersion(ExampleAppVersion(), "13.6.1"),
      afx_incompatibleInternalOSVersion("14.0", "13.6.1"),
      afx_invalidMachine(),
      afx_missingBucketToSaveUsageReportForEnvironmnetID(Value("default")),
      afx_noTeaserInstallResource(),
      afx_noVendorInstallResource(),
      afx_noInternalUpdate(),
      afx_noAppInstanceToLaunch(),
      afx_noAppInStoreToLaunch(),
      afx_failedToSaveResourceOnDisk(),
      afx_didFailToInstallVendorAppForUnknownReason(),
      afx_didFailToUnpackApp(),
      afx_invalidKorviaIDOfVendorApp(Value(12345)),
      afx_teaserAppProvidedInconsistentData(),
      afx_endpoinstManifestIsCorruptedWithKey("store"),
  };
}

Value textOrNull(const Error& error, std::string_view key) {
  const Value text = error.userInfoValue(key);
  return text.stringValue() ? text : Value(fnd::Null::null());
}

Value optionsOf(const Error& error) {
  std::vector<Value> options;
  for (const auto& option : error.localizedRecoveryOptions()) options.emplace_back(option);
  return Value(fnd::Array::make(std::move(options)));
}

Value lineOf(const Error& error) {
  return Value(fnd::Dictionary::make({
      {Value("domain"), Value(error.domain())},
      {Value("code"), Value(error.code())},
      {Value("description"), textOrNull(error, fnd::NSLocalizedDescriptionKey)},
      {Value("recoverySuggestion"), textOrNull(error, fnd::NSLocalizedRecoverySuggestionErrorKey)},
      {Value("recoveryOptions"), optionsOf(error)},
  }));
}

}  // namespace

int main() {
  // Constructors log what they build; the listing is the only output.
  DDLog::removeAllLoggers();
  fnd::JSONWritingOptions options;
  options.withoutEscapingSlashes = true;
  for (const Error& error : catalogue()) {
    auto line = fnd::JSONSerialization::dataWithJSONObject(lineOf(error), options);
    if (!line) {
      std::cerr << "error: " << line.error().description() << "\n";
      return 1;
    }
    std::cout << *line << "\n";
  }
  return 0;
}
