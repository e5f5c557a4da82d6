#pragma once

// The head of an HTTP response as a URL session task received it. Status codes
// of any value are responses, not errors, at this layer.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/url.h"
#include "foundation/url_request.h"

namespace fnd {

class HTTPURLResponse {
 public:
  HTTPURLResponse(std::shared_ptr<fnd::URL> url, std::int64_t statusCode, HTTPHeaderFields headerFields,
                  std::int64_t expectedContentLength);

  // The URL the answer came from, after redirections.
  const std::shared_ptr<fnd::URL>& URL() const { return url_; }
  std::int64_t statusCode() const { return statusCode_; }
  const HTTPHeaderFields& allHeaderFields() const { return headers_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
  // The length the body announced, or -1 when the server did not say.
  std::int64_t expectedContentLength() const { return expectedContentLength_; }
  // The media type of Content-Type without parameters, lower-cased; empty when absent.
  std::string MIMEType() const;
  // The file name the answer suggests: Content-Disposition's, else the URL's
  // last path component, else "Unknown".
  std::string suggestedFilename() const;

  // "<NSHTTPURLResponse: URL: ... { Status Code: 200 }>".
  std::string description() const;

 private:
  std::shared_ptr<fnd::URL> url_;
  std::int64_t statusCode_;
  HTTPHeaderFields headers_;
  std::int64_t expectedContentLength_;
};

}  // namespace fnd
