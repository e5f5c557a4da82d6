#include "interface/errors/afx_network_response.h"

#include <cerrno>

#include "foundation/bundle.h"
#include "foundation/dictionary.h"
#include "foundation/format.h"
#include "foundation/url_error.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"

namespace {

using fnd::Error;

constexpr std::string_view kDesktopClientDomain = "com.korvia.DesktopClient";

std::optional<Error> injectedFault(std::string_view requestID) {
  const auto& defaults = AFXDesktopClientSharedUserDefaults();
  if (!defaults) return std::nullopt;
  const std::int64_t code = defaults->integerForKey(fnd::StringWithFormat("fake_%@", requestID));
  if (code == 0) return std::nullopt;
  return Error(AFXDefaultErrorDomain, code, {{fnd::Value(AFXErrorFakeKey), fnd::Value(true)}});
}

Error interpretTransportError(const Error& networkError) {
  if (networkError.is(fnd::NSPOSIXErrorDomain, ECONNABORTED)) {
    return afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(networkError);
  }
  if (networkError.code() == fnd::NSURLErrorNetworkConnectionLost ||
      networkError.code() == fnd::NSURLErrorNotConnectedToInternet) {
    return afx_makeNetworkErrorWithUnderlyingError(networkError);
  }
  return afx_makeUnknownNetworkErrorWithUnderlyingError(networkError);
}

Error statusError(std::int64_t code) {
  return Error(
      AFXDefaultErrorDomain, code,
      {{fnd::Value(QVErrorAccessibilityIdentifierKey), fnd::Value(AFXErrorAccessibilityIdentifierServerError)}});
}

std::string descriptionOf(const std::optional<AFXURLResponse>& response) {
  return response ? response->description() : std::string("(null)");
}

fnd::Value URLOf(const std::optional<AFXURLResponse>& response) {
  return response && response->URL ? fnd::Value(response->URL) : fnd::Value();
}

std::string URLText(const std::optional<AFXURLResponse>& response) {
  return response && response->URL ? response->URL->absoluteString() : std::string("(null)");
}

std::optional<Error> interpretStatus(const std::optional<AFXURLResponse>& response) {
  const std::int64_t status = response ? response->statusCode.value_or(0) : 0;
  switch (status / 100) {
    case 2:
      return std::nullopt;
    case 5:
      return afx_makeServerErrorOnOperation(URLText(response), std::nullopt);
    default:
      break;
  }
  switch (status) {
    case 400:
    case 401:
      return statusError(AFXErrorCodeHTTPBadRequest);
    case 402:
      return statusError(AFXErrorCodeHTTPPaymentRequired);
    case 403:
      return statusError(AFXErrorCodeHTTPForbidden);
    case 404:
      return statusError(AFXErrorCodeHTTPNotFound);
    case 409:
      return statusError(AFXErrorCodeHTTPConflict);
    case 410:
      return afx_oldDesktopClient();
    case 424:
      return statusError(AFXErrorCodeHTTPFailedDependency);
    default:
      DDLogError("Unknown error code with response %@", descriptionOf(response));
      return statusError(AFXErrorCodeServerResponseParsing);
  }
}

}  // namespace

std::string AFXURLResponse::description() const {
  const fnd::Value url = URL ? fnd::Value(URL) : fnd::Value();
  if (!statusCode) return fnd::StringWithFormat("<NSURLResponse: URL: %@>", url);
  return fnd::StringWithFormat("<NSHTTPURLResponse: URL: %@ { Status Code: %lld }>", url, *statusCode);
}

const std::shared_ptr<fnd::UserDefaults>& AFXDesktopClientSharedUserDefaults() {
  static const std::shared_ptr<fnd::UserDefaults> defaults = []() -> std::shared_ptr<fnd::UserDefaults> {
    const auto bundle = fnd::Bundle::mainBundle();
    if (bundle && bundle->bundleIdentifier() == kDesktopClientDomain) return fnd::UserDefaults::standardUserDefaults();
    return fnd::UserDefaults::create(kDesktopClientDomain);
  }();
  return defaults;
}

std::optional<Error> afx_interpretNetworkResponse(const std::optional<AFXURLResponse>& response,
                                                  std::string_view requestID,
                                                  const std::optional<Error>& networkError) {
  if (auto fault = injectedFault(requestID)) return fault;
  if (networkError && afx_isCancelled(*networkError)) return networkError;
  if (networkError) return interpretTransportError(*networkError);
  auto error = interpretStatus(response);
  if (error) DDLogError("Did fail network request to URL %@ with error %@", URLOf(response), *error);
  return error;
}
