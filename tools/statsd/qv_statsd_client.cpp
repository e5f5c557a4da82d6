#include "tools/statsd/qv_statsd_client.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <utility>

#include "foundation/check.h"

namespace {

constexpr timeval kSocketTimeout{.tv_sec = 1, .tv_usec = 0};

// Fixed two decimals whatever the process's locale, so a line never carries
// a decimal comma.
std::string twoDecimals(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 2);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace

void QVStatsdClientDelegate::statsdClientDidSendCommand(QVStatsdClient&, const std::string&) {}
void QVStatsdClientDelegate::statsdClientDidFailToSendCommand(QVStatsdClient&, const std::string&, long) {}

QVStatsdClient::QVStatsdClient(std::string host, std::int32_t port, std::string ns, int socket)
    : host_(std::move(host)),
      port_(port == 0 ? kDefaultPort : port),
      namespace_(std::move(ns)),
      internalQueue_(fnd::Queue::serial("com.quorvex.statsd-client.queue", fnd::QualityOfService::utility)),
      socket_(socket) {}

std::shared_ptr<QVStatsdClient> QVStatsdClient::initWithHost(std::string_view host, std::int32_t port,
                                                             std::string_view ns, int socket) {
  FND_PARAMETER_ASSERT_TEXT(!host.empty(), "host");
  FND_PARAMETER_ASSERT_TEXT(!ns.empty(), "namespace");
  return std::shared_ptr<QVStatsdClient>(new QVStatsdClient(std::string(host), port, std::string(ns), socket));
}

QVStatsdClient::~QVStatsdClient() {
  // Every block on the queue holds the client, so none is left to race.
  closeSocket();
}

void QVStatsdClient::setDelegate(std::weak_ptr<QVStatsdClientDelegate> delegate) {
  internalQueue_.async([self = shared_from_this(), delegate = std::move(delegate)]() mutable {
    self->delegate_ = std::move(delegate);
  });
}

void QVStatsdClient::send(std::string line) {
  internalQueue_.async([self = shared_from_this(), line = std::move(line)] { self->sendNow(line); });
}

std::string QVStatsdClient::metricPrefix(std::string_view name) const {
  std::string prefix = namespace_;
  prefix += '.';
  prefix += name;
  prefix += ':';
  return prefix;
}

void QVStatsdClient::metricsNamedRecordCount(std::string_view name, long count) {
  send(metricPrefix(name) + std::to_string(count) + "|c");
}

void QVStatsdClient::metricsNamedRecordSample(std::string_view name, long count, double interval) {
  send(metricPrefix(name) + std::to_string(count) + "|c|@" + twoDecimals(interval));
}

void QVStatsdClient::metricsNamedRecordTiming(std::string_view name, double seconds) {
  send(metricPrefix(name) + std::to_string(static_cast<long>(seconds * 1000)) + "|ms");
}

void QVStatsdClient::metricsNamedSetGauge(std::string_view name, long value) {
  send(metricPrefix(name) + std::to_string(value) + "|g");
}

void QVStatsdClient::metricsNamedAdjustGauge(std::string_view name, long delta) {
  send(metricPrefix(name) + (delta >= 0 ? "+" : "") + std::to_string(delta) + "|g");
}

void QVStatsdClient::sendNow(const std::string& line) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  long error = trySend(line);
  if (error > 0) error = trySend(line);  // Once more, on the same socket.
  const auto delegate = delegate_.lock();
  if (error == 0) {
    if (delegate) delegate->statsdClientDidSendCommand(*this, line);
    return;
  }
  // The next line starts from a fresh socket.
  closeSocket();
  if (delegate) delegate->statsdClientDidFailToSendCommand(*this, line, error);
}

long QVStatsdClient::trySend(const std::string& line) {
  if (socket_ < 0 && !connectSocket()) return -1;
  ssize_t sent;
  do {
    sent = ::send(socket_, line.data(), line.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return errno;
  return 0;
}

bool QVStatsdClient::connectSocket() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(port_);
  if (::getaddrinfo(host_.c_str(), port.c_str(), &hints, &found) != 0) return false;
  const addrinfo* chosen = nullptr;
  for (const addrinfo* entry = found; entry && !chosen; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6) chosen = entry;
  }
  bool connected = false;
  if (chosen) {
    socket_ = ::socket(chosen->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    connected = socket_ >= 0 &&
                ::setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &kSocketTimeout, sizeof kSocketTimeout) == 0 &&
                ::connect(socket_, chosen->ai_addr, chosen->ai_addrlen) == 0;
  }
  ::freeaddrinfo(found);
  if (!connected) closeSocket();
  return connected;
}

void QVStatsdClient::closeSocket() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
}
