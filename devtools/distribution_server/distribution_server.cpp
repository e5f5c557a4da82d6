#include "devtools/distribution_server/distribution_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/redirect_error.hpp>
#include <asio/ssl.hpp>
#include <asio/steady_timer.hpp>
#include <asio/streambuf.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "devtools/distribution_server/http_head.h"
#include "foundation/file_manager.h"

namespace korvia::distribution {
namespace {

using asio::ip::tcp;
using TLSStream = asio::ssl::stream<tcp::socket>;

constexpr std::size_t kBodyPieceSize = 256 * 1024;

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

// A file to serve, looked up afresh for every request so tests may change it.
struct Entity {
  int descriptor = -1;
  std::uint64_t size = 0;
  std::string entityTag;
  std::string lastModified;
  ~Entity() {
    if (descriptor >= 0) ::close(descriptor);
  }
};

// What one answer sends.
struct Plan {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string smallBody;  // for error answers
  std::unique_ptr<Entity> entity;
  ByteRange range;
  bool hasFileBody = false;
  bool chunked = false;
  std::optional<std::uint64_t> cutAfter;
  std::chrono::milliseconds stall{0};
  std::uint64_t stallAfter = 0;
};

int openForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }

}  // namespace

struct Server::State {
  Options options;
  std::string canonicalRoot;
  // Declared before the I/O context so it outlives the connections that
  // context still holds when it goes.
  std::optional<asio::ssl::context> tls;
  asio::io_context context;
  std::optional<tcp::acceptor> acceptor;
  std::vector<std::thread> threads;
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable recorded;
  Faults faults;
  bool cutDone = false;
  std::uint64_t generation = 0;
  std::vector<ServedRequest> served;
  bool stopped = false;

  void record(ServedRequest request) {
    std::lock_guard lock(mutex);
    served.push_back(std::move(request));
    recorded.notify_all();
  }

  std::unique_ptr<Entity> open(const std::string& path) const {
    const std::string full = canonicalRoot + path;
    char resolved[PATH_MAX];
    if (!::realpath(full.c_str(), resolved)) return nullptr;
    const std::string real(resolved);
    // Symbolic links may not lead out of the folder.
    if (real.compare(0, canonicalRoot.size(), canonicalRoot) != 0 ||
        (real.size() > canonicalRoot.size() && real[canonicalRoot.size()] != '/')) {
      return nullptr;
    }
    auto entity = std::make_unique<Entity>();
    entity->descriptor = openForReading(real);
    struct stat status {};
    if (entity->descriptor < 0 || ::fstat(entity->descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
    entity->size = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t nanoseconds =
        static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(status.st_mtim.tv_nsec);
    entity->entityTag = "\"" + hex(entity->size) + "-" + hex(nanoseconds);
    entity->lastModified = httpDate(status.st_mtim.tv_sec);
    return entity;
  }

  Plan plan(const RequestHead& request, const std::optional<std::string>& path, ServedRequest& log) {
    Plan plan;
    log.range = request.field("Range");
    log.ifRange = request.field("If-Range");
    Faults current;
    std::uint64_t tagGeneration = 0;
    {
      std::lock_guard lock(mutex);
      current = faults;
      tagGeneration = ++generation;
    }
    plan.stall = current.stall;
    plan.stallAfter = current.stallAfterBytes;
    plan.fields.emplace_back("Server", "korvia-distribution-server");
    plan.fields.emplace_back("Date", httpDate(std::time(nullptr)));
    auto fail = [&](int status) {
      plan.status = status;
      plan.smallBody = std::string(reasonPhrase(status)) + "\n";
      plan.fields.emplace_back("Content-Type", "text/plain");
      if (status == 405) plan.fields.emplace_back("Allow", "GET, HEAD");
      return std::move(plan);
    };
    if (request.method != "GET" && request.method != "HEAD") return fail(405);
    if (!path) return fail(400);
    if (const auto forced = current.statusForPath.find(*path); forced != current.statusForPath.end()) {
      return fail(forced->second);
    }
    plan.entity = open(*path);
    if (!plan.entity) return fail(404);
    Entity& entity = *plan.entity;
    if (current.changeETag) entity.entityTag += "-" + hex(tagGeneration);
    entity.entityTag += "\"";

    plan.range = {0, entity.size == 0 ? 0 : entity.size - 1};
    const auto range = request.field("Range");
    const auto ifRange = request.field("If-Range");
    const bool validatorHolds = !ifRange || *ifRange == entity.entityTag || *ifRange == entity.lastModified;
    if (range && validatorHolds && !current.ignoreRange) {
      const auto [verdict, byteRange] = evaluateRange(*range, entity.size);
      if (verdict == RangeVerdict::unsatisfiable) {
        plan.fields.emplace_back("Content-Range", "bytes */" + std::to_string(entity.size));
        plan.entity.reset();
        return fail(416);
      }
      if (verdict == RangeVerdict::partial) {
        plan.status = 206;
        plan.range = byteRange;
        plan.fields.emplace_back("Content-Range", "bytes " + std::to_string(byteRange.first) + "-" +
                                                      std::to_string(byteRange.last) + "/" +
                                                      std::to_string(entity.size));
      }
    }
    if (!current.ignoreRange) plan.fields.emplace_back("Accept-Ranges", "bytes");
    plan.fields.emplace_back("ETag", entity.entityTag);
    plan.fields.emplace_back("Last-Modified", entity.lastModified);
    plan.fields.emplace_back("Content-Type", "application/octet-stream");
    plan.hasFileBody = entity.size > 0;
    plan.chunked = current.omitContentLength;
    if (current.cutAfterBytes) {
      std::lock_guard lock(mutex);
      const std::uint64_t length = plan.hasFileBody ? plan.range.last - plan.range.first + 1 : 0;
      if ((current.cutEveryTime || !cutDone) && length > *current.cutAfterBytes && request.method == "GET") {
        plan.cutAfter = current.cutAfterBytes;
        cutDone = true;
      }
    }
    return plan;
  }
};

namespace {

template <class Stream>
tcp::socket& socketOf(Stream& stream) {
  if constexpr (std::is_same_v<Stream, tcp::socket>) {
    return stream;
  } else {
    return stream.next_layer();
  }
}

template <class Stream>
asio::awaitable<void> wait(Stream& stream, std::chrono::milliseconds delay) {
  if (delay.count() <= 0) co_return;
  asio::steady_timer timer(stream.get_executor(), delay);
  co_await timer.async_wait(asio::use_awaitable);
}

std::string headText(const Plan& plan, std::uint64_t contentLength, bool withBody) {
  std::string head = "HTTP/1.1 " + std::to_string(plan.status) + " " + std::string(reasonPhrase(plan.status)) + "\r\n";
  for (const auto& [name, value] : plan.fields) head += name + ": " + value + "\r\n";
  if (plan.chunked && withBody) {
    head += "Transfer-Encoding: chunked\r\n";
  } else {
    head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
  }
  head += "\r\n";
  return head;
}

// Sends the body of the file range, honouring stall and cut. Returns false
// when the connection was cut.
template <class Stream>
asio::awaitable<bool> sendFileBody(Stream& stream, Plan& plan, ServedRequest& log) {
  std::vector<char> piece(kBodyPieceSize);
  std::uint64_t offset = plan.range.first;
  const std::uint64_t end = plan.range.last + 1;
  bool stalled = plan.stall.count() <= 0 || plan.stallAfter == 0;
  while (offset < end) {
    std::uint64_t want = std::min<std::uint64_t>(piece.size(), end - offset);
    if (plan.cutAfter) want = std::min(want, *plan.cutAfter - log.bodyBytesSent);
    if (!stalled) want = std::min(want, plan.stallAfter - log.bodyBytesSent);
    const ssize_t got = ::pread(plan.entity->descriptor, piece.data(), want, static_cast<off_t>(offset));
    if (got <= 0) co_return false;  // the file shrank under us
    const auto length = static_cast<std::size_t>(got);
    if (plan.chunked) {
      const std::string size = hex(length) + "\r\n";
      co_await asio::async_write(stream, asio::buffer(size), asio::use_awaitable);
    }
    co_await asio::async_write(stream, asio::buffer(piece.data(), length), asio::use_awaitable);
    if (plan.chunked) co_await asio::async_write(stream, asio::buffer("\r\n", 2), asio::use_awaitable);
    offset += length;
    log.bodyBytesSent += length;
    if (plan.cutAfter && log.bodyBytesSent >= *plan.cutAfter) co_return false;
    if (!stalled && log.bodyBytesSent >= plan.stallAfter) {
      stalled = true;
      co_await wait(stream, plan.stall);
    }
  }
  if (plan.chunked) co_await asio::async_write(stream, asio::buffer("0\r\n\r\n", 5), asio::use_awaitable);
  co_return true;
}

template <class Stream>
asio::awaitable<void> serve(Stream& stream, Server::State& state) {
  asio::streambuf input(kMaximumHeadLength);
  while (true) {
    std::size_t length = 0;
    try {
      length = co_await asio::async_read_until(stream, input, "\r\n\r\n", asio::use_awaitable);
    } catch (const std::system_error&) {
      co_return;  // closed, or a head too long
    }
    std::string head(asio::buffers_begin(input.data()), asio::buffers_begin(input.data()) + static_cast<long>(length));
    input.consume(length);
    const auto request = parseRequestHead(std::string_view(head).substr(0, head.size() - 4));
    ServedRequest log;
    Plan plan;
    bool keepAlive = false;
    if (!request) {
      plan.status = 400;
      plan.smallBody = "Bad Request\n";
    } else {
      log.method = request->method;
      const auto path = decodedPath(request->target);
      log.path = path.value_or(request->target);
      plan = state.plan(*request, path, log);
      // Requests with bodies are not served; their bytes would be read as
      // the next head.
      keepAlive = request->keepsAlive() && !request->field("Content-Length") && !request->field("Transfer-Encoding");
    }
    if (!keepAlive) plan.fields.emplace_back("Connection", "close");
    log.status = plan.status;
    const bool head_only = request && request->method == "HEAD";
    const std::uint64_t contentLength =
        plan.entity ? (plan.hasFileBody ? plan.range.last - plan.range.first + 1 : 0) : plan.smallBody.size();
    if (plan.stallAfter == 0) co_await wait(stream, plan.stall);
    const std::string text = headText(plan, contentLength, !head_only && plan.entity != nullptr);
    co_await asio::async_write(stream, asio::buffer(text), asio::use_awaitable);
    bool whole = true;
    if (!head_only) {
      if (plan.entity && plan.hasFileBody) {
        whole = co_await sendFileBody(stream, plan, log);
      } else if (plan.entity && plan.chunked) {
        co_await asio::async_write(stream, asio::buffer("0\r\n\r\n", 5), asio::use_awaitable);
      } else if (!plan.entity) {
        co_await asio::async_write(stream, asio::buffer(plan.smallBody), asio::use_awaitable);
        log.bodyBytesSent = plan.smallBody.size();
      }
    }
    log.cut = !whole;
    state.record(std::move(log));
    if (!whole || !keepAlive) {
      // A cut ends the connection at once, after the bytes already sent,
      // and without a TLS close: the client sees the transfer break off.
      asio::error_code ignored;
      socketOf(stream).shutdown(tcp::socket::shutdown_both, ignored);
      co_return;
    }
  }
}

asio::awaitable<void> connection(tcp::socket socket, Server::State& state) {
  try {
    socket.set_option(tcp::no_delay(true));
    if (state.tls) {
      TLSStream stream(std::move(socket), *state.tls);
      co_await stream.async_handshake(asio::ssl::stream_base::server, asio::use_awaitable);
      co_await serve(stream, state);
    } else {
      co_await serve(socket, state);
    }
  } catch (const std::exception&) {
    // The client went away or spoke no TLS; nothing to answer.
  }
}

asio::awaitable<void> accept(Server::State& state) {
  while (true) {
    std::error_code error;
    tcp::socket socket = co_await state.acceptor->async_accept(asio::redirect_error(asio::use_awaitable, error));
    if (error == asio::error::operation_aborted) co_return;
    if (error) continue;
    asio::co_spawn(state.context, connection(std::move(socket), state), asio::detached);
  }
}

fnd::Error posixError(const std::error_code& error, std::string_view what) {
  return fnd::Error(fnd::NSPOSIXErrorDomain, error.value(),
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value(std::string(what) + ": " + error.message())}});
}

}  // namespace

fnd::Expected<std::unique_ptr<Server>> Server::start(Options options) {
  auto state = std::make_unique<State>();
  char resolved[PATH_MAX];
  bool isDirectory = false;
  if (!::realpath(options.rootFolder.c_str(), resolved) ||
      !fnd::FileManager::defaultManager().fileExistsAtPath(resolved, &isDirectory) || !isDirectory) {
    return fnd::fileErrorWithPOSIXError(ENOENT, fnd::FileOperation::read, options.rootFolder);
  }
  state->canonicalRoot = resolved;
  if (state->canonicalRoot == "/") state->canonicalRoot.clear();
  if (options.certificateChainFile || options.privateKeyFile) {
    if (!options.certificateChainFile || !options.privateKeyFile) {
      return fnd::fileErrorWithPOSIXError(EINVAL, fnd::FileOperation::read, options.certificateChainFile.value_or(""));
    }
    state->tls.emplace(asio::ssl::context::tls_server);
    std::error_code error;
    state->tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                            asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                            asio::ssl::context::no_tlsv1_1);
    state->tls->use_certificate_chain_file(*options.certificateChainFile, error);
    if (error) {
      return fnd::fileErrorWithPOSIXError(ENOENT, fnd::FileOperation::read, *options.certificateChainFile);
    }
    state->tls->use_private_key_file(*options.privateKeyFile, asio::ssl::context::pem, error);
    if (error) {
      return fnd::fileErrorWithPOSIXError(ENOENT, fnd::FileOperation::read, *options.privateKeyFile);
    }
  }
  std::error_code error;
  const auto address = asio::ip::make_address(options.host, error);
  if (error) return posixError(error, "address " + options.host);
  state->acceptor.emplace(state->context);
  const tcp::endpoint endpoint(address, options.port);
  state->acceptor->open(endpoint.protocol(), error);
  if (!error) state->acceptor->set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) state->acceptor->bind(endpoint, error);
  if (!error) state->acceptor->listen(asio::socket_base::max_listen_connections, error);
  if (error) return posixError(error, "listening on " + options.host);
  state->port = state->acceptor->local_endpoint().port();
  state->faults = options.faults;
  state->options = std::move(options);

  asio::co_spawn(state->context, accept(*state), asio::detached);
  for (unsigned i = 0; i < std::max(1u, state->options.threads); ++i) {
    state->threads.emplace_back([context = &state->context] { context->run(); });
  }
  return std::unique_ptr<Server>(new Server(std::move(state)));
}

Server::Server(std::unique_ptr<State> state) : state_(std::move(state)) {}

Server::~Server() { stop(); }

std::uint16_t Server::port() const { return state_->port; }

std::string Server::baseURL() const {
  return std::string(state_->tls ? "https://" : "http://") + state_->options.host + ":" + std::to_string(state_->port);
}

Faults Server::faults() const {
  std::lock_guard lock(state_->mutex);
  return state_->faults;
}

void Server::setFaults(Faults faults) {
  std::lock_guard lock(state_->mutex);
  state_->faults = std::move(faults);
  state_->cutDone = false;
}

std::vector<ServedRequest> Server::servedRequests() const {
  std::lock_guard lock(state_->mutex);
  return state_->served;
}

std::vector<ServedRequest> Server::waitForServedRequests(std::size_t count,
                                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  state_->recorded.wait_for(lock, timeout, [&] { return state_->served.size() >= count; });
  return state_->served;
}

void Server::clearServedRequests() {
  std::lock_guard lock(state_->mutex);
  state_->served.clear();
}

void Server::stop() {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopped) return;
    state_->stopped = true;
  }
  state_->context.stop();
  for (auto& thread : state_->threads) thread.join();
  state_->threads.clear();
}

}  // namespace korvia::distribution
