#pragma once

// The URL-loading error codes of "NSURLErrorDomain" (declared in error.h) and
// the user-information keys that come with them. Everything that produces or
// classifies URL-loading errors takes the codes from here, so the values stay
// the platform's.

#include <cstdint>
#include <string_view>

namespace fnd {

// The request's URL, as a URL object and as text.
inline constexpr std::string_view NSURLErrorFailingURLErrorKey = "NSErrorFailingURLKey";
inline constexpr std::string_view NSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";
// The data a cancelled or failed download can resume from.
inline constexpr std::string_view NSURLSessionDownloadTaskResumeData = "NSURLSessionDownloadTaskResumeData";

inline constexpr std::int64_t NSURLErrorUnknown = -1;
inline constexpr std::int64_t NSURLErrorCancelled = -999;
inline constexpr std::int64_t NSURLErrorBadURL = -1000;
inline constexpr std::int64_t NSURLErrorTimedOut = -1001;
inline constexpr std::int64_t NSURLErrorUnsupportedURL = -1002;
inline constexpr std::int64_t NSURLErrorCannotFindHost = -1003;
inline constexpr std::int64_t NSURLErrorCannotConnectToHost = -1004;
inline constexpr std::int64_t NSURLErrorNetworkConnectionLost = -1005;
inline constexpr std::int64_t NSURLErrorDNSLookupFailed = -1006;
inline constexpr std::int64_t NSURLErrorHTTPTooManyRedirects = -1007;
inline constexpr std::int64_t NSURLErrorResourceUnavailable = -1008;
inline constexpr std::int64_t NSURLErrorNotConnectedToInternet = -1009;
inline constexpr std::int64_t NSURLErrorRedirectToNonExistentLocation = -1010;
inline constexpr std::int64_t NSURLErrorBadServerResponse = -1011;
inline constexpr std::int64_t NSURLErrorUserCancelledAuthentication = -1012;
inline constexpr std::int64_t NSURLErrorUserAuthenticationRequired = -1013;
inline constexpr std::int64_t NSURLErrorZeroByteResource = -1014;
inline constexpr std::int64_t NSURLErrorCannotDecodeRawData = -1015;
inline constexpr std::int64_t NSURLErrorCannotDecodeContentData = -1016;
inline constexpr std::int64_t NSURLErrorCannotParseResponse = -1017;
inline constexpr std::int64_t NSURLErrorFileDoesNotExist = -1100;
inline constexpr std::int64_t NSURLErrorFileIsDirectory = -1101;
inline constexpr std::int64_t NSURLErrorNoPermissionsToReadFile = -1102;
inline constexpr std::int64_t NSURLErrorDataLengthExceedsMaximum = -1103;
inline constexpr std::int64_t NSURLErrorSecureConnectionFailed = -1200;
inline constexpr std::int64_t NSURLErrorServerCertificateHasBadDate = -1201;
inline constexpr std::int64_t NSURLErrorServerCertificateUntrusted = -1202;
inline constexpr std::int64_t NSURLErrorServerCertificateHasUnknownRoot = -1203;
inline constexpr std::int64_t NSURLErrorServerCertificateNotYetValid = -1204;
inline constexpr std::int64_t NSURLErrorClientCertificateRejected = -1205;
inline constexpr std::int64_t NSURLErrorClientCertificateRequired = -1206;
inline constexpr std::int64_t NSURLErrorCannotLoadFromNetwork = -2000;
inline constexpr std::int64_t NSURLErrorCannotCreateFile = -3000;
inline constexpr std::int64_t NSURLErrorCannotOpenFile = -3001;
inline constexpr std::int64_t NSURLErrorCannotCloseFile = -3002;
inline constexpr std::int64_t NSURLErrorCannotWriteToFile = -3003;
inline constexpr std::int64_t NSURLErrorCannotRemoveFile = -3004;
inline constexpr std::int64_t NSURLErrorCannotMoveFile = -3005;
inline constexpr std::int64_t NSURLErrorDownloadDecodingFailedMidStream = -3006;
inline constexpr std::int64_t NSURLErrorDownloadDecodingFailedToComplete = -3007;

}  // namespace fnd
