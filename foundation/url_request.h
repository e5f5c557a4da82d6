#pragma once

// What a URL session task loads: the URL, the HTTP method, header fields, an
// optional body, the cache policy and the idle time-out. Header names compare
// without regard to case, as HTTP says; setting a field replaces every earlier
// value of that name.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/url.h"

namespace fnd {

enum class URLRequestCachePolicy {
  useProtocolCachePolicy = 0,
  reloadIgnoringLocalCacheData = 1,
  returnCacheDataElseLoad = 2,
  returnCacheDataDontLoad = 3,
};

using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

// The value of the first field named `name` (any case), or none.
std::optional<std::string> headerFieldValue(const HTTPHeaderFields& fields, std::string_view name);

class URLRequest {
 public:
  // The idle time-out of a request that names none is the session's
  // `timeoutIntervalForRequest`.
  explicit URLRequest(std::shared_ptr<fnd::URL> url,
                      URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::useProtocolCachePolicy,
                      std::optional<double> timeoutInterval = std::nullopt);

  const std::shared_ptr<fnd::URL>& URL() const { return url_; }
  void setURL(std::shared_ptr<fnd::URL> url) { url_ = std::move(url); }

  // "GET" unless set; names are upper-cased.
  const std::string& HTTPMethod() const { return method_; }
  void setHTTPMethod(std::string_view method);

  const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
  // An empty value removes the field.
  void setValueForHTTPHeaderField(std::string_view value, std::string_view field);
  // Appends to the field's value, comma-separated, as HTTP combines them.
  void addValueForHTTPHeaderField(std::string_view value, std::string_view field);

  const std::vector<std::uint8_t>& HTTPBody() const { return body_; }
  void setHTTPBody(std::vector<std::uint8_t> body) { body_ = std::move(body); }

  URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }

  // Seconds the transfer may stay without receiving anything.
  std::optional<double> timeoutInterval() const { return timeoutInterval_; }
  void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }

 private:
  std::shared_ptr<fnd::URL> url_;
  std::string method_ = "GET";
  HTTPHeaderFields headers_;
  std::vector<std::uint8_t> body_;
  URLRequestCachePolicy cachePolicy_;
  std::optional<double> timeoutInterval_;
};

}  // namespace fnd
