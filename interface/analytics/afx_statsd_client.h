#pragma once

// The product's metrics: statsd lines to the service's metric host, named
// "korvia.<statistics id>.<library version>.<name>" under the account's
// namespace. Metrics of an environment without a statistics identifier are
// not sent. Every sent or failed line is logged with the namespace masked, so
// the account key never reaches a log file.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "interface/model/afx_environment_id.h"
#include "interface/network/afx_metrics_sink.h"
#include "tools/statsd/qv_statsd_client.h"

// The metric host: $KORVIA_STATSD_HOST when set and not empty, else the
// service's own.
inline constexpr std::string_view AFXStatsdHostVariable = "KORVIA_STATSD_HOST";
std::string AFXStatsdHostName();

class AFXStatsdClient final : public AFXMetricsSink,
                              public QVStatsdClientDelegate,
                              public std::enable_shared_from_this<AFXStatsdClient> {
  struct Token {};

 public:
  // Identifies the account on the hosted metrics service.
  static constexpr std::string_view kNamespace = "3f0d6a12-9b47-4e21-b8c5-7a1e2d904c3b";
  // What the logs show in place of the namespace.
  static constexpr std::string_view kMaskedNamespace = "<statsdID>";

  // For the metric host on the default port. Null, logged, when no client
  // can be made for the host.
  static std::shared_ptr<AFXStatsdClient> create();
  static std::shared_ptr<AFXStatsdClient> createWithHost(std::string_view host, std::int32_t port = 0);

  AFXStatsdClient(Token, std::shared_ptr<QVStatsdClient> client);

  const std::shared_ptr<QVStatsdClient>& client() const { return client_; }
  // The environment whose statistics identifier names the metrics; the
  // default one until the services factory knows the current environment.
  std::shared_ptr<AFXEnvironmentID> environmentID() const;
  void setEnvironmentID(std::shared_ptr<AFXEnvironmentID> environmentID);
  // The library version with "_" for ".": 1_9_8.
  static std::string versionPayload();

  void metricsNamedRecordCount(std::string_view name, long count);
  void metricsNamedRecordSample(std::string_view name, long count, double interval);
  void metricsNamedRecordTiming(std::string_view name, double seconds) override;
  void metricsNamedSetGauge(std::string_view name, long value);
  void metricsNamedAdjustGauge(std::string_view name, long delta);

  // QVStatsdClientDelegate
  void statsdClientDidSendCommand(QVStatsdClient& client, const std::string& command) override;
  void statsdClientDidFailToSendCommand(QVStatsdClient& client, const std::string& command, long error) override;

 private:
  // "korvia.<statistics id>.<version>.<name>", or "" when the environment has
  // no statistics identifier.
  std::string fullMetricName(std::string_view name) const;
  static std::string masked(std::string line);

  const std::shared_ptr<QVStatsdClient> client_;
  mutable std::mutex mutex_;
  std::shared_ptr<AFXEnvironmentID> environmentID_;
};
