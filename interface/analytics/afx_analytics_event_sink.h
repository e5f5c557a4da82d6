#pragma once

// Where the analytics tracker hands its events. The tracker names the
// application before each event; a sink sends asynchronously and never makes
// its caller wait for the network.

#include <memory>
#include <string>

#include "foundation/dictionary.h"

class AFXAnalyticsEventSink {
 public:
  virtual ~AFXAnalyticsEventSink() = default;
  virtual void setAppVersion(std::string version) = 0;
  virtual void setAppName(std::string name) = 0;
  virtual void trackEventWithParameters(const std::shared_ptr<fnd::Dictionary>& fields) = 0;
};
