#include "devtools/http_recorder/recording_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korvia::testing {
namespace {

constexpr std::size_t kMaximumHead = 64 * 1024;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return false;
    sent += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

std::unique_ptr<RecordingHTTPServer> RecordingHTTPServer::start() {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return nullptr;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener);
    return nullptr;
  }
  std::unique_ptr<RecordingHTTPServer> server(new RecordingHTTPServer(listener, ntohs(address.sin_port)));
  server->thread_ = std::thread([raw = server.get()] { raw->serve(); });
  return server;
}

RecordingHTTPServer::RecordingHTTPServer(int listener, std::uint16_t port) : listener_(listener), port_(port) {}

RecordingHTTPServer::~RecordingHTTPServer() {
  // Wakes the accept call, which then fails and ends the loop.
  ::shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
}

std::string RecordingHTTPServer::baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

void RecordingHTTPServer::answer(const std::string& path, CannedResponse response) {
  std::lock_guard lock(mutex_);
  responses_[path] = std::move(response);
}

std::vector<RecordedRequest> RecordingHTTPServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RecordingHTTPServer::serve() {
  for (;;) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    handle(connection);
    ::close(connection);
  }
}

void RecordingHTTPServer::handle(int connection) {
  std::string received;
  char buffer[4096];
  std::size_t headEnd = std::string::npos;
  while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0 || received.size() > kMaximumHead) return;
    received.append(buffer, static_cast<std::size_t>(count));
  }
  RecordedRequest request;
  const std::string head = received.substr(0, headEnd);
  std::size_t lineEnd = head.find("\r\n");
  const std::string requestLine = head.substr(0, lineEnd);
  const auto firstSpace = requestLine.find(' ');
  const auto secondSpace = requestLine.find(' ', firstSpace + 1);
  if (firstSpace == std::string::npos || secondSpace == std::string::npos) return;
  request.method = requestLine.substr(0, firstSpace);
  request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  request.path = request.target.substr(0, request.target.find('?'));
  while (lineEnd != std::string::npos && lineEnd < head.size()) {
    const std::size_t next = head.find("\r\n", lineEnd + 2);
    const std::string line = head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
    const auto colon = line.find(':');
    if (colon != std::string::npos) request.headers[lower(line.substr(0, colon))] = trimmed(line.substr(colon + 1));
    lineEnd = next;
  }
  std::size_t bodyLength = 0;
  if (auto found = request.headers.find("content-length"); found != request.headers.end()) {
    bodyLength = std::strtoull(found->second.c_str(), nullptr, 10);
  }
  request.body = received.substr(headEnd + 4);
  while (request.body.size() < bodyLength) {
    const ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    request.body.append(buffer, static_cast<std::size_t>(count));
  }
  CannedResponse response{404, "", "text/plain"};
  {
    std::lock_guard lock(mutex_);
    if (auto found = responses_.find(request.path); found != responses_.end()) response = found->second;
    requests_.push_back(request);
  }
  (void)writeAll(connection, "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\nContent-Type: " +
                                 response.contentType + "\r\nContent-Length: " + std::to_string(response.body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + response.body);
}

}  // namespace korvia::testing
