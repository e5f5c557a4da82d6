#pragma once

// Sends metrics as statsd lines over UDP. All sending happens on the client's
// own serial queue, so callers never wait for the network; a line that cannot
// be sent is retried once, then reported to the delegate and dropped.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/queue.h"

class QVStatsdClient;

// Told of every line sent or given up, on the client's queue. Both calls are
// optional.
class QVStatsdClientDelegate {
 public:
  virtual ~QVStatsdClientDelegate() = default;
  virtual void statsdClientDidSendCommand(QVStatsdClient& client, const std::string& command);
  // `error` is the socket's errno, or -1 when no socket could be made.
  virtual void statsdClientDidFailToSendCommand(QVStatsdClient& client, const std::string& command, long error);
};

class QVStatsdClient : public std::enable_shared_from_this<QVStatsdClient> {
 public:
  static constexpr std::int32_t kDefaultPort = 8125;

  // `host` and `ns` are required. A port of 0 means kDefaultPort. `socket`,
  // when not -1, is a UDP socket already connected to the server; the client
  // owns it from now on.
  static std::shared_ptr<QVStatsdClient> initWithHost(std::string_view host, std::int32_t port, std::string_view ns,
                                                      int socket = -1);
  ~QVStatsdClient();
  QVStatsdClient(const QVStatsdClient&) = delete;
  QVStatsdClient& operator=(const QVStatsdClient&) = delete;

  const std::string& host() const { return host_; }
  std::int32_t port() const { return port_; }
  const std::string& ns() const { return namespace_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // Held weakly; set it before the first line to hear of every one.
  void setDelegate(std::weak_ptr<QVStatsdClientDelegate> delegate);

  // A raw line, as given.
  void send(std::string line);

  void metricsNamedRecordCount(std::string_view name, long count);
  void metricsNamedRecordSample(std::string_view name, long count, double interval);
  // `seconds` times 1000, truncated to whole milliseconds.
  void metricsNamedRecordTiming(std::string_view name, double seconds);
  void metricsNamedSetGauge(std::string_view name, long value);
  void metricsNamedAdjustGauge(std::string_view name, long delta);

 private:
  QVStatsdClient(std::string host, std::int32_t port, std::string ns, int socket);

  // On the internal queue.
  void sendNow(const std::string& line);
  // 0, or the errno of the failed attempt; -1 when no socket could be made.
  long trySend(const std::string& line);
  bool connectSocket();
  void closeSocket();
  std::string metricPrefix(std::string_view name) const;

  const std::string host_;
  const std::int32_t port_;
  const std::string namespace_;
  const fnd::Queue internalQueue_;
  // Confined to the internal queue.
  int socket_ = -1;
  std::weak_ptr<QVStatsdClientDelegate> delegate_;
};
