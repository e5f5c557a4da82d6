#pragma once

// Where the data hub posts events: the service's events endpoint.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/url.h"

// The events server's origin: $KORVIA_EVENTS_BASE_URL when set and not empty,
// else the service's own. The endpoint is its "/events".
inline constexpr std::string_view AFXEventsBaseURLVariable = "KORVIA_EVENTS_BASE_URL";

class AFXDataHubConfiguration {
 public:
  static std::shared_ptr<AFXDataHubConfiguration> defaultConfiguration();
  // A null URL is a programming error.
  static std::shared_ptr<AFXDataHubConfiguration> initWithBaseURL(std::shared_ptr<fnd::URL> baseURL);

  const std::shared_ptr<fnd::URL>& baseURL() const { return baseURL_; }
  // The base URL joined with "actions"; made on first use.
  std::shared_ptr<fnd::URL> actions() const;

 private:
  explicit AFXDataHubConfiguration(std::shared_ptr<fnd::URL> baseURL) : baseURL_(std::move(baseURL)) {}

  const std::shared_ptr<fnd::URL> baseURL_;
  mutable std::once_flag actionsOnce_;
  mutable std::shared_ptr<fnd::URL> actions_;
};
