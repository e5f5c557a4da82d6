#pragma once

// The identifying texts that go with every analytics event: the user agent,
// the display and language facts, the primary MAC address. Each is computed
// on first use and then kept; safe to read from any thread.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/bundle.h"

// Sizes in points of the main screen and the main window (0 when there is
// none). A process with a display installs the provider before analytics
// starts; without one both sizes are 0.
struct AFXDisplayMetrics {
  double screenWidth = 0;
  double screenHeight = 0;
  double windowWidth = 0;
  double windowHeight = 0;
};
using AFXDisplayMetricsProvider = std::function<AFXDisplayMetrics()>;
void AFXSetDisplayMetricsProvider(AFXDisplayMetricsProvider provider);

class AFXAnalyticsIdentification {
 public:
  // `bundle` gives the application version; the main bundle when null.
  static std::shared_ptr<AFXAnalyticsIdentification> initWithApplicationName(std::string applicationName,
                                                                             std::shared_ptr<fnd::Bundle> bundle = nullptr);

  const std::string& applicationName() const { return applicationName_; }
  // The bundle's "CFBundleVersion", or "Unknown".
  std::string applicationVersion() const;
  // "<name>/<version> (Macintosh; Intel Mac OS X <major>_<minor>_<patch>)".
  std::string userAgentString() const;
  // "&sr=<screen>&vp=<window>&ul=<first preferred language>", sizes as WxH.
  std::string systemInfo() const;
  std::string primaryMACAddress() const;

 private:
  AFXAnalyticsIdentification(std::string applicationName, std::shared_ptr<fnd::Bundle> bundle);
  // The kept value of `slot`, made by `make` on first use.
  std::string kept(std::optional<std::string>& slot, const std::function<std::string()>& make) const;

  const std::string applicationName_;
  const std::shared_ptr<fnd::Bundle> bundle_;
  mutable std::mutex mutex_;
  mutable std::optional<std::string> applicationVersion_;
  mutable std::optional<std::string> userAgentString_;
  mutable std::optional<std::string> systemInfo_;
  mutable std::optional<std::string> primaryMACAddress_;
};

namespace afx_analytics_detail {

// The application version a bundle reports, "Unknown" when it has none.
std::string applicationVersionOfBundle(const std::shared_ptr<fnd::Bundle>& bundle);
std::string userAgentFor(const std::string& name, const std::string& version, const std::string& systemVersion);
std::string systemInfoFor(const AFXDisplayMetrics& metrics, const std::optional<std::string>& language);

}  // namespace afx_analytics_detail
