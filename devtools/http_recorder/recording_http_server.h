#pragma once

// A loopback HTTP/1.1 server for tests of the web requests: it answers each
// path with a configured status and body and records every request it got
// (method, target, headers, body). One connection at a time, closed after
// each answer.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvia::testing {

struct RecordedRequest {
  std::string method;
  // The request target: path and query.
  std::string target;
  std::string path;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

struct CannedResponse {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
};

class RecordingHTTPServer {
 public:
  // Fails (returns null) when no loopback port can be bound.
  static std::unique_ptr<RecordingHTTPServer> start();
  ~RecordingHTTPServer();
  RecordingHTTPServer(const RecordingHTTPServer&) = delete;
  RecordingHTTPServer& operator=(const RecordingHTTPServer&) = delete;

  // "http://127.0.0.1:PORT"
  std::string baseURL() const;
  // Paths without an answer get 404 with an empty body.
  void answer(const std::string& path, CannedResponse response);
  std::vector<RecordedRequest> requests() const;

 private:
  RecordingHTTPServer(int listener, std::uint16_t port);
  void serve();
  void handle(int connection);

  const int listener_;
  const std::uint16_t port_;
  mutable std::mutex mutex_;
  std::map<std::string, CannedResponse> responses_;
  std::vector<RecordedRequest> requests_;
  std::thread thread_;
};

}  // namespace korvia::testing
