#include "interface/analytics/afx_statsd_client.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/process.h"
#include "interface/model/afx_library_version.h"
#include "logging/dd_log_macros.h"

std::string AFXStatsdHostName() {
  return fnd::environmentValue(AFXStatsdHostVariable).value_or("statsd.korvia.com");
}

std::shared_ptr<AFXStatsdClient> AFXStatsdClient::create() { return createWithHost(AFXStatsdHostName()); }

std::shared_ptr<AFXStatsdClient> AFXStatsdClient::createWithHost(std::string_view host, std::int32_t port) {
  if (host.empty()) {
    DDLogError("Did fail to make statsd client to %@", std::string(host));
    return nullptr;
  }
  auto statsd = std::make_shared<AFXStatsdClient>(Token{}, QVStatsdClient::initWithHost(host, port, kNamespace));
  statsd->client_->setDelegate(statsd->weak_from_this());
  return statsd;
}

AFXStatsdClient::AFXStatsdClient(Token, std::shared_ptr<QVStatsdClient> client)
    : client_(std::move(client)), environmentID_(AFXEnvironmentID::defaultEnvironmentID()) {}

std::shared_ptr<AFXEnvironmentID> AFXStatsdClient::environmentID() const {
  std::lock_guard lock(mutex_);
  return environmentID_;
}

void AFXStatsdClient::setEnvironmentID(std::shared_ptr<AFXEnvironmentID> environmentID) {
  std::lock_guard lock(mutex_);
  environmentID_ = std::move(environmentID);
}

std::string AFXStatsdClient::versionPayload() {
  std::string payload(AFXLibraryVersion);
  std::replace(payload.begin(), payload.end(), '.', '_');
  return payload;
}

std::string AFXStatsdClient::fullMetricName(std::string_view name) const {
  const auto environment = environmentID();
  const auto statsdID = environment ? environment->statsdID() : std::nullopt;
  if (!statsdID) return {};
  return "korvia." + *statsdID + "." + versionPayload() + "." + std::string(name);
}

void AFXStatsdClient::metricsNamedRecordCount(std::string_view name, long count) {
  if (auto full = fullMetricName(name); !full.empty()) client_->metricsNamedRecordCount(full, count);
}

void AFXStatsdClient::metricsNamedRecordSample(std::string_view name, long count, double interval) {
  if (auto full = fullMetricName(name); !full.empty()) client_->metricsNamedRecordSample(full, count, interval);
}

void AFXStatsdClient::metricsNamedRecordTiming(std::string_view name, double seconds) {
  if (auto full = fullMetricName(name); !full.empty()) client_->metricsNamedRecordTiming(full, seconds);
}

void AFXStatsdClient::metricsNamedSetGauge(std::string_view name, long value) {
  if (auto full = fullMetricName(name); !full.empty()) client_->metricsNamedSetGauge(full, value);
}

void AFXStatsdClient::metricsNamedAdjustGauge(std::string_view name, long delta) {
  if (auto full = fullMetricName(name); !full.empty()) client_->metricsNamedAdjustGauge(full, delta);
}

std::string AFXStatsdClient::masked(std::string line) {
  for (std::size_t at = line.find(kNamespace); at != std::string::npos; at = line.find(kNamespace, at)) {
    line.replace(at, kNamespace.size(), kMaskedNamespace);
    at += kMaskedNamespace.size();
  }
  return line;
}

void AFXStatsdClient::statsdClientDidSendCommand(QVStatsdClient&, const std::string& command) {
  DDLogInfo("statsd: %@", masked(command));
}

void AFXStatsdClient::statsdClientDidFailToSendCommand(QVStatsdClient&, const std::string& command, long error) {
  DDLogError("Did fail to send statsd: %@ with error %li", masked(command), error);
}
