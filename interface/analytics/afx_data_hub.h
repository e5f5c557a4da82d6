#pragma once

// Posts analytics events as JSON to the service's events endpoint, one POST
// per event, from its own serial queue "com.quorvex.sending-event-queue.internal-queue".
// There is no retry and no persistence: an event that cannot be sent is
// logged and dropped.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/dictionary.h"
#include "foundation/queue.h"
#include "foundation/url_session.h"
#include "foundation/user_defaults.h"
#include "interface/analytics/afx_analytics_event_sink.h"
#include "interface/analytics/afx_analytics_identification.h"
#include "interface/analytics/afx_data_hub_configuration.h"

// The preference that holds the customer's identifier for the events.
inline constexpr std::string_view AFXDataHubUIDKey = "AFXDataHubUID";

class AFXDataHub final : public AFXAnalyticsEventSink, public std::enable_shared_from_this<AFXDataHub> {
  struct Token {};

 public:
  // `defaults` holds the customer identifier; the standard defaults when null.
  static std::shared_ptr<AFXDataHub> initWithIdentification(std::shared_ptr<AFXAnalyticsIdentification> identification,
                                                            std::shared_ptr<AFXDataHubConfiguration> configuration,
                                                            std::shared_ptr<fnd::UserDefaults> defaults = nullptr);
  AFXDataHub(Token, std::shared_ptr<AFXAnalyticsIdentification> identification,
             std::shared_ptr<AFXDataHubConfiguration> configuration, std::shared_ptr<fnd::UserDefaults> defaults);
  ~AFXDataHub() override;
  AFXDataHub(const AFXDataHub&) = delete;
  AFXDataHub& operator=(const AFXDataHub&) = delete;

  const std::shared_ptr<AFXAnalyticsIdentification>& identification() const { return identification_; }
  const std::shared_ptr<AFXDataHubConfiguration>& configuration() const { return configuration_; }
  const fnd::Queue& sendingEventsQueue() const { return sendingEventsQueue_; }

  // AFXAnalyticsEventSink. The name and version in force when an event is
  // handed over go with it.
  void setAppVersion(std::string version) override;
  void setAppName(std::string name) override;
  void trackEventWithParameters(const std::shared_ptr<fnd::Dictionary>& fields) override;

  // The JSON object an event is posted as.
  std::shared_ptr<fnd::Dictionary> bodyForEvent(const std::shared_ptr<fnd::Dictionary>& fields,
                                                const std::optional<std::string>& appName) const;

 private:
  // On the sending queue.
  void post(const std::shared_ptr<fnd::Dictionary>& fields, const std::optional<std::string>& appName);

  const std::shared_ptr<AFXAnalyticsIdentification> identification_;
  const std::shared_ptr<AFXDataHubConfiguration> configuration_;
  const std::shared_ptr<fnd::UserDefaults> defaults_;
  const fnd::Queue sendingEventsQueue_;
  const std::shared_ptr<fnd::URLSession> session_;
  mutable std::mutex mutex_;
  std::optional<std::string> appName_;
  std::optional<std::string> appVersion_;
};
