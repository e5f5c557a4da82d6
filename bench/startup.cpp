// Start-up of the installer's window to its first painted frame, against a
// bare Qt window in the same run, and the installer's CPU use while its
// download waits on a server that never answers (it must not spin).
//
//   bench_startup INSTALLER [RUNS]
//
// Both programs are started as fresh processes on the offscreen platform;
// each prints "first-frame" when its window first paints.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The peer: a plain window of the installer's size with one label.
class BareWindow final : public QWidget {
 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (reported_) return;
    reported_ = true;
    std::printf("first-frame\n");
    std::fflush(stdout);
  }

 private:
  bool reported_ = false;
};

int runBareWindow(int argc, char** argv) {
  QApplication application(argc, argv);
  BareWindow window;
  window.resize(760, 620);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel("Welcome"));
  window.show();
  return application.exec();
}

struct Started {
  pid_t pid = -1;
  int output = -1;
};

Started start(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<char*> argv, envp;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  Started started;
  if (posix_spawn(&started.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) started.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  started.output = pipeEnds[0];
  return started;
}

// Waits for the "first-frame" line; false after 20 s or at end of output.
bool waitForFirstFrame(int output) {
  std::string seen;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    pollfd descriptor{output, POLLIN, 0};
    if (poll(&descriptor, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t count = read(output, buffer, sizeof buffer);
    if (count <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(count));
    if (seen.find("first-frame") != std::string::npos) return true;
  }
  return false;
}

// User plus system CPU time of a live process, in seconds.
double cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::size_t at = close + 2;
  while (at < text.size()) {
    const auto end = text.find(' ', at);
    fields.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (fields.size() < 13) return 0;
  return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void stop(const Started& started) {
  kill(started.pid, SIGKILL);
  waitpid(started.pid, nullptr, 0);
  close(started.output);
}

// A server that accepts connections and never answers.
int silentServer(int& port) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0) {
    return -1;
  }
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--bare-window") == 0) return runBareWindow(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_startup INSTALLER [RUNS]\n");
    return 64;
  }
  const std::string installer = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();

  int port = 0;
  const int server = silentServer(port);
  if (server < 0) return std::fprintf(stderr, "no server\n"), 1;
  const auto home = std::filesystem::temp_directory_path() / ("bench-startup-" + std::to_string(getpid()));
  std::filesystem::create_directories(home);
  const std::vector<std::string> installerEnvironment{
      "QT_QPA_PLATFORM=offscreen",
      "KORVIA_INSTALLER_REPORT_FIRST_FRAME=1",
      "KORVIA_DISTRIBUTION_URL=http://127.0.0.1:" + std::to_string(port),
      "KORVIA_SYSTEM_ROOT=" + (home / "root").string(),
      "HOME=" + home.string(),
      "XDG_DATA_HOME=" + (home / "data").string(),
      "XDG_CONFIG_HOME=" + (home / "config").string(),
      "XDG_CACHE_HOME=" + (home / "cache").string(),
      "XDG_STATE_HOME=" + (home / "state").string(),
  };

  std::vector<double> installerTimes, bareTimes, idleCpu;
  for (int run = 0; run < runs; ++run) {
    auto began = Clock::now();
    const Started bare = start({self, "--bare-window"}, {"QT_QPA_PLATFORM=offscreen"});
    if (bare.pid < 0 || !waitForFirstFrame(bare.output)) return std::fprintf(stderr, "bare window failed\n"), 1;
    bareTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
    stop(bare);

    began = Clock::now();
    const Started shown = start({installer}, installerEnvironment);
    if (shown.pid < 0 || !waitForFirstFrame(shown.output)) return std::fprintf(stderr, "installer failed\n"), 1;
    installerTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
    // Let start-up work settle, then measure two seconds of waiting.
    usleep(500 * 1000);
    const double before = cpuSeconds(shown.pid);
    usleep(2000 * 1000);
    idleCpu.push_back((cpuSeconds(shown.pid) - before) / 2.0 * 100.0);
    stop(shown);
  }
  close(server);
  std::filesystem::remove_all(home);
  std::printf("first frame: installer median %.0f ms, bare Qt window median %.0f ms (goal: installer <= 300 ms)\n",
              median(installerTimes), median(bareTimes));
  std::printf("waiting for the network: installer CPU median %.1f %% of one core (goal: no busy loop)\n",
              median(idleCpu));
  return 0;
}
