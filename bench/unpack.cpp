// Unpacking a large zip archive: korvia-unpack against bsdtar and unzip on
// the same archive in the same run. The archive holds 5,000 files in an app
// bundle and is about 200 MiB; each tool runs several times into a fresh
// folder, and the median wall time and the peak resident size of each child
// (wait4's own usage of that child) are printed, with time ratios against
// bsdtar.
//
//   bench_unpack [RUNS] [KORVIA_UNPACK]
//
// korvia-unpack is looked up beside this program unless named.

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kFileCount = 5000;
constexpr int kFolderCount = 50;
constexpr std::size_t kFileSize = 48 * 1024;
// A little of each file repeats, as in real bundles; the rest does not
// compress, so the archive is about as large as its content.
constexpr std::size_t kRepeatedPart = 6 * 1024;

std::string contentOfFile(int index) {
  std::string text(kFileSize, '\0');
  std::uint32_t seed = static_cast<std::uint32_t>(index) * 2654435761u + 1;
  for (std::size_t i = 0; i < kFileSize - kRepeatedPart; ++i) {
    seed = seed * 1664525u + 1013904223u;
    text[i] = static_cast<char>(seed >> 24);
  }
  for (std::size_t i = kFileSize - kRepeatedPart; i < kFileSize; ++i) text[i] = "Korvia bundle resource "[i % 23];
  return text;
}

bool writeArchive(const std::string& path) {
  archive* zip = archive_write_new();
  archive_write_set_format_zip(zip);
  if (archive_write_open_filename(zip, path.c_str()) != ARCHIVE_OK) return false;
  archive_entry* entry = archive_entry_new();
  auto add = [&](const std::string& name, mode_t type, mode_t mode, const std::string& data) {
    archive_entry_clear(entry);
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, type);
    archive_entry_set_perm(entry, mode);
    archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
    if (archive_write_header(zip, entry) != ARCHIVE_OK) return false;
    return data.empty() ||
           archive_write_data(zip, data.data(), data.size()) == static_cast<la_ssize_t>(data.size());
  };
  bool ok = add("Bench.app/", AE_IFDIR, 0755, "") && add("Bench.app/Contents/", AE_IFDIR, 0755, "");
  for (int folder = 0; ok && folder < kFolderCount; ++folder) {
    const std::string prefix = "Bench.app/Contents/Resources/" + std::to_string(folder) + "/";
    ok = add(prefix, AE_IFDIR, 0755, "");
    for (int i = 0; ok && i < kFileCount / kFolderCount; ++i) {
      const int index = folder * (kFileCount / kFolderCount) + i;
      ok = add(prefix + "resource-" + std::to_string(index), AE_IFREG, i % 10 == 0 ? 0755 : 0644,
               contentOfFile(index));
    }
  }
  archive_entry_free(entry);
  ok = archive_write_close(zip) == ARCHIVE_OK && ok;
  archive_write_free(zip);
  return ok;
}

struct Run {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

// Runs the child with its output discarded and returns its own usage.
Run runChild(const std::vector<std::string>& arguments, const std::string& temporary) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** variable = environ; *variable; ++variable) {
    if (std::strncmp(*variable, "TMPDIR=", 7) != 0) environment.emplace_back(*variable);
  }
  environment.push_back("TMPDIR=" + temporary);
  std::vector<char*> envp;
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return run;
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKiB = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

struct Tool {
  std::string name;
  std::vector<std::string> arguments;  // "%DEST%" stands for the fresh folder
  std::vector<Run> runs;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string besideThisProgram(const std::string& name) {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return name;
  self[length] = '\0';
  return (std::filesystem::path(self).parent_path() / name).string();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string unpacker = argc > 2 ? argv[2] : besideThisProgram("korvia-unpack");
  const char* tmp = std::getenv("TMPDIR");
  std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvia-bench-unpack-XXXXXX";
  if (::mkdtemp(work.data()) == nullptr) return 1;
  const std::string zipPath = work + "/Bench.zip";
  const std::string temporary = work + "/tmp";
  std::filesystem::create_directories(temporary);

  std::printf("writing %d files into %s ...\n", kFileCount, zipPath.c_str());
  if (!writeArchive(zipPath)) {
    std::fprintf(stderr, "cannot write the archive\n");
    return 1;
  }
  std::printf("archive: %.1f MiB\n", static_cast<double>(std::filesystem::file_size(zipPath)) / (1 << 20));

  std::vector<Tool> tools = {
      {"korvia-unpack", {unpacker, zipPath, "%DEST%"}, {}},
      {"bsdtar -xf", {"bsdtar", "-xf", zipPath, "-C", "%DEST%"}, {}},
      {"unzip -q", {"unzip", "-q", zipPath, "-d", "%DEST%"}, {}},
  };
  // One untimed pass warms the page cache for every tool alike.
  (void)runChild({"cat", zipPath}, temporary);
  for (int round = 0; round < runs; ++round) {
    for (std::size_t k = 0; k < tools.size(); ++k) {
      // A different tool goes first each round.
      auto& tool = tools[(k + static_cast<std::size_t>(round)) % tools.size()];
      const std::string destination = work + "/dest";
      std::filesystem::remove_all(destination);
      std::filesystem::create_directories(destination);
      std::vector<std::string> arguments = tool.arguments;
      std::replace(arguments.begin(), arguments.end(), std::string("%DEST%"), destination);
      tool.runs.push_back(runChild(arguments, temporary));
      if (tool.runs.back().status != 0) {
        std::fprintf(stderr, "%s failed with status %d\n", tool.name.c_str(), tool.runs.back().status);
        std::filesystem::remove_all(work);
        return 1;
      }
      if (!std::filesystem::exists(destination + "/Bench.app/Contents/Resources/49/resource-4999")) {
        std::fprintf(stderr, "%s did not unpack everything\n", tool.name.c_str());
        std::filesystem::remove_all(work);
        return 1;
      }
    }
  }
  std::filesystem::remove_all(work);

  std::vector<double> bsdtarTimes;
  for (const auto& run : tools[1].runs) bsdtarTimes.push_back(run.seconds);
  const double reference = median(bsdtarTimes);
  std::printf("\n%-15s %12s %14s %14s\n", "tool", "median (s)", "vs bsdtar", "peak RSS (MiB)");
  for (const auto& tool : tools) {
    std::vector<double> times;
    long peak = 0;
    for (const auto& run : tool.runs) {
      times.push_back(run.seconds);
      peak = std::max(peak, run.peakKiB);
    }
    std::printf("%-15s %12.3f %13.2fx %14.1f\n", tool.name.c_str(), median(times), median(times) / reference,
                static_cast<double>(peak) / 1024);
  }
  return 0;
}
