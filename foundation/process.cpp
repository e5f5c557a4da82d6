#include "foundation/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "foundation/check.h"
#include "foundation/executor.h"
#include "foundation/file_manager.h"

namespace fnd {

namespace detail {

struct ProcessState {
  struct Handler {
    Queue queue;
    std::function<void(const ProcessTermination&)> completion;
  };

  explicit ProcessState(pid_t child) : pid(child) {}

  const pid_t pid;
  std::mutex mutex;
  std::condition_variable condition;
  // Once reaped the pid may belong to another process: signal it no more.
  bool reaped = false;
  // `termination` is final, and read without the lock, once this is set.
  bool exited = false;
  ProcessTermination termination;
  std::optional<Handler> handler;
};

}  // namespace detail

namespace {

using detail::ProcessState;

constexpr std::size_t kChunkSize = 64 * 1024;

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~ScopedFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

Error launchError(const std::string& path, int posixError) {
  return fileErrorWithPOSIXError(posixError, FileOperation::write, path);
}

bool hasNoNul(const std::string& text) { return text.find('\0') == std::string::npos; }

void checkOptions(const ProcessLaunchOptions& options) {
  FND_PARAMETER_ASSERT(!options.executablePath.empty());
  FND_PARAMETER_ASSERT(hasNoNul(options.executablePath));
  for (const auto& argument : options.arguments) FND_PARAMETER_ASSERT(hasNoNul(argument));
  if (options.currentDirectory) FND_PARAMETER_ASSERT(hasNoNul(*options.currentDirectory));
  if (!options.environment) return;
  for (const auto& [name, value] : *options.environment) {
    FND_PARAMETER_ASSERT(!name.empty() && name.find('=') == std::string::npos && hasNoNul(name));
    FND_PARAMETER_ASSERT(hasNoNul(value));
  }
}

// Opened here rather than named to the child, so a folder that cannot be
// entered is reported as such and not as a fault of the executable.
Expected<ScopedFd> openWorkingDirectory(const std::string& path) {
  ScopedFd directory(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!directory.valid()) return launchError(path, errno);
  if (::faccessat(directory.get(), ".", X_OK, 0) != 0) return launchError(path, errno);
  return directory;
}

struct Pipe {
  ScopedFd read;
  ScopedFd write;
};

// Both ends close on exec: the child gets only the end duplicated onto its
// standard stream. Our end does not block, so one thread can serve them all.
Expected<Pipe> makePipe(const std::string& path, bool ourEndIsRead) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return launchError(path, errno);
  Pipe pipe{ScopedFd(fds[0]), ScopedFd(fds[1])};
  int ours = ourEndIsRead ? fds[0] : fds[1];
  if (::fcntl(ours, F_SETFL, ::fcntl(ours, F_GETFL) | O_NONBLOCK) != 0) return launchError(path, errno);
  return pipe;
}

// NUL-terminated pointers into strings that outlive the vector.
std::vector<char*> cStrings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (auto& string : strings) pointers.push_back(string.data());
  pointers.push_back(nullptr);
  return pointers;
}

class SpawnFileActions {
 public:
  SpawnFileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;

  void changeDirectory(int fd) { note(::posix_spawn_file_actions_addfchdir_np(&actions_, fd)); }
  void duplicate(int fd, int target) { note(::posix_spawn_file_actions_adddup2(&actions_, fd, target)); }
  void openNullDevice(int target) {
    note(::posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDONLY, 0));
  }
  // Descriptors opened elsewhere without close-on-exec stay out of the child.
  void closeFrom(int first) { note(::posix_spawn_file_actions_addclosefrom_np(&actions_, first)); }

  const posix_spawn_file_actions_t* get() const { return &actions_; }
  int failure() const { return failure_; }

 private:
  void note(int result) {
    if (failure_ == 0) failure_ = result;
  }

  posix_spawn_file_actions_t actions_;
  int failure_ = 0;
};

// An empty signal mask and default dispositions, whatever the caller's thread
// and process have set up.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    ::posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes_, &none);
    ::posix_spawnattr_setsigdefault(&attributes_, &all);
    ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Drops the SIGPIPE a write to a closed pipe raised on this thread, where it
// is blocked: the EPIPE already says the same.
void discardPendingBrokenPipeSignal() {
  sigset_t brokenPipe;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  timespec immediately{};
  while (::sigtimedwait(&brokenPipe, nullptr, &immediately) == SIGPIPE) {
  }
}

// Appends one read's worth; false once the stream has ended.
bool readChunk(int fd, std::vector<std::uint8_t>& into) {
  std::size_t size = into.size();
  into.resize(size + kChunkSize);
  ssize_t count = ::read(fd, into.data() + size, kChunkSize);
  into.resize(size + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
  if (count > 0) return true;
  return count < 0 && (errno == EAGAIN || errno == EINTR);
}

// Appends what the pipe holds now, and no more: whatever a descendant writes
// later is not the child's.
void readBuffered(int fd, std::vector<std::uint8_t>& into) {
  int pending = 0;
  if (::ioctl(fd, FIONREAD, &pending) != 0) return;
  std::size_t size = into.size();
  into.resize(size + static_cast<std::size_t>(pending));
  std::size_t filled = 0;
  while (filled < static_cast<std::size_t>(pending)) {
    ssize_t count = ::read(fd, into.data() + size + filled, static_cast<std::size_t>(pending) - filled);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    filled += static_cast<std::size_t>(count);
  }
  into.resize(size + filled);
}

// The parent's side of one child: its exit notification and its pipes, served
// by the watcher thread alone.
class ChildStreams {
 public:
  ScopedFd exitNotification;  // a pidfd; invalid when the kernel has none
  ScopedFd output;
  ScopedFd error;
  ScopedFd input;
  std::vector<std::uint8_t> inputData;

  // Feeds and drains the pipes until the child exits, then collects what it
  // left in them. Without a pidfd only the pipes closing tells.
  void pump(ProcessTermination& termination) {
    if (inputData.empty()) input.reset();
    while (exitNotification.valid() || output.valid() || error.valid() || input.valid()) {
      std::array<pollfd, 4> fds{{{exitNotification.get(), POLLIN, 0},
                                 {output.get(), POLLIN, 0},
                                 {error.get(), POLLIN, 0},
                                 {input.get(), POLLOUT, 0}}};
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[1].revents != 0 && !readChunk(output.get(), termination.standardOutput)) output.reset();
      if (fds[2].revents != 0 && !readChunk(error.get(), termination.standardError)) error.reset();
      if (fds[3].revents != 0) writeInput();
      if (fds[0].revents != 0) break;
    }
    input.reset();
    if (output.valid()) readBuffered(output.get(), termination.standardOutput);
    if (error.valid()) readBuffered(error.get(), termination.standardError);
    output.reset();
    error.reset();
  }

 private:
  void writeInput() {
    std::size_t remaining = inputData.size() - inputWritten_;
    ssize_t count = ::write(input.get(), inputData.data() + inputWritten_, remaining);
    int writeError = count < 0 ? errno : 0;
    if (count > 0) inputWritten_ += static_cast<std::size_t>(count);
    if (writeError == EPIPE) discardPendingBrokenPipeSignal();
    bool failed = writeError != 0 && writeError != EAGAIN && writeError != EINTR;
    if (failed || inputWritten_ == inputData.size()) {
      input.reset();
      inputData = {};
    }
  }

  std::size_t inputWritten_ = 0;
};

// Through the system call: this C library's declaration lacks C linkage.
int openPidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

void decodeWaitStatus(int status, ProcessTermination& termination) {
  if (WIFSIGNALED(status)) {
    termination.reason = ProcessTerminationReason::uncaughtSignal;
    termination.status = WTERMSIG(status);
  } else {
    termination.reason = ProcessTerminationReason::exit;
    termination.status = WEXITSTATUS(status);
  }
}

// Waits for the exit without reaping, then reaps under the lock signalling
// takes, so no signal can reach a successor that reuses the pid.
void reap(ProcessState& state, ProcessTermination& termination) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(state.pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  std::lock_guard lock(state.mutex);
  int status = 0;
  pid_t reaped;
  do {
    reaped = ::waitpid(state.pid, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  state.reaped = true;
  if (reaped == state.pid) {
    decodeWaitStatus(status, termination);
  } else {
    termination.reason = ProcessTerminationReason::exit;
    termination.status = -1;
  }
}

// Called with the state's lock held.
void dispatchHandler(const std::shared_ptr<ProcessState>& state, ProcessState::Handler handler) {
  handler.queue.async([state, completion = std::move(handler.completion)] { completion(state->termination); });
}

void publish(const std::shared_ptr<ProcessState>& state, ProcessTermination termination) {
  std::lock_guard lock(state->mutex);
  state->termination = std::move(termination);
  state->exited = true;
  if (state->handler) {
    dispatchHandler(state, std::move(*state->handler));
    state->handler.reset();
  }
  state->condition.notify_all();
}

// Owns the shared state, not the Process, so it outlives a Process dropped
// while the child runs.
void watch(std::shared_ptr<ProcessState> state, ChildStreams streams) {
  ProcessTermination termination;
  streams.pump(termination);
  reap(*state, termination);
  publish(state, std::move(termination));
}

// The watcher blocks every signal: process-directed signals belong to other
// threads, and a broken pipe's SIGPIPE must stay pending to be discarded.
Expected<void> startWatcher(const std::shared_ptr<ProcessState>& state, ChildStreams streams,
                            const std::string& path) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  int failure = 0;
  try {
    std::thread(watch, state, std::move(streams)).detach();
  } catch (const std::system_error& e) {
    failure = e.code().value();
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (failure == 0) return success();
  ::kill(state->pid, SIGKILL);
  while (::waitpid(state->pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return launchError(path, failure);
}

struct ChildSetUp {
  SpawnFileActions actions;
  ChildStreams streams;
  // The child's ends, closed here once it runs.
  std::vector<ScopedFd> childEnds;
};

// Connects one standard stream of the child to a new pipe.
Expected<void> connectPipe(ChildSetUp& setUp, int target, const std::string& path, ScopedFd& ours) {
  bool childWrites = target != STDIN_FILENO;
  auto pipe = makePipe(path, childWrites);
  if (!pipe) return pipe.error();
  ScopedFd& theirs = childWrites ? pipe->write : pipe->read;
  setUp.actions.duplicate(theirs.get(), target);
  setUp.childEnds.push_back(std::move(theirs));
  ours = std::move(childWrites ? pipe->read : pipe->write);
  return success();
}

Expected<void> prepareStreams(ProcessLaunchOptions& options, ChildSetUp& setUp) {
  const std::string& path = options.executablePath;
  if (options.standardInput) {
    if (auto connected = connectPipe(setUp, STDIN_FILENO, path, setUp.streams.input); !connected) return connected;
    setUp.streams.inputData = std::move(*options.standardInput);
  } else {
    setUp.actions.openNullDevice(STDIN_FILENO);
  }
  if (options.captureStandardOutput) {
    if (auto connected = connectPipe(setUp, STDOUT_FILENO, path, setUp.streams.output); !connected) return connected;
  }
  if (options.captureStandardError) {
    if (auto connected = connectPipe(setUp, STDERR_FILENO, path, setUp.streams.error); !connected) return connected;
  }
  setUp.actions.closeFrom(STDERR_FILENO + 1);
  if (setUp.actions.failure() != 0) return launchError(path, setUp.actions.failure());
  return success();
}

std::vector<std::string> environmentStrings(const std::map<std::string, std::string>& environment) {
  std::vector<std::string> strings;
  strings.reserve(environment.size());
  for (const auto& [name, value] : environment) strings.push_back(name + "=" + value);
  return strings;
}

Expected<pid_t> spawn(const ProcessLaunchOptions& options, const SpawnFileActions& actions) {
  std::vector<std::string> argumentStrings{options.executablePath};
  argumentStrings.insert(argumentStrings.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv = cStrings(argumentStrings);
  std::vector<std::string> environment;
  std::vector<char*> envp;
  if (options.environment) {
    environment = environmentStrings(*options.environment);
    envp = cStrings(environment);
  }
  char* const* childEnvironment = options.environment ? envp.data() : environ;
  SpawnAttributes attributes;
  pid_t pid = 0;
  const char* path = options.executablePath.c_str();
  int result = options.searchPath
                   ? ::posix_spawnp(&pid, path, actions.get(), attributes.get(), argv.data(), childEnvironment)
                   : ::posix_spawn(&pid, path, actions.get(), attributes.get(), argv.data(), childEnvironment);
  if (result != 0) return launchError(options.executablePath, result);
  return pid;
}

}  // namespace

Process::Process(pid_t pid, std::shared_ptr<detail::ProcessState> state) : pid_(pid), state_(std::move(state)) {}

Expected<std::shared_ptr<Process>> Process::launch(ProcessLaunchOptions options) {
  checkOptions(options);
  ChildSetUp setUp;
  ScopedFd directory;
  if (options.currentDirectory) {
    auto opened = openWorkingDirectory(*options.currentDirectory);
    if (!opened) return opened.error();
    directory = std::move(*opened);
    setUp.actions.changeDirectory(directory.get());
  }
  if (auto prepared = prepareStreams(options, setUp); !prepared) return prepared.error();
  auto pid = spawn(options, setUp.actions);
  if (!pid) return pid.error();
  // Our copies of the child's ends would keep its pipes from ever closing.
  setUp.childEnds.clear();
  directory.reset();
  setUp.streams.exitNotification = ScopedFd(openPidfd(*pid));
  auto state = std::make_shared<detail::ProcessState>(*pid);
  if (auto started = startWatcher(state, std::move(setUp.streams), options.executablePath); !started) {
    return started.error();
  }
  return std::shared_ptr<Process>(new Process(*pid, std::move(state)));
}

Expected<ProcessTermination> Process::run(ProcessLaunchOptions options) {
  auto process = launch(std::move(options));
  if (!process) return process.error();
  return (*process)->waitUntilExit();
}

bool Process::isRunning() const {
  std::lock_guard lock(state_->mutex);
  return !state_->exited;
}

ProcessTermination Process::waitUntilExit() const {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->exited) return state_->termination;
  }
  detail::Executor::BlockingScope blocking;
  std::unique_lock lock(state_->mutex);
  state_->condition.wait(lock, [this] { return state_->exited; });
  return state_->termination;
}

void Process::setTerminationHandler(Queue queue, std::function<void(const ProcessTermination&)> completion) {
  FND_PARAMETER_ASSERT(completion != nullptr);
  std::lock_guard lock(state_->mutex);
  detail::ProcessState::Handler handler{std::move(queue), std::move(completion)};
  if (state_->exited) {
    dispatchHandler(state_, std::move(handler));
  } else {
    state_->handler = std::move(handler);
  }
}

void Process::interrupt() { sendSignal(SIGINT); }
void Process::terminate() { sendSignal(SIGTERM); }
void Process::kill() { sendSignal(SIGKILL); }

void Process::sendSignal(int signal) {
  std::lock_guard lock(state_->mutex);
  if (!state_->reaped) ::kill(pid_, signal);
}

std::optional<std::string> environmentValue(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string currentExecutablePath() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace fnd
