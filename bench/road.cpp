// The installer's whole road against its download-and-unpack step alone, on
// the same distribution in the same run. Each round gets a fresh system root
// and data folder: first the downloader alone fetches the client's archive
// and unpacks it into the applications folder; then the installation
// manager runs the whole road (the same download and unpacking, the client
// started silently, its services reached through D-Bus activation on a
// private bus, the featured app installed by the client, its resources).
// Prints each round's times, the medians and their ratio.
//
//   bench_road [ROUNDS]
//
// korvia-make-distribution and the bundles are looked up beside this program.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "devtools/distribution_server/distribution_server.h"
#include "foundation/process.h"
#include "installer/afx_downloader_workflow.h"
#include "installer/afx_installation_manager.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string programFolder() {
  const std::string path = fnd::currentExecutablePath();
  return path.substr(0, path.rfind('/'));
}

// Waits for one signal from another thread.
class Latch {
 public:
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    condition_.notify_all();
  }
  bool wait(std::chrono::seconds bound) {
    std::unique_lock lock(mutex_);
    return condition_.wait_for(lock, bound, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool open_ = false;
};

class DownloadOnly final : public AFXDownloaderDelegate {
 public:
  void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>&) override {
    ok = true;
    done.open();
  }
  void downloaderDidFailWithError(AFXDownloaderWorkflow&, const std::optional<fnd::Error>&) override { done.open(); }
  Latch done;
  bool ok = false;
};

// A private session bus whose services folder the client fills.
bool startBus(const std::string& root, pid_t& pid) {
  fs::create_directories(root + "/services");
  std::ofstream(root + "/session.conf")
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig><type>session</type><listen>unix:dir=" << root << "</listen><servicedir>" << root
      << "/services</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
  fnd::ProcessLaunchOptions options;
  options.executablePath = "dbus-daemon";
  options.searchPath = true;
  options.arguments = {"--config-file=" + root + "/session.conf", "--fork", "--print-address=1", "--print-pid=1"};
  options.captureStandardOutput = true;
  auto run = fnd::Process::run(options);
  if (!run || run->status != 0) return false;
  std::istringstream lines(std::string(run->standardOutput.begin(), run->standardOutput.end()));
  std::string address, pidText;
  std::getline(lines, address);
  std::getline(lines, pidText);
  pid = static_cast<pid_t>(std::atoi(pidText.c_str()));
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  ::setenv("KORVIA_DBUS_SERVICES_DIR", (root + "/services").c_str(), 1);
  return !address.empty() && pid > 0;
}

// A fresh machine for one round: system root, home and data folders.
void freshMachine(const std::string& root, int round) {
  const std::string machine = root + "/machine-" + std::to_string(round);
  for (const char* folder : {"/system", "/home/.config", "/home/.local/share/Korvia", "/tmp"}) fs::create_directories(machine + folder);
  ::setenv("KORVIA_SYSTEM_ROOT", (machine + "/system").c_str(), 1);
  ::setenv("HOME", (machine + "/home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (machine + "/home/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (machine + "/home/.local/share").c_str(), 1);
  ::setenv("TMPDIR", (machine + "/tmp").c_str(), 1);
  fs::copy_file(root + "/served/catalogue.json", machine + "/home/.local/share/Korvia/catalogue.json");
}

std::optional<double> downloadAlone() {
  auto delegate = std::make_shared<DownloadOnly>();
  const auto start = Clock::now();
  auto downloader = AFXDownloaderWorkflow::initWithDelegate(delegate);
  downloader->start();
  if (!delegate->done.wait(std::chrono::seconds(300)) || !delegate->ok) return std::nullopt;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  downloader->stop();
  return seconds;
}

std::optional<double> wholeRoad() {
  auto manager = AFXInstallationManager::initWithAppID(246);
  Latch done;
  bool ok = false;
  const auto start = Clock::now();
  manager->installWithProgressBlock(nullptr, [&](const std::optional<fnd::Error>& error) {
    ok = !error;
    if (error) std::fprintf(stderr, "road failed: %s\n", error->description().c_str());
    done.open();
  });
  if (!done.wait(std::chrono::seconds(300)) || !ok) return std::nullopt;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char pattern[] = "/tmp/korvia-bench-road-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string root = pattern;
  pid_t bus = 0;
  if (!startBus(root + "/bus", bus)) return std::fprintf(stderr, "no private bus\n"), 1;
  ::setenv("KORVIA_CLIENT_QUIET_SECONDS", "3", 1);
  ::setenv("KORVIA_STATSD_HOST", "127.0.0.1", 1);
  ::setenv("KORVIA_EVENTS_BASE_URL", "http://127.0.0.1:9", 1);

  korvia::distribution::Options options;
  options.rootFolder = root + "/served";
  fs::create_directories(options.rootFolder);
  auto server = korvia::distribution::Server::start(options);
  if (!server) return std::fprintf(stderr, "no server: %s\n", server.error().description().c_str()), 1;
  ::setenv(AFXDistributionURLVariable.data(), (*server)->baseURL().c_str(), 1);
  fnd::ProcessLaunchOptions make;
  make.executablePath = programFolder() + "/korvia-make-distribution";
  make.arguments = {options.rootFolder, "--base-url", (*server)->baseURL()};
  make.captureStandardOutput = true;
  if (auto made = fnd::Process::run(make); !made || made->status != 0) return std::fprintf(stderr, "no distribution\n"), 1;
  std::printf("client archive: %.1f MiB\n",
              static_cast<double>(fs::file_size(options.rootFolder + "/com.korvia.DesktopClient/Korvia.zip")) / (1 << 20));

  std::vector<double> alone, road;
  for (int round = 0; round < rounds; ++round) {
    freshMachine(root, 2 * round);
    auto a = downloadAlone();
    freshMachine(root, 2 * round + 1);
    auto r = wholeRoad();
    if (!a || !r) return std::fprintf(stderr, "round %d failed\n", round), 1;
    alone.push_back(*a);
    road.push_back(*r);
    std::printf("round %d: download and unpack %.3f s, whole road %.3f s\n", round, *a, *r);
  }
  const double ratio = median(road) / median(alone);
  std::printf("median: download and unpack %.3f s, whole road %.3f s, ratio %.2f (goal <= 1.15)\n", median(alone),
              median(road), ratio);
  ::kill(bus, SIGTERM);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
