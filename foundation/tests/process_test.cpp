#include "foundation/process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "foundation/semaphore.h"

namespace fnd {
namespace {

using namespace std::chrono_literals;

ProcessLaunchOptions shell(std::string script) {
  ProcessLaunchOptions options;
  options.executablePath = "/bin/sh";
  options.arguments = {"-c", std::move(script)};
  options.captureStandardOutput = true;
  options.captureStandardError = true;
  return options;
}

ProcessLaunchOptions command(std::string path, std::vector<std::string> arguments = {}) {
  ProcessLaunchOptions options;
  options.executablePath = std::move(path);
  options.arguments = std::move(arguments);
  options.captureStandardOutput = true;
  return options;
}

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::shared_ptr<Process> launchOrDie(ProcessLaunchOptions options) {
  auto process = Process::launch(std::move(options));
  if (!process) ADD_FAILURE() << process.error().description();
  return process ? *process : nullptr;
}

ProcessTermination runOrDie(ProcessLaunchOptions options) {
  auto termination = Process::run(std::move(options));
  if (!termination) ADD_FAILURE() << termination.error().description();
  return termination ? *termination : ProcessTermination{};
}

void expectLaunchError(const Expected<std::shared_ptr<Process>>& launched, std::int64_t code, int posixError,
                       const std::string& path) {
  ASSERT_FALSE(launched);
  EXPECT_TRUE(launched.error().is(NSCocoaErrorDomain, code)) << launched.error().description();
  ASSERT_TRUE(launched.error().underlyingError().has_value());
  EXPECT_TRUE(launched.error().underlyingError()->is(NSPOSIXErrorDomain, posixError));
  EXPECT_EQ(launched.error().userInfoValue(NSFilePathErrorKey), Value(path));
}

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fnd-process-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TemporaryFolder() { std::filesystem::remove_all(path_); }

  const std::filesystem::path& path() const { return path_; }
  std::string write(const std::string& name, const std::string& contents, std::filesystem::perms permissions) const {
    std::filesystem::path file = path_ / name;
    std::ofstream(file) << contents;
    std::filesystem::permissions(file, permissions);
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

std::string numbers(int from, int to) {
  std::string lines;
  for (int i = from; i <= to; ++i) lines += std::to_string(i) + "\n";
  return lines;
}

TEST(ProcessExit, ReportsExitCodesAndUncaughtSignals) {
  ProcessTermination exited = runOrDie(shell("exit 42"));
  EXPECT_EQ(exited.reason, ProcessTerminationReason::exit);
  EXPECT_EQ(exited.status, 42);

  ProcessTermination signalled = runOrDie(shell("kill -TERM $$"));
  EXPECT_EQ(signalled.reason, ProcessTerminationReason::uncaughtSignal);
  EXPECT_EQ(signalled.status, SIGTERM);
}

TEST(ProcessExit, TerminateAndKillEndALongRunningChild) {
  auto sleeper = launchOrDie(command("/bin/sleep", {"30"}));
  ASSERT_TRUE(sleeper);
  EXPECT_TRUE(sleeper->isRunning());
  sleeper->terminate();
  ProcessTermination terminated = sleeper->waitUntilExit();
  EXPECT_EQ(terminated.reason, ProcessTerminationReason::uncaughtSignal);
  EXPECT_EQ(terminated.status, SIGTERM);
  EXPECT_FALSE(sleeper->isRunning());
  // The pid is no longer ours to signal.
  sleeper->kill();

  auto stubborn = launchOrDie(shell("trap '' TERM; sleep 30"));
  ASSERT_TRUE(stubborn);
  stubborn->kill();
  EXPECT_EQ(stubborn->waitUntilExit().status, SIGKILL);
}

// Ignored or blocked signals of the caller would otherwise make the child
// immune to interrupt() and terminate().
TEST(ProcessExit, ChildStartsWithDefaultSignalHandling) {
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGINT, &ignore, &previous);
  sigset_t terminate;
  sigset_t previousMask;
  sigemptyset(&terminate);
  sigaddset(&terminate, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &terminate, &previousMask);

  auto interrupted = launchOrDie(command("/bin/sleep", {"30"}));
  auto terminated = launchOrDie(command("/bin/sleep", {"30"}));
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  ::sigaction(SIGINT, &previous, nullptr);
  ASSERT_TRUE(interrupted && terminated);
  interrupted->interrupt();
  terminated->terminate();
  EXPECT_EQ(interrupted->waitUntilExit().status, SIGINT);
  EXPECT_EQ(terminated->waitUntilExit().status, SIGTERM);
}

TEST(ProcessExit, WaitersOnSeveralThreadsAllSeeTheExit) {
  auto sleeper = launchOrDie(command("/bin/sleep", {"30"}));
  ASSERT_TRUE(sleeper);
  std::atomic<int> signalled{0};
  auto waiter = [&] {
    if (sleeper->waitUntilExit().status == SIGTERM) ++signalled;
  };
  std::thread first(waiter);
  std::thread second(waiter);
  sleeper->terminate();
  first.join();
  second.join();
  EXPECT_EQ(signalled, 2);
}

TEST(ProcessStreams, CapturesOutputAndErrorSeparately) {
  ProcessTermination termination = runOrDie(shell("echo out; echo err >&2; echo more"));
  EXPECT_EQ(text(termination.standardOutput), "out\nmore\n");
  EXPECT_EQ(text(termination.standardError), "err\n");
}

// The child fills standard output before it writes any standard error, so a
// reader that finishes one stream before the other waits forever.
TEST(ProcessStreams, MegabytesOnBothStreamsDoNotDeadlock) {
  ProcessTermination termination = runOrDie(shell("seq 1 400000; seq 400001 800000 >&2"));
  EXPECT_EQ(termination.status, 0);
  EXPECT_TRUE(text(termination.standardOutput) == numbers(1, 400000));
  EXPECT_TRUE(text(termination.standardError) == numbers(400001, 800000));
}

TEST(ProcessStreams, StandardInputIsFedWhileOutputIsDrained) {
  std::vector<std::uint8_t> data(4 * 1024 * 1024);
  std::mt19937 random(7);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  ProcessLaunchOptions cat = command("/bin/cat");
  cat.standardInput = data;
  ProcessTermination termination = runOrDie(cat);
  EXPECT_EQ(termination.status, 0);
  EXPECT_TRUE(termination.standardOutput == data);

  // Without input data the child reads an empty stream, never the caller's.
  EXPECT_TRUE(runOrDie(command("/bin/cat")).standardOutput.empty());
}

// Writing to a child that has gone raises SIGPIPE, which must not end us.
TEST(ProcessStreams, ChildThatIgnoresItsInputStillCompletes) {
  ProcessLaunchOptions options = shell("exit 7");
  options.standardInput = std::vector<std::uint8_t>(4 * 1024 * 1024, 'x');
  EXPECT_EQ(runOrDie(options).status, 7);
}

// A script that starts a daemon in the background must not hold us until the
// daemon ends, though the daemon keeps the pipes open.
TEST(ProcessStreams, BackgroundDescendantsDoNotDelayCompletion) {
  ProcessTermination termination = runOrDie(shell("sleep 30 & echo $!"));
  EXPECT_EQ(termination.status, 0);
  pid_t daemon = std::atoi(text(termination.standardOutput).c_str());
  ASSERT_GT(daemon, 0);
  EXPECT_EQ(::kill(daemon, SIGKILL), 0);
}

TEST(ProcessEnvironment, ReplacedEnvironmentIsAllTheChildSees) {
  ProcessLaunchOptions env = command("/usr/bin/env");
  env.environment = std::map<std::string, std::string>{{"ONLY", "1"}, {"SPACED", "a b"}};
  EXPECT_EQ(text(runOrDie(env).standardOutput), "ONLY=1\nSPACED=a b\n");
}

TEST(ProcessEnvironment, InheritsTheCallersEnvironmentByDefault) {
  ::setenv("FND_PROCESS_TEST_MARK", "inherited", 1);
  std::string output = text(runOrDie(command("/usr/bin/env")).standardOutput);
  ::unsetenv("FND_PROCESS_TEST_MARK");
  EXPECT_NE(output.find("FND_PROCESS_TEST_MARK=inherited\n"), std::string::npos);
}

TEST(ProcessEnvironment, RunsInTheWorkingFolderAndFindsRelativeExecutablesThere) {
  TemporaryFolder folder;
  std::string canonical = std::filesystem::canonical(folder.path()).string();
  ProcessLaunchOptions pwd = command("/bin/pwd");
  pwd.currentDirectory = folder.path().string();
  EXPECT_EQ(text(runOrDie(pwd).standardOutput), canonical + "\n");

  folder.write("tool", "#!/bin/sh\necho tool ran\n", std::filesystem::perms::owner_all);
  ProcessLaunchOptions tool = command("./tool");
  tool.currentDirectory = folder.path().string();
  EXPECT_EQ(text(runOrDie(tool).standardOutput), "tool ran\n");
}

TEST(ProcessEnvironment, SearchesPathOnlyWhenAsked) {
  ProcessLaunchOptions options = shell("echo found");
  options.executablePath = "sh";
  expectLaunchError(Process::launch(options), 4, ENOENT, "sh");
  options.searchPath = true;
  EXPECT_EQ(text(runOrDie(options).standardOutput), "found\n");
}

TEST(ProcessEnvironment, ChildInheritsOnlyItsStandardStreams) {
  // Opened without close-on-exec, as code outside fnd may do.
  int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  ProcessLaunchOptions options = command("/bin/ls", {"/proc/self/fd"});
  options.standardInput = std::vector<std::uint8_t>{'x'};
  options.captureStandardError = true;
  ProcessTermination termination = runOrDie(options);
  ::close(stray);
  // 3 is the listing's own handle on the folder.
  EXPECT_EQ(text(termination.standardOutput), "0\n1\n2\n3\n");
}

TEST(ProcessLaunchErrors, MissingExecutableIsNoSuchFile) {
  expectLaunchError(Process::launch(command("/nonexistent/tool")), 4, ENOENT, "/nonexistent/tool");
  expectLaunchError(Process::launch(command("/etc/passwd/tool")), 4, ENOTDIR, "/etc/passwd/tool");
}

// No execute bit stops even the superuser.
TEST(ProcessLaunchErrors, NonExecutableFileIsNoPermission) {
  TemporaryFolder folder;
  std::string script = folder.write("script", "#!/bin/sh\n", std::filesystem::perms::owner_read);
  expectLaunchError(Process::launch(command(script)), 513, EACCES, script);
}

TEST(ProcessLaunchErrors, UnusableWorkingFolderNamesTheFolder) {
  TemporaryFolder folder;
  ProcessLaunchOptions options = command("/bin/pwd");
  options.currentDirectory = (folder.path() / "missing").string();
  expectLaunchError(Process::launch(options), 4, ENOENT, *options.currentDirectory);

  options.currentDirectory = folder.write("file", "", std::filesystem::perms::owner_all);
  expectLaunchError(Process::launch(options), 4, ENOTDIR, *options.currentDirectory);
}

TEST(ProcessTerminationHandler, RunsOnceOnItsQueueAndOnlyTheLastSet) {
  auto sleeper = launchOrDie(command("/bin/sleep", {"30"}));
  ASSERT_TRUE(sleeper);
  Queue queue = Queue::serial("com.korvia.test.process");
  std::atomic<int> replaced{0};
  std::atomic<int> called{0};
  std::atomic<bool> onQueue{false};
  sleeper->setTerminationHandler(queue, [&](const ProcessTermination&) { ++replaced; });
  sleeper->setTerminationHandler(queue, [&](const ProcessTermination& termination) {
    onQueue = queue.isCurrent();
    if (termination.status == SIGTERM) ++called;
  });
  sleeper->terminate();
  sleeper->waitUntilExit();
  queue.sync([] {});
  EXPECT_EQ(called, 1);
  EXPECT_EQ(replaced, 0);
  EXPECT_TRUE(onQueue);
}

TEST(ProcessTerminationHandler, SetAfterExitStillRuns) {
  auto process = launchOrDie(shell("echo bye; exit 3"));
  ASSERT_TRUE(process);
  process->waitUntilExit();
  Queue queue = Queue::serial("com.korvia.test.process-late");
  std::atomic<int> called{0};
  std::string output;
  process->setTerminationHandler(queue, [&](const ProcessTermination& termination) {
    output = text(termination.standardOutput);
    if (termination.status == 3) ++called;
  });
  queue.sync([] {});
  EXPECT_EQ(called, 1);
  EXPECT_EQ(output, "bye\n");
}

// The child outlives its Process object, and is still reaped: no zombie.
TEST(ProcessTerminationHandler, RunsAfterTheProcessObjectIsGone) {
  auto sleeper = launchOrDie(command("/bin/sleep", {"30"}));
  ASSERT_TRUE(sleeper);
  pid_t pid = sleeper->processIdentifier();
  Semaphore ended(0);
  std::atomic<int> status{0};
  sleeper->setTerminationHandler(Queue::global(), [&](const ProcessTermination& termination) {
    status = termination.status;
    ended.signal();
  });
  sleeper.reset();
  ASSERT_EQ(::kill(pid, 0), 0);
  ::kill(pid, SIGKILL);
  ASSERT_TRUE(ended.waitFor(10s));
  EXPECT_EQ(status, SIGKILL);
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace fnd
