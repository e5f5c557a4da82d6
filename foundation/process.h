#pragma once

// A child process: started with posix_spawn, watched by one thread of its own
// that feeds its standard input, drains its captured output and reaps it.
//
// The child gets an empty signal mask, default signal dispositions and no file
// descriptors beyond 0, 1 and 2. Streams that are not captured are inherited;
// standard input without data reads from /dev/null. Captured output is what
// the child wrote before it exited: descendants left holding its pipes do not
// delay completion.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"
#include "foundation/queue.h"

namespace fnd {

// The running program's environment variable `name`; nothing when it is
// unset or empty.
std::optional<std::string> environmentValue(std::string_view name);
// The absolute path of the running program's executable; "" when the
// system cannot tell.
std::string currentExecutablePath();

namespace detail {
struct ProcessState;
}

struct ProcessLaunchOptions {
  // Absolute, or relative to `currentDirectory` (the caller's when unset).
  // Searched on the caller's PATH only when `searchPath` is set.
  std::string executablePath;
  // argv[1...]; argv[0] is `executablePath`.
  std::vector<std::string> arguments;
  // Replaces the whole environment; nullopt inherits the caller's.
  std::optional<std::map<std::string, std::string>> environment;
  std::optional<std::string> currentDirectory;
  bool captureStandardOutput = false;
  bool captureStandardError = false;
  // Written to the child, then closed; nullopt connects /dev/null.
  std::optional<std::vector<std::uint8_t>> standardInput;
  bool searchPath = false;
};

enum class ProcessTerminationReason { exit, uncaughtSignal };

struct ProcessTermination {
  ProcessTerminationReason reason = ProcessTerminationReason::exit;
  // The exit code, or the number of the signal that ended the child; -1 when
  // the status was lost because something else in this process reaped it.
  int status = 0;
  // Empty unless captured.
  std::vector<std::uint8_t> standardOutput;
  std::vector<std::uint8_t> standardError;
};

// Destroying a Process neither stops nor abandons the child: it keeps running
// and is still reaped, and a termination handler already set still runs.
class Process {
 public:
  // Fails in NSCocoaErrorDomain when the executable or the working folder
  // cannot be used: 4 when missing, 513 without permission, 514 for a name
  // too long or not valid for the file system, 512 otherwise,
  // with the POSIX error under NSUnderlyingErrorKey and the path under
  // NSFilePathErrorKey.
  static Expected<std::shared_ptr<Process>> launch(ProcessLaunchOptions options);
  // Launches and waits until exit.
  static Expected<ProcessTermination> run(ProcessLaunchOptions options);

  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t processIdentifier() const { return pid_; }
  // True until the child has exited and its captured output is collected.
  bool isRunning() const;

  // Blocks until the child has exited and its captured output is collected.
  // Any number of threads may wait.
  ProcessTermination waitUntilExit() const;

  // Calls `completion` once on `queue` when the child has exited, or at once
  // (asynchronously) when it already has. A handler that has not run yet is
  // replaced by the next one set.
  void setTerminationHandler(Queue queue, std::function<void(const ProcessTermination&)> completion);

  // Signals the child; no effect once it has been reaped.
  void interrupt();  // SIGINT
  void terminate();  // SIGTERM
  void kill();       // SIGKILL

 private:
  Process(pid_t pid, std::shared_ptr<detail::ProcessState> state);
  void sendSignal(int signal);

  const pid_t pid_;
  const std::shared_ptr<detail::ProcessState> state_;
};

}  // namespace fnd
