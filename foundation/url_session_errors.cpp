#include "foundation/url_session_errors.h"

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <string>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/url_error.h"

namespace fnd::detail {
namespace {

std::int64_t certificateCode(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return NSURLErrorServerCertificateHasBadDate;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return NSURLErrorServerCertificateNotYetValid;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return NSURLErrorServerCertificateHasUnknownRoot;
    default:
      // A name that does not match, a bad signature or purpose.
      return NSURLErrorServerCertificateUntrusted;
  }
}

std::int64_t connectCode(long systemError) {
  switch (systemError) {
    case ENETUNREACH:
    case ENETDOWN:
      return NSURLErrorNotConnectedToInternet;
    default:
      return NSURLErrorCannotConnectToHost;
  }
}

std::string_view descriptionOf(std::int64_t code) {
  switch (code) {
    case NSURLErrorCancelled:
      return "cancelled";
    case NSURLErrorBadURL:
      return "unsupported URL";
    case NSURLErrorTimedOut:
      return "The request timed out.";
    case NSURLErrorUnsupportedURL:
      return "unsupported URL";
    case NSURLErrorCannotFindHost:
      return "A server with the specified hostname could not be found.";
    case NSURLErrorCannotConnectToHost:
      return "Could not connect to the server.";
    case NSURLErrorNetworkConnectionLost:
      return "The network connection was lost.";
    case NSURLErrorHTTPTooManyRedirects:
      return "too many HTTP redirects";
    case NSURLErrorNotConnectedToInternet:
      return "The Internet connection appears to be offline.";
    case NSURLErrorBadServerResponse:
      return "The server returned an invalid response.";
    case NSURLErrorCannotDecodeContentData:
      return "cannot decode content data";
    case NSURLErrorDataLengthExceedsMaximum:
      return "resource exceeds maximum size";
    case NSURLErrorSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case NSURLErrorServerCertificateHasBadDate:
      return "The certificate for this server has expired.";
    case NSURLErrorServerCertificateUntrusted:
      return "The certificate for this server is invalid.";
    case NSURLErrorServerCertificateHasUnknownRoot:
      return "The certificate for this server was signed by an unknown certifying authority.";
    case NSURLErrorServerCertificateNotYetValid:
      return "The certificate for this server is not yet valid.";
    case NSURLErrorCannotCreateFile:
      return "The file could not be created.";
    case NSURLErrorCannotOpenFile:
      return "The file could not be opened.";
    case NSURLErrorCannotWriteToFile:
      return "The file could not be written.";
    default:
      return "unknown error";
  }
}

}  // namespace

std::int64_t URLErrorCodeForTransferFailure(const TransferFailure& failure) {
  switch (static_cast<CURLcode>(failure.curlCode)) {
    case CURLE_URL_MALFORMAT:
      return NSURLErrorBadURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return NSURLErrorUnsupportedURL;
    case CURLE_COULDNT_RESOLVE_HOST:
      return NSURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
      return connectCode(failure.systemError);
    case CURLE_OPERATION_TIMEDOUT:
      return NSURLErrorTimedOut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2_STREAM:
      return NSURLErrorNetworkConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_RANGE_ERROR:
      return NSURLErrorBadServerResponse;
    case CURLE_BAD_CONTENT_ENCODING:
      return NSURLErrorCannotDecodeContentData;
    case CURLE_TOO_MANY_REDIRECTS:
      return NSURLErrorHTTPTooManyRedirects;
    case CURLE_FILESIZE_EXCEEDED:
      return NSURLErrorDataLengthExceedsMaximum;
    case CURLE_WRITE_ERROR:
      return NSURLErrorCannotWriteToFile;
    case CURLE_PEER_FAILED_VERIFICATION:
      return certificateCode(failure.certificateVerifyResult);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
      return NSURLErrorSecureConnectionFailed;
    default:
      return NSURLErrorUnknown;
  }
}

Error makeURLError(std::int64_t code, const std::shared_ptr<URL>& url, std::string_view detail,
                   const std::shared_ptr<Data>& resumeData) {
  std::vector<Dictionary::Entry> entries = {{Value(NSLocalizedDescriptionKey), Value(descriptionOf(code))}};
  if (url) {
    entries.emplace_back(Value(NSURLErrorFailingURLErrorKey), Value(url));
    entries.emplace_back(Value(NSURLErrorFailingURLStringErrorKey), Value(url->absoluteString()));
  }
  if (!detail.empty()) entries.emplace_back(Value(NSDebugDescriptionErrorKey), Value(detail));
  if (resumeData) entries.emplace_back(Value(NSURLSessionDownloadTaskResumeData), Value(resumeData));
  return Error(NSURLErrorDomain, code, Dictionary::make(std::move(entries)));
}

}  // namespace fnd::detail
