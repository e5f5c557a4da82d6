#pragma once

// A static file server over HTTPS (or plain HTTP) for the installer's demo
// and the URL-loading tests: it serves one folder with byte ranges, entity
// tags, modification dates, If-Range and HEAD, to many clients at once, and
// can misbehave on purpose (cut connections, omit lengths, answer errors,
// stall, ignore ranges, change its entity tags).
//
// The server runs on threads of its own; every member may be called from any
// thread.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/expected.h"

namespace korvia::distribution {

struct Faults {
  // Close the connection once this many body bytes of an answer are sent:
  // for the next answer that long only, or for every one.
  std::optional<std::uint64_t> cutAfterBytes = std::nullopt;
  bool cutEveryTime = false;
  // Send bodies chunked, without Content-Length.
  bool omitContentLength = false;
  // Answer these paths with this status ("/a/b.zip" → 404).
  std::map<std::string, int> statusForPath = {};
  // Wait this long once `stallAfterBytes` body bytes are sent (0: before
  // the head).
  std::chrono::milliseconds stall{0};
  std::uint64_t stallAfterBytes = 0;
  // Always answer 200 with the whole file.
  bool ignoreRange = false;
  // Give every answer a new entity tag, as if the file changed in between.
  bool changeETag = false;
};

struct Options {
  std::string rootFolder;
  std::string host = "127.0.0.1";
  // 0: any free port; port() tells which.
  std::uint16_t port = 0;
  // HTTPS with this certificate chain and key (PEM); plain HTTP without.
  std::optional<std::string> certificateChainFile;
  std::optional<std::string> privateKeyFile;
  Faults faults;
  unsigned threads = 2;
};

// One answered request, for tests to check what went over the wire.
struct ServedRequest {
  std::string method;
  std::string path;
  std::optional<std::string> range;
  std::optional<std::string> ifRange;
  int status = 0;
  std::uint64_t bodyBytesSent = 0;
  bool cut = false;
};

class Server {
 public:
  // Fails in NSPOSIXErrorDomain when the address cannot be bound, in
  // NSCocoaErrorDomain when the folder or the TLS files cannot be used.
  [[nodiscard]] static fnd::Expected<std::unique_ptr<Server>> start(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t port() const;
  // "https://127.0.0.1:PORT" (or "http://...").
  std::string baseURL() const;

  Faults faults() const;
  void setFaults(Faults faults);

  // A request is recorded after its last byte went out, so a client may see
  // its answer end first; tests that look at the record right after a
  // transfer wait for it.
  std::vector<ServedRequest> servedRequests() const;
  std::vector<ServedRequest> waitForServedRequests(std::size_t count,
                                                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  void clearServedRequests();

  // Stops accepting and closes every connection. Idempotent.
  void stop();

  struct State;

 private:
  explicit Server(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace korvia::distribution
