// korvia-distribution-server: serves a folder over HTTPS or HTTP for the demo
// and the tests, with faults on request.
//
//   korvia-distribution-server --root DIR [--certificates DIR] [--host ADDR]
//       [--port N] [--threads N] [--cut-after N] [--cut-every-time]
//       [--chunked] [--status PATH=CODE]... [--stall MS] [--stall-after N]
//       [--ignore-range] [--change-etag]
//   korvia-distribution-server --make-certificates DIR
//
// With --certificates the folder's server.pem and server-key.pem make it
// HTTPS; without, it speaks plain HTTP. The first line on standard output is
// the port it listens on; it runs until interrupted or terminated.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/distribution_server/test_certificates.h"

namespace {

using korvia::distribution::Options;

int usage(std::string_view problem) {
  std::cerr << "korvia-distribution-server: " << problem << "\n"
            << "usage: korvia-distribution-server --root DIR [--certificates DIR] [--host ADDR] [--port N]\n"
            << "         [--threads N] [--cut-after N] [--cut-every-time] [--chunked] [--status PATH=CODE]...\n"
            << "         [--stall MS] [--stall-after N] [--ignore-range] [--change-etag]\n"
            << "       korvia-distribution-server --make-certificates DIR\n";
  return 64;
}

template <class T>
bool number(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Parses the arguments into `options`; returns the problem, or empty.
std::string parse(int argc, char** argv, Options& options, std::optional<std::string>& makeCertificates) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    auto& faults = options.faults;
    if (argument == "--cut-every-time") {
      faults.cutEveryTime = true;
    } else if (argument == "--chunked") {
      faults.omitContentLength = true;
    } else if (argument == "--ignore-range") {
      faults.ignoreRange = true;
    } else if (argument == "--change-etag") {
      faults.changeETag = true;
    } else {
      const auto next = value();
      if (!next) return "missing value after " + std::string(argument);
      std::uint64_t count = 0;
      if (argument == "--root") {
        options.rootFolder = *next;
      } else if (argument == "--make-certificates") {
        makeCertificates = std::string(*next);
      } else if (argument == "--certificates") {
        options.certificateChainFile = std::string(*next) + "/server.pem";
        options.privateKeyFile = std::string(*next) + "/server-key.pem";
      } else if (argument == "--host") {
        options.host = *next;
      } else if (argument == "--port") {
        if (!number(*next, options.port)) return "bad port";
      } else if (argument == "--threads") {
        if (!number(*next, options.threads) || options.threads == 0) return "bad thread count";
      } else if (argument == "--cut-after") {
        if (!number(*next, count)) return "bad byte count";
        faults.cutAfterBytes = count;
      } else if (argument == "--stall") {
        if (!number(*next, count)) return "bad stall";
        faults.stall = std::chrono::milliseconds(count);
      } else if (argument == "--stall-after") {
        if (!number(*next, faults.stallAfterBytes)) return "bad byte count";
      } else if (argument == "--status") {
        const auto equals = next->rfind('=');
        int status = 0;
        if (equals == std::string_view::npos || !next->starts_with("/") ||
            !number(next->substr(equals + 1), status) || status < 100 || status > 599) {
          return "bad --status, expected PATH=CODE";
        }
        faults.statusForPath[std::string(next->substr(0, equals))] = status;
      } else {
        return "unknown argument " + std::string(argument);
      }
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::optional<std::string> makeCertificates;
  if (const auto problem = parse(argc, argv, options, makeCertificates); !problem.empty()) return usage(problem);
  if (makeCertificates) {
    if (auto made = korvia::distribution::makeTestCertificates(*makeCertificates); !made) {
      std::cerr << "korvia-distribution-server: " << made.error().localizedDescription() << "\n";
      return 1;
    }
    return 0;
  }
  if (options.rootFolder.empty()) return usage("--root is required");

  // Wait for the ending signal on this thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  auto server = korvia::distribution::Server::start(std::move(options));
  if (!server) {
    std::cerr << "korvia-distribution-server: " << server.error().description() << "\n";
    return 1;
  }
  std::cout << (*server)->port() << std::endl;
  std::cerr << "serving " << (*server)->baseURL() << "\n";
  int received = 0;
  sigwait(&signals, &received);
  (*server)->stop();
  return 0;
}
