#include "interface/analytics/afx_data_hub_configuration.h"

#include <cstdlib>

#include "foundation/check.h"
#include "foundation/url.h"

std::shared_ptr<AFXDataHubConfiguration> AFXDataHubConfiguration::defaultConfiguration() {
  auto url = fnd::URL::URLWithString(fnd::baseURLStringFromEnvironment(AFXEventsBaseURLVariable,
                                                                     "https://events.korvia.com") + "/events");
  // A configured origin that is no URL falls back to the service's own, so
  // events are never posted to a made-up place.
  if (!url) url = fnd::URL::URLWithString("https://events.korvia.com/events");
  return initWithBaseURL(std::move(url));
}

std::shared_ptr<AFXDataHubConfiguration> AFXDataHubConfiguration::initWithBaseURL(std::shared_ptr<fnd::URL> baseURL) {
  FND_PARAMETER_ASSERT(baseURL != nullptr);
  return std::shared_ptr<AFXDataHubConfiguration>(new AFXDataHubConfiguration(std::move(baseURL)));
}

std::shared_ptr<fnd::URL> AFXDataHubConfiguration::actions() const {
  std::call_once(actionsOnce_, [this] { actions_ = baseURL_->URLByAppendingPathComponent("actions"); });
  return actions_;
}
