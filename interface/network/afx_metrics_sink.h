#pragma once

// Where the network service records the timings of its downloads. The
// statistics client of the services factory implements it; it names the
// metric after the environment and the library version and sends it.

#include <string_view>

class AFXMetricsSink {
 public:
  virtual ~AFXMetricsSink() = default;
  // `seconds` as a timing metric called `name`.
  virtual void metricsNamedRecordTiming(std::string_view name, double seconds) = 0;
};
