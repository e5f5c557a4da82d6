#pragma once

// A statsd server on loopback for tests: a UDP socket that keeps what it
// receives.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace qv_statsd_testing {

class LoopbackServer {
 public:
  LoopbackServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() { ::close(fd_); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }

  // The next datagram, or nothing within `milliseconds`.
  std::optional<std::string> receive(int milliseconds = 1000) {
    pollfd descriptor{.fd = fd_, .events = POLLIN, .revents = 0};
    if (::poll(&descriptor, 1, milliseconds) != 1) return std::nullopt;
    char buffer[2048];
    const ssize_t length = ::recv(fd_, buffer, sizeof buffer, 0);
    if (length < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(length));
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace qv_statsd_testing
