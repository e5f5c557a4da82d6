#pragma once

// The product library's errors: its domain and codes, the user-information
// keys its errors carry, the constructors that build each error with its
// user-facing texts and recovery, and the queries that classify errors of
// any domain. Constructors never fail. Texts go through
// AFXKorviaInterfaceLocalizedString.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/error.h"
#include "foundation/object.h"
#include "foundation/value.h"
#include "tools/recovery/qv_error_presentation_keys.h"

inline constexpr std::string_view AFXDefaultErrorDomain = "com.korvia.default-error-domain";
// The apps management service's errors; this library defines no code of it.
inline constexpr std::string_view AFXAppsManagementErrorDomain = "com.korvia.AppsManagementErrorDomain";

// Codes of AFXDefaultErrorDomain. Those answering an HTTP status are
// -401000 minus the status.
inline constexpr std::int64_t AFXErrorCodeNoNetwork = -401001;
inline constexpr std::int64_t AFXErrorCodeMissingService = -401002;
inline constexpr std::int64_t AFXErrorCodeMissingObject = -401003;
inline constexpr std::int64_t AFXErrorCodeCancelled = -401005;
inline constexpr std::int64_t AFXErrorCodeSystemIntegrityViolated = -401010;
inline constexpr std::int64_t AFXErrorCodeFailedAgentInstall = -401011;
inline constexpr std::int64_t AFXErrorCodeFailedDiskOperation = -401012;
inline constexpr std::int64_t AFXErrorCodeCorruptedEndpointsManifest = -401013;
inline constexpr std::int64_t AFXErrorCodeMissingDesktopClient = -401014;
inline constexpr std::int64_t AFXErrorCodeUnusableDesktopClient = -401015;
inline constexpr std::int64_t AFXErrorCodeFailedToUnpackApp = -401041;
inline constexpr std::int64_t AFXErrorCodeAppSignatureCheckFailed = -401042;
inline constexpr std::int64_t AFXErrorCodeInvalidKorviaIDOfVendorApp = -401043;
inline constexpr std::int64_t AFXErrorCodeIncompatibleAppOSVersion = -401044;
inline constexpr std::int64_t AFXErrorCodeTeaserAppInconsistentData = -401045;
inline constexpr std::int64_t AFXErrorCodeIncompatibleInternalOSVersion = -401046;
inline constexpr std::int64_t AFXErrorCodeNoReportConnection = -401051;
inline constexpr std::int64_t AFXErrorCodeCustomerBadRequest = -401081;
inline constexpr std::int64_t AFXErrorCodeCustomerInvalidToken = -401082;
inline constexpr std::int64_t AFXErrorCodeCustomerForbidden = -401083;
inline constexpr std::int64_t AFXErrorCodeCustomerFailedDependency = -401084;
inline constexpr std::int64_t AFXErrorCodeCustomerPaymentRequired = -401085;
inline constexpr std::int64_t AFXErrorCodeInvalidMachine = -401086;
inline constexpr std::int64_t AFXErrorCodeCustomerConflict = -401088;
inline constexpr std::int64_t AFXErrorCodeNoTeaserInstallResource = -401101;
inline constexpr std::int64_t AFXErrorCodeNoVendorInstallResource = -401102;
inline constexpr std::int64_t AFXErrorCodeNoSuchAppInStoreToPresent = -401103;
inline constexpr std::int64_t AFXErrorCodeNoInternalUpdate = -401104;
inline constexpr std::int64_t AFXErrorCodeNoAppInstanceToLaunch = -401105;
inline constexpr std::int64_t AFXErrorCodeNoAppInStoreToLaunch = -401106;
inline constexpr std::int64_t AFXErrorCodeFailedToSaveResourceOnDisk = -401107;
inline constexpr std::int64_t AFXErrorCodeMissingUsageReportBucket = -401108;
inline constexpr std::int64_t AFXErrorCodeVendorAppInstallFailedForUnknownReason = -401109;
inline constexpr std::int64_t AFXErrorCodeHTTPBadRequest = -401400;  // 400 and 401
inline constexpr std::int64_t AFXErrorCodeHTTPPaymentRequired = -401402;
inline constexpr std::int64_t AFXErrorCodeHTTPForbidden = -401403;
inline constexpr std::int64_t AFXErrorCodeHTTPNotFound = -401404;
inline constexpr std::int64_t AFXErrorCodeHTTPConflict = -401409;
// Reserved: a 410 answer means the client is outdated (afx_oldDesktopClient).
inline constexpr std::int64_t AFXErrorCodeHTTPGone = -401410;
inline constexpr std::int64_t AFXErrorCodeHTTPFailedDependency = -401424;
inline constexpr std::int64_t AFXErrorCodeServerError = -401500;
inline constexpr std::int64_t AFXErrorCodeServerResponseParsing = -401540;

// User-information keys.
inline constexpr std::string_view AFXErrorActionKey = "action";
inline constexpr std::string_view AFXErrorOperationKey = "operation";
inline constexpr std::string_view AFXErrorServiceNameKey = "serviceName";
inline constexpr std::string_view AFXErrorProposeKey = "propose";
inline constexpr std::string_view AFXErrorObjectKindKey = "object kind";
inline constexpr std::string_view AFXErrorEnvironmentIDKey = "environmentID";
// Boolean true on errors made by the fault-injection hook.
inline constexpr std::string_view AFXErrorFakeKey = "fake";

// Accessibility identifiers (QVErrorAccessibilityIdentifierKey) of the alerts.
inline constexpr std::string_view AFXErrorAccessibilityIdentifierSystemIntegrityViolated =
    "error.system-integrity-violated";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierBadNetwork = "error.bad-network";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierServerError = "error.server-error";
// For alerts the desktop client raises itself.
inline constexpr std::string_view AFXErrorAccessibilityIdentifierIncorrectCredentials = "error.incorrect-credentials";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierMachineIsNotAllowed = "error.machine-is-not-allowed";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierNoPaymentInfo = "error.no-payment-info";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierSubscriptionDidEnd = "error.subscription-did-end";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierVendorAppFailedToLaunch =
    "error.vendor-app-failed-to-launch";
inline constexpr std::string_view AFXErrorAccessibilityIdentifierVendorAppLaunchCancelled =
    "error.vendor-app-launch-cancelled";

using AFXOptionalError = std::optional<fnd::Error>;

// Constructors. An absent underlying error leaves NSUnderlyingErrorKey out.

[[nodiscard]] fnd::Error afx_cancel();

// The desktop client could not be reached for an exchange that must always
// work. The texts name the running application. "Learn More…" opens the
// download page; either option then ends the process with status 0.
[[nodiscard]] fnd::Error afx_makeSystemIntegrityViolatedOnAction(std::string_view action,
                                                                 const AFXOptionalError& underlyingError);

// "Download and Install" (or "Download Now") opens the download page.
[[nodiscard]] fnd::Error afx_missingDesktopClient();
[[nodiscard]] fnd::Error afx_corruptedDesktopClient();
[[nodiscard]] fnd::Error afx_oldDesktopClient();

[[nodiscard]] fnd::Error afx_makeFailedInstallOfAgentNamed(std::string_view agentName, std::string_view operation,
                                                           const AFXOptionalError& underlyingError);

[[nodiscard]] fnd::Error afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);
[[nodiscard]] fnd::Error afx_makeNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);
[[nodiscard]] fnd::Error afx_makeUnknownNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);

[[nodiscard]] fnd::Error afx_makeErrorOfMissingServiceNamed(std::string_view serviceName, std::string_view propose);
[[nodiscard]] fnd::Error afx_makeErrorOfMissingObjectOfKind(std::string_view kind);
[[nodiscard]] fnd::Error afx_makeFailedDiskOperation(std::string_view operation,
                                                     const AFXOptionalError& underlyingError);
[[nodiscard]] fnd::Error afx_makeServerErrorOnOperation(std::string_view operation,
                                                        const AFXOptionalError& underlyingError);
[[nodiscard]] fnd::Error afx_makeServerResponseParsingErrorOnOperation(std::string_view operation,
                                                                       const AFXOptionalError& underlyingError);

[[nodiscard]] fnd::Error afx_noSuchAppInStoreToPresent();
[[nodiscard]] fnd::Error afx_appSignatureCheckFailedWithError(const AFXOptionalError& error);
[[nodiscard]] fnd::Error afx_incompatibleAppMinOSVersion(std::string_view minOSVersion,
                                                         std::string_view currentOSVersion);
// `appVersion` is an app version record: the error is that of its reflected
// "minOSVersion". A record without that property is a programming error.
[[nodiscard]] fnd::Error afx_incompatibleAppVersion(const fnd::Object& appVersion, std::string_view currentOSVersion);
// The versions are not recorded.
[[nodiscard]] fnd::Error afx_incompatibleInternalOSVersion(std::string_view minOSVersion,
                                                           std::string_view currentOSVersion);
[[nodiscard]] fnd::Error afx_invalidMachine();
// Records the identifier's description.
[[nodiscard]] fnd::Error afx_missingBucketToSaveUsageReportForEnvironmnetID(const fnd::Value& environmentID);

[[nodiscard]] fnd::Error afx_noTeaserInstallResource();
[[nodiscard]] fnd::Error afx_noVendorInstallResource();
[[nodiscard]] fnd::Error afx_noInternalUpdate();
[[nodiscard]] fnd::Error afx_noAppInstanceToLaunch();
[[nodiscard]] fnd::Error afx_noAppInStoreToLaunch();
[[nodiscard]] fnd::Error afx_failedToSaveResourceOnDisk();
[[nodiscard]] fnd::Error afx_didFailToInstallVendorAppForUnknownReason();
[[nodiscard]] fnd::Error afx_didFailToUnpackApp();
// The identifier is not recorded.
[[nodiscard]] fnd::Error afx_invalidKorviaIDOfVendorApp(const fnd::Value& korviaID);
[[nodiscard]] fnd::Error afx_teaserAppProvidedInconsistentData();
// The key is not recorded.
[[nodiscard]] fnd::Error afx_endpoinstManifestIsCorruptedWithKey(std::string_view key);

// Not for use: stops the process as unreachable code.
[[noreturn]] fnd::Error afx_makeTestError();

// Queries.

// Cancelled here (-401005) or a cancelled URL request.
bool afx_isCancelled(const fnd::Error& error);
bool afx_isMissingService(const fnd::Error& error);
bool afx_isMissingObject(const fnd::Error& error);
bool afx_isInvalidMachine(const fnd::Error& error);
bool afx_isInvalidToken(const fnd::Error& error);
// An error answering a 4xx status of the service.
bool afx_isHTTPClientError(const fnd::Error& error);
// An HTTP client error or one of the customer errors; not -401086.
bool afx_isCustomerError(const fnd::Error& error);
// An error worth showing to the user as it is.
bool afx_isUserPresentableError(const fnd::Error& error);

// The customer reading of an HTTP client error (-401400 → -401081, -401404 →
// -401082, -401403 → -401083, -401424 → -401084, -401402 → -401085, -401409
// → -401088), keeping its user information; every other error unchanged.
[[nodiscard]] fnd::Error afx_customerError(const fnd::Error& error);

namespace afx_errors_detail {

// The system-integrity error for an application of that display name.
fnd::Error makeSystemIntegrityViolated(std::string_view action, const AFXOptionalError& underlyingError,
                                       std::string_view applicationName);

// The display name of the running application: its bundle's display name or
// name, else its executable's file name.
std::string runningApplicationLocalizedName();

}  // namespace afx_errors_detail
