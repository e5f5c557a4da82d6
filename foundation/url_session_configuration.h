#pragma once

// How a URL session loads: time-outs, the default cache policy, header fields
// added to every request and how many connections one host may get. The
// session copies its configuration when it is made.
//
// Neither kind keeps a response cache or cookies, so the cache policies all
// load from the network. A default session shares name lookups and TLS
// sessions with the process's other default sessions; an ephemeral one keeps
// them to itself and forgets them when it ends.

#include <optional>
#include <string>

#include "foundation/url_request.h"

namespace fnd {

class URLSessionConfiguration {
 public:
  static URLSessionConfiguration defaultSessionConfiguration();
  static URLSessionConfiguration ephemeralSessionConfiguration();

  bool isEphemeral() const { return ephemeral_; }

  // Seconds a transfer may receive nothing (connecting included) before it
  // fails with NSURLErrorTimedOut. A request's own time-out takes precedence.
  double timeoutIntervalForRequest() const { return timeoutIntervalForRequest_; }
  void setTimeoutIntervalForRequest(double seconds) { timeoutIntervalForRequest_ = seconds; }
  // Seconds a whole transfer may take, from its first resume.
  double timeoutIntervalForResource() const { return timeoutIntervalForResource_; }
  void setTimeoutIntervalForResource(double seconds) { timeoutIntervalForResource_ = seconds; }

  URLRequestCachePolicy requestCachePolicy() const { return requestCachePolicy_; }
  void setRequestCachePolicy(URLRequestCachePolicy policy) { requestCachePolicy_ = policy; }

  // Added to requests that do not set the same field themselves.
  const HTTPHeaderFields& HTTPAdditionalHeaders() const { return additionalHeaders_; }
  void setHTTPAdditionalHeaders(HTTPHeaderFields headers) { additionalHeaders_ = std::move(headers); }

  int HTTPMaximumConnectionsPerHost() const { return maximumConnectionsPerHost_; }
  void setHTTPMaximumConnectionsPerHost(int count) { maximumConnectionsPerHost_ = count; }

 private:
  explicit URLSessionConfiguration(bool ephemeral) : ephemeral_(ephemeral) {}

  bool ephemeral_;
  double timeoutIntervalForRequest_ = 60.0;
  double timeoutIntervalForResource_ = 7 * 24 * 3600.0;
  URLRequestCachePolicy requestCachePolicy_ = URLRequestCachePolicy::useProtocolCachePolicy;
  HTTPHeaderFields additionalHeaders_;
  int maximumConnectionsPerHost_ = 6;
};

}  // namespace fnd
