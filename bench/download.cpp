// A 256 MiB file over loopback HTTPS from the distribution server, fetched by
// korvia-fetch (URL-session download task, SHA-256 of the result included)
// and by curl -o, alternately in the same run. Prints each peer's best
// throughput, the ratio, and the children's peak resident memory.
//
//   bench_download [--size-mib N] [--rounds N]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/distribution_server/test_certificates.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKiB = 0;
  int status = -1;
};

Run runChild(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment) {
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment(extraEnvironment);
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  Run run;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.peakKiB = usage.ru_maxrss;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

bool parseCount(const char* text, unsigned& value) {
  const std::string_view view(text);
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  return error == std::errc() && end == view.data() + view.size() && value > 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned sizeMiB = 256;
  unsigned rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    if ((option == "--size-mib" && parseCount(argv[i + 1], sizeMiB)) ||
        (option == "--rounds" && parseCount(argv[i + 1], rounds))) {
      continue;
    }
    std::fprintf(stderr, "usage: bench_download [--size-mib N] [--rounds N]\n");
    return 64;
  }
  const char* curl = "/usr/bin/curl";
  if (::access(curl, X_OK) != 0) {
    std::fprintf(stderr, "bench_download: curl is not installed (scripts/setup installs it)\n");
    return 1;
  }

  std::string folder = (fs::temp_directory_path() / "bench-download-XXXXXX").string();
  if (!::mkdtemp(folder.data())) return 1;
  fs::create_directories(folder + "/root");
  {
    std::mt19937_64 random(256);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream file(folder + "/root/big.bin", std::ios::binary);
    for (unsigned i = 0; i < sizeMiB; ++i) {
      for (auto& word : block) word = random();
      file.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
  }
  if (!korvia::distribution::makeTestCertificates(folder + "/certs")) return 1;
  korvia::distribution::Options options;
  options.rootFolder = folder + "/root";
  options.certificateChainFile = folder + "/certs/server.pem";
  options.privateKeyFile = folder + "/certs/server-key.pem";
  auto server = korvia::distribution::Server::start(std::move(options));
  if (!server) return 1;
  const std::string url = (*server)->baseURL() + "/big.bin";
  const std::string ca = folder + "/certs/ca.pem";

  std::vector<Run> fetchRuns, curlRuns;
  for (unsigned round = 0; round < rounds; ++round) {
    fetchRuns.push_back(runChild({KORVIA_FETCH_TOOL, url, "-o", folder + "/fetch.out"},
                                 {"KORVIA_CA_FILE=" + ca, "TMPDIR=" + folder}));
    fs::remove(folder + "/fetch.out");
    curlRuns.push_back(runChild({curl, "-sS", "--cacert", ca, "-o", folder + "/curl.out", url}, {}));
    fs::remove(folder + "/curl.out");
  }
  (*server)->stop();
  fs::remove_all(folder);

  auto best = [](const std::vector<Run>& runs) {
    return *std::min_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  };
  auto peak = [](const std::vector<Run>& runs) {
    long value = 0;
    for (const auto& run : runs) value = std::max(value, run.peakKiB);
    return value;
  };
  for (const auto* runs : {&fetchRuns, &curlRuns}) {
    for (const auto& run : *runs) {
      if (run.status != 0) {
        std::fprintf(stderr, "bench_download: a child failed with status %d\n", run.status);
        return 1;
      }
    }
  }
  const double mib = sizeMiB;
  const Run fetchBest = best(fetchRuns), curlBest = best(curlRuns);
  std::printf("file: %u MiB over loopback HTTPS, best of %u rounds\n", sizeMiB, rounds);
  std::printf("korvia-fetch: %.3f s, %.1f MiB/s, CPU %.3f s, peak RSS %.1f MiB (SHA-256 included)\n",
              fetchBest.seconds, mib / fetchBest.seconds, fetchBest.cpuSeconds, peak(fetchRuns) / 1024.0);
  std::printf("curl -o:      %.3f s, %.1f MiB/s, CPU %.3f s, peak RSS %.1f MiB\n", curlBest.seconds,
              mib / curlBest.seconds, curlBest.cpuSeconds, peak(curlRuns) / 1024.0);
  std::printf("throughput ratio korvia-fetch / curl: %.3f (goal >= 0.95); peak RSS goal <= 32 MiB\n",
              curlBest.seconds / fetchBest.seconds);
  return 0;
}
