#include "interface/analytics/afx_analytics_identification.h"

#include <array>
#include <charconv>

#include "foundation/format.h"
#include "tools/qv_system_info.h"

namespace {

std::mutex& providerMutex() {
  static std::mutex mutex;
  return mutex;
}

AFXDisplayMetricsProvider& installedProvider() {
  static AFXDisplayMetricsProvider provider;
  return provider;
}

AFXDisplayMetrics currentDisplayMetrics() {
  AFXDisplayMetricsProvider provider;
  {
    std::lock_guard lock(providerMutex());
    provider = installedProvider();
  }
  return provider ? provider() : AFXDisplayMetrics{};
}

// "14.2.1" → {14, 2, 1}; missing or unreadable parts are 0.
std::array<long, 3> versionParts(std::string_view version) {
  std::array<long, 3> parts{0, 0, 0};
  for (long& part : parts) {
    const auto dot = version.find('.');
    const std::string_view piece = version.substr(0, dot);
    std::from_chars(piece.data(), piece.data() + piece.size(), part);
    if (dot == std::string_view::npos) break;
    version.remove_prefix(dot + 1);
  }
  return parts;
}

}  // namespace

void AFXSetDisplayMetricsProvider(AFXDisplayMetricsProvider provider) {
  std::lock_guard lock(providerMutex());
  installedProvider() = std::move(provider);
}

namespace afx_analytics_detail {

std::string applicationVersionOfBundle(const std::shared_ptr<fnd::Bundle>& bundle) {
  const std::string version = bundle ? bundle->bundleVersion() : std::string();
  return version.empty() ? "Unknown" : version;
}

std::string userAgentFor(const std::string& name, const std::string& version, const std::string& systemVersion) {
  const auto [major, minor, patch] = versionParts(systemVersion);
  return fnd::StringWithFormat("%@/%@ (Macintosh; Intel Mac OS X %ld_%ld_%ld)", name, version, major, minor, patch);
}

std::string systemInfoFor(const AFXDisplayMetrics& metrics, const std::optional<std::string>& language) {
  return fnd::StringWithFormat("&sr=%.0fx%.0f&vp=%.0fx%.0f&ul=%@", metrics.screenWidth, metrics.screenHeight,
                               metrics.windowWidth, metrics.windowHeight, language.value_or(""));
}

}  // namespace afx_analytics_detail

std::shared_ptr<AFXAnalyticsIdentification> AFXAnalyticsIdentification::initWithApplicationName(
    std::string applicationName, std::shared_ptr<fnd::Bundle> bundle) {
  if (!bundle) bundle = fnd::Bundle::mainBundle();
  return std::shared_ptr<AFXAnalyticsIdentification>(
      new AFXAnalyticsIdentification(std::move(applicationName), std::move(bundle)));
}

AFXAnalyticsIdentification::AFXAnalyticsIdentification(std::string applicationName, std::shared_ptr<fnd::Bundle> bundle)
    : applicationName_(std::move(applicationName)), bundle_(std::move(bundle)) {}

std::string AFXAnalyticsIdentification::kept(std::optional<std::string>& slot,
                                             const std::function<std::string()>& make) const {
  {
    std::lock_guard lock(mutex_);
    if (slot) return *slot;
  }
  // Made outside the lock: the makers read files and call the provider.
  std::string made = make();
  std::lock_guard lock(mutex_);
  if (!slot) slot = std::move(made);
  return *slot;
}

std::string AFXAnalyticsIdentification::applicationVersion() const {
  return kept(applicationVersion_, [this] { return afx_analytics_detail::applicationVersionOfBundle(bundle_); });
}

std::string AFXAnalyticsIdentification::userAgentString() const {
  return kept(userAgentString_, [this] {
    return afx_analytics_detail::userAgentFor(applicationName_, applicationVersion(), QVSystemInfo::OSVersion());
  });
}

std::string AFXAnalyticsIdentification::systemInfo() const {
  return kept(systemInfo_, [] {
    const auto languages = QVSystemInfo::preferredLocales(1);
    return afx_analytics_detail::systemInfoFor(
        currentDisplayMetrics(), languages.empty() ? std::nullopt : std::optional<std::string>(languages.front()));
  });
}

std::string AFXAnalyticsIdentification::primaryMACAddress() const {
  return kept(primaryMACAddress_, [] { return QVSystemInfo::MACAddress(); });
}
