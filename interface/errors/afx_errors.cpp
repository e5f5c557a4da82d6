#include "interface/errors/afx_errors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include "foundation/bundle.h"
#include "foundation/check.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/process.h"
#include "foundation/url_error.h"
#include "foundation/workspace.h"
#include "interface/errors/afx_localized_string.h"
#include "interface/web/afx_customer_urls.h"
#include "logging/dd_log_macros.h"
#include "tools/recovery/qv_error_recovery.h"

namespace {

using fnd::Error;
using fnd::Value;
using Entries = std::vector<fnd::Dictionary::Entry>;

std::string localized(std::string_view text) { return AFXKorviaInterfaceLocalizedString(text, "Error catalogue"); }

Value valueOf(const AFXOptionalError& error) { return error ? Value(*error) : Value(); }

void addUnderlying(Entries& entries, const AFXOptionalError& underlyingError) {
  if (underlyingError) entries.emplace_back(Value(fnd::NSUnderlyingErrorKey), Value(*underlyingError));
}

void addAccessibilityIdentifier(Entries& entries, std::string_view identifier) {
  entries.emplace_back(Value(QVErrorAccessibilityIdentifierKey), Value(identifier));
}

void addTexts(Entries& entries, std::string_view description, std::string_view recoverySuggestion) {
  entries.emplace_back(Value(fnd::NSLocalizedDescriptionKey), Value(description));
  entries.emplace_back(Value(fnd::NSLocalizedRecoverySuggestionErrorKey), Value(recoverySuggestion));
}

Error defaultError(std::int64_t code, Entries entries = {}) {
  return Error(AFXDefaultErrorDomain, code, fnd::Dictionary::make(std::move(entries)));
}

bool isDefaultError(const Error& error, std::initializer_list<std::int64_t> codes) {
  return error.domain() == AFXDefaultErrorDomain && std::find(codes.begin(), codes.end(), error.code()) != codes.end();
}

// Opening the page is best effort: there is nothing to tell the user when no
// browser starts.
void openDownloadPage() {
  if (const auto url = customerURLOnDownloadKorvia()) (void)fnd::Workspace::sharedWorkspace().openURL(*url);
}

// Ends the process as quitting the application does, with status 0. Other
// threads may still run queued work, which static destructors would pull
// from under them, so only the log and the standard streams are flushed.
[[noreturn]] void terminateRunningApplication() {
  DDLog::flushLog();
  std::fflush(nullptr);
  std::_Exit(0);
}

std::optional<Error> downloadOnFirstOption(const Error&, std::size_t optionIndex) {
  if (optionIndex == 0) openDownloadPage();
  return std::nullopt;
}

Error desktopClientError(std::int64_t code, std::string_view description, std::string_view recoverySuggestion,
                         std::string_view downloadOption) {
  return errorWithDomain(AFXDefaultErrorDomain, code, localized(description), localized(recoverySuggestion),
                         {localized(downloadOption), localized("Cancel")}, nullptr, downloadOnFirstOption);
}

Error networkError(std::string_view description, std::string_view recoverySuggestion,
                   const AFXOptionalError& underlyingError) {
  Entries entries;
  addAccessibilityIdentifier(entries, AFXErrorAccessibilityIdentifierBadNetwork);
  addUnderlying(entries, underlyingError);
  addTexts(entries, localized(description), localized(recoverySuggestion));
  return defaultError(AFXErrorCodeNoNetwork, std::move(entries));
}

constexpr std::string_view kConnectionIssuesDescription = "Uh-oh! Korvia is having some connection issues.";
constexpr std::string_view kConnectionIssuesSuggestion = "Terribly sorry, please try again a little later.";

Error serverError(std::int64_t code, const AFXOptionalError& underlyingError) {
  Entries entries;
  addAccessibilityIdentifier(entries, AFXErrorAccessibilityIdentifierServerError);
  addUnderlying(entries, underlyingError);
  addTexts(entries, localized(kConnectionIssuesDescription), localized(kConnectionIssuesSuggestion));
  return defaultError(code, std::move(entries));
}

Error textError(std::int64_t code, std::string_view description, std::string_view recoverySuggestion,
                const AFXOptionalError& underlyingError = std::nullopt) {
  Entries entries;
  addUnderlying(entries, underlyingError);
  addTexts(entries, localized(description), localized(recoverySuggestion));
  return defaultError(code, std::move(entries));
}

}  // namespace

namespace afx_errors_detail {

Error makeSystemIntegrityViolated(std::string_view action, const AFXOptionalError& underlyingError,
                                  std::string_view applicationName) {
  Entries entries = {{Value(AFXErrorActionKey), Value(action)}};
  addAccessibilityIdentifier(entries, AFXErrorAccessibilityIdentifierSystemIntegrityViolated);
  addUnderlying(entries, underlyingError);
  std::string description;
  std::string suggestion;
  if (!applicationName.empty()) {
    description = fnd::StringWithFormat(
        localized("This copy of %@ requires an active Korvia account installed on your Mac."), applicationName);
    suggestion = fnd::StringWithFormat(
        localized("Download and install Korvia to use %@ and discover even more awesome applications."),
        applicationName);
  } else {
    description = localized("This application requires an active Korvia account installed on your Mac.");
    suggestion = localized("Download and install Korvia to use this app and discover even more awesome applications");
  }
  return errorWithDomain(AFXDefaultErrorDomain, AFXErrorCodeSystemIntegrityViolated, description, suggestion,
                         {localized("Learn More…"), localized("Quit")}, fnd::Dictionary::make(std::move(entries)),
                         [](const Error&, std::size_t optionIndex) -> std::optional<Error> {
                           if (optionIndex == 0) openDownloadPage();
                           terminateRunningApplication();
                         });
}

std::string runningApplicationLocalizedName() {
  if (const auto bundle = fnd::Bundle::mainBundle()) {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
      const auto name = bundle->objectForInfoDictionaryKey(key).stringValue();
      if (name && !name->empty()) return *name;
    }
  }
  return std::filesystem::path(fnd::currentExecutablePath()).filename().string();
}

}  // namespace afx_errors_detail

Error afx_cancel() { return defaultError(AFXErrorCodeCancelled); }

Error afx_makeSystemIntegrityViolatedOnAction(std::string_view action, const AFXOptionalError& underlyingError) {
  return afx_errors_detail::makeSystemIntegrityViolated(action, underlyingError,
                                                        afx_errors_detail::runningApplicationLocalizedName());
}

Error afx_missingDesktopClient() {
  return desktopClientError(
      AFXErrorCodeMissingDesktopClient,
      "The main Korvia application is missing on your Mac. Would you like to download and install it?",
      "This will allow you to discover and further use all of the Korvia applications.", "Download and Install");
}

Error afx_corruptedDesktopClient() {
  return desktopClientError(AFXErrorCodeUnusableDesktopClient,
                            "Your Korvia installation is broken and cannot be used properly.",
                            "Please download a new copy of Korvia and reinstall it on your Mac to resolve the problem.",
                            "Download and Install");
}

Error afx_oldDesktopClient() {
  return desktopClientError(AFXErrorCodeUnusableDesktopClient,
                            "Your current version of Korvia is outdated and can no longer be used.",
                            "Please download and install the latest version to continue using Korvia.", "Download Now");
}

Error afx_makeFailedInstallOfAgentNamed(std::string_view agentName, std::string_view operation,
                                        const AFXOptionalError& underlyingError) {
  DDLogError("Did fail to install agent %@. Failed operation: %@. Underlying error: %@", agentName, operation,
             valueOf(underlyingError));
  Entries entries = {{Value(AFXErrorOperationKey), Value(operation)}};
  addUnderlying(entries, underlyingError);
  return defaultError(AFXErrorCodeFailedAgentInstall, std::move(entries));
}

Error afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
  return networkError("Korvia’s Internet access got interrupted by another process or application.",
                      "Please make sure no network management apps are blocking Korvia and try again.",
                      underlyingError);
}

Error afx_makeNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
  return networkError("Korvia requires Internet connection to continue.",
                      "Please make sure you are connected and try again.", underlyingError);
}

Error afx_makeUnknownNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
  DDLogError("Unknown network error encountered %@", valueOf(underlyingError));
  return networkError(kConnectionIssuesDescription, kConnectionIssuesSuggestion, underlyingError);
}

Error afx_makeErrorOfMissingServiceNamed(std::string_view serviceName, std::string_view propose) {
  DDLogError("Service %@ is missing. Was required for %@", serviceName, propose);
  return defaultError(AFXErrorCodeMissingService, {{Value(AFXErrorServiceNameKey), Value(serviceName)},
                                                   {Value(AFXErrorProposeKey), Value(propose)}});
}

Error afx_makeErrorOfMissingObjectOfKind(std::string_view kind) {
  DDLogInfo("Object %@ is missing", kind);
  return defaultError(AFXErrorCodeMissingObject, {{Value(AFXErrorObjectKindKey), Value(kind)}});
}

Error afx_makeFailedDiskOperation(std::string_view operation, const AFXOptionalError& underlyingError) {
  DDLogError("Internal file operation %@ faile with error %@", operation, valueOf(underlyingError));
  return textError(AFXErrorCodeFailedDiskOperation, "Internal file operation failed",
                   "Your issue is already being handled", underlyingError);
}

Error afx_makeServerErrorOnOperation(std::string_view operation, const AFXOptionalError& underlyingError) {
  DDLogError("Server error on %@ with underlying error %@", operation, valueOf(underlyingError));
  return serverError(AFXErrorCodeServerError, underlyingError);
}

Error afx_makeServerResponseParsingErrorOnOperation(std::string_view operation,
                                                    const AFXOptionalError& underlyingError) {
  DDLogError("Server response parsing error on %@ with underlying error %@", operation, valueOf(underlyingError));
  return serverError(AFXErrorCodeServerResponseParsing, underlyingError);
}

Error afx_noSuchAppInStoreToPresent() {
  return textError(AFXErrorCodeNoSuchAppInStoreToPresent, "This application is no longer available on Korvia.",
                   "You may remove the alias from your computer.");
}

Error afx_appSignatureCheckFailedWithError(const AFXOptionalError& error) {
  return textError(AFXErrorCodeAppSignatureCheckFailed, "Application signature could not be verified.",
                   "It looks like the application was not code signed with a developer signature.", error);
}

Error afx_incompatibleAppMinOSVersion(std::string_view minOSVersion, std::string_view currentOSVersion) {
  Entries entries;
  addTexts(entries,
           fnd::StringWithFormat(localized("This application requires macOS %@ or later to work on your computer. "
                                           "Currently you have macOS %@."),
                                 minOSVersion, currentOSVersion),
           localized("Please update your operating system and try again."));
  return defaultError(AFXErrorCodeIncompatibleAppOSVersion, std::move(entries));
}

Error afx_incompatibleAppVersion(const fnd::Object& appVersion, std::string_view currentOSVersion) {
  FND_PARAMETER_ASSERT(appVersion.hasPropertyForKey("minOSVersion"));
  const auto minOSVersion = appVersion.valueForKey("minOSVersion").stringValue();
  return afx_incompatibleAppMinOSVersion(minOSVersion.value_or(""), currentOSVersion);
}

Error afx_incompatibleInternalOSVersion(std::string_view, std::string_view) {
  return defaultError(AFXErrorCodeIncompatibleInternalOSVersion);
}

Error afx_invalidMachine() {
  return textError(AFXErrorCodeInvalidMachine, "It looks like your Mac's identity has changed.",
                   "Please sign in your Korvia account to continue using the service.");
}

Error afx_missingBucketToSaveUsageReportForEnvironmnetID(const fnd::Value& environmentID) {
  return defaultError(AFXErrorCodeMissingUsageReportBucket,
                      {{Value(AFXErrorEnvironmentIDKey), Value(environmentID.description())}});
}

Error afx_noTeaserInstallResource() { return defaultError(AFXErrorCodeNoTeaserInstallResource); }
Error afx_noVendorInstallResource() { return defaultError(AFXErrorCodeNoVendorInstallResource); }
Error afx_noInternalUpdate() { return defaultError(AFXErrorCodeNoInternalUpdate); }
Error afx_noAppInstanceToLaunch() { return defaultError(AFXErrorCodeNoAppInstanceToLaunch); }
Error afx_noAppInStoreToLaunch() { return defaultError(AFXErrorCodeNoAppInStoreToLaunch); }
Error afx_failedToSaveResourceOnDisk() { return defaultError(AFXErrorCodeFailedToSaveResourceOnDisk); }
Error afx_didFailToInstallVendorAppForUnknownReason() {
  return defaultError(AFXErrorCodeVendorAppInstallFailedForUnknownReason);
}
Error afx_didFailToUnpackApp() { return defaultError(AFXErrorCodeFailedToUnpackApp); }
Error afx_invalidKorviaIDOfVendorApp(const fnd::Value&) { return defaultError(AFXErrorCodeInvalidKorviaIDOfVendorApp); }
Error afx_teaserAppProvidedInconsistentData() { return defaultError(AFXErrorCodeTeaserAppInconsistentData); }
Error afx_endpoinstManifestIsCorruptedWithKey(std::string_view) {
  return defaultError(AFXErrorCodeCorruptedEndpointsManifest);
}

Error afx_makeTestError() { FND_NOT_REACHED(); }

bool afx_isCancelled(const Error& error) {
  return error.is(AFXDefaultErrorDomain, AFXErrorCodeCancelled) ||
         error.is(fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled);
}

bool afx_isMissingService(const Error& error) { return error.is(AFXDefaultErrorDomain, AFXErrorCodeMissingService); }

bool afx_isMissingObject(const Error& error) { return error.is(AFXDefaultErrorDomain, AFXErrorCodeMissingObject); }

bool afx_isInvalidMachine(const Error& error) { return error.is(AFXDefaultErrorDomain, AFXErrorCodeInvalidMachine); }

bool afx_isInvalidToken(const Error& error) {
  return error.is(AFXDefaultErrorDomain, AFXErrorCodeCustomerInvalidToken);
}

bool afx_isHTTPClientError(const Error& error) {
  return isDefaultError(error, {AFXErrorCodeHTTPBadRequest, AFXErrorCodeHTTPPaymentRequired, AFXErrorCodeHTTPForbidden,
                                AFXErrorCodeHTTPNotFound, AFXErrorCodeHTTPConflict, AFXErrorCodeHTTPGone,
                                AFXErrorCodeHTTPFailedDependency});
}

bool afx_isCustomerError(const Error& error) {
  return afx_isHTTPClientError(error) ||
         isDefaultError(error, {AFXErrorCodeCustomerBadRequest, AFXErrorCodeCustomerInvalidToken,
                                AFXErrorCodeCustomerForbidden, AFXErrorCodeCustomerFailedDependency,
                                AFXErrorCodeCustomerPaymentRequired, AFXErrorCodeCustomerConflict});
}

bool afx_isUserPresentableError(const Error& error) {
  return isDefaultError(
      error, {AFXErrorCodeNoNetwork, AFXErrorCodeSystemIntegrityViolated, AFXErrorCodeFailedDiskOperation,
              AFXErrorCodeMissingDesktopClient, AFXErrorCodeUnusableDesktopClient, AFXErrorCodeAppSignatureCheckFailed,
              AFXErrorCodeIncompatibleAppOSVersion, AFXErrorCodeInvalidMachine, AFXErrorCodeNoSuchAppInStoreToPresent,
              AFXErrorCodeHTTPGone, AFXErrorCodeServerError, AFXErrorCodeServerResponseParsing});
}

Error afx_customerError(const Error& error) {
  if (error.domain() != AFXDefaultErrorDomain) return error;
  static constexpr std::pair<std::int64_t, std::int64_t> kCustomerCodes[] = {
      {AFXErrorCodeHTTPBadRequest, AFXErrorCodeCustomerBadRequest},
      {AFXErrorCodeHTTPNotFound, AFXErrorCodeCustomerInvalidToken},
      {AFXErrorCodeHTTPForbidden, AFXErrorCodeCustomerForbidden},
      {AFXErrorCodeHTTPFailedDependency, AFXErrorCodeCustomerFailedDependency},
      {AFXErrorCodeHTTPPaymentRequired, AFXErrorCodeCustomerPaymentRequired},
      {AFXErrorCodeHTTPConflict, AFXErrorCodeCustomerConflict},
  };
  for (const auto& [http, customer] : kCustomerCodes) {
    if (error.code() == http) return Error(AFXDefaultErrorDomain, customer, error.userInfo());
  }
  return error;
}
