#include "interface/logging/afx_setup_logger.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "foundation/bundle.h"
#include "foundation/search_paths.h"
#include "interface/logging/afx_log_file_manager.h"
#include "interface/logging/afx_log_formatter.h"
#include "logging/dd_asl_logger.h"
#include "logging/dd_file_logger.h"
#include "logging/dd_log.h"
#include "logging/dd_tty_logger.h"
#include "tools/codesign/qv_code_signature_checker.h"

namespace {

constexpr std::string_view kLogsLocation = "~/Library/Logs/Korvia";
constexpr std::size_t kPrefixWidth = 20;
constexpr double kRollingFrequency = 60 * 60 * 24;
constexpr std::size_t kMaximumNumberOfLogFiles = 7;

// The home directory the password database names, which a sandbox's
// environment does not move.
std::string passwordDatabaseHome() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir) {
    return {};
  }
  return found->pw_dir;
}

std::vector<std::shared_ptr<DDFileLogger>> registeredFileLoggers() {
  std::vector<std::shared_ptr<DDFileLogger>> fileLoggers;
  for (const auto& logger : DDLog::allLoggers()) {
    if (auto fileLogger = std::dynamic_pointer_cast<DDFileLogger>(logger)) fileLoggers.push_back(fileLogger);
  }
  return fileLoggers;
}

bool hasFileLoggerFor(const std::string& directory) {
  const auto loggers = registeredFileLoggers();
  return std::any_of(loggers.begin(), loggers.end(), [&](const auto& logger) {
    return logger->logFileManager()->logsDirectory() == directory;
  });
}

}  // namespace

std::string AFXLogPrefixForName(std::string_view name) {
  std::string prefix = "<" + std::string(name) + "> ";
  if (prefix.size() < kPrefixWidth) prefix.append(kPrefixWidth - prefix.size(), ' ');
  return prefix;
}

std::vector<std::string> AFXLogDirectories(bool sandboxed) {
  std::vector<std::string> directories{fnd::SearchPaths::resolve(kLogsLocation)};
  if (!sandboxed) return directories;
  const std::string home = passwordDatabaseHome();
  const std::string logsRoot = fnd::SearchPaths::path(fnd::SearchPathLocation::userLogs);
  if (home.empty() || !directories.front().starts_with(logsRoot + "/")) return directories;
  // The same folder under the real home's default logs location.
  const std::string real = home + "/.local/state" + directories.front().substr(logsRoot.size());
  if (real != directories.front()) directories.push_back(real);
  return directories;
}

void AFXSetupLogger(std::string_view name) {
  DDLog::addLogger(DDTTYLogger::sharedInstance());
  DDLog::addLogger(DDASLLogger::sharedInstance());
  auto bundle = fnd::Bundle::mainBundle();
  const bool sandboxed = bundle && QVCodeSignatureChecker::isApplicationSandboxedAtURL(*bundle->bundleURL());
  const std::string prefix = AFXLogPrefixForName(name);
  for (const std::string& directory : AFXLogDirectories(sandboxed)) {
    // Setting up twice must not write every line twice.
    if (hasFileLoggerFor(directory)) continue;
    auto manager = std::make_shared<AFXLogFileManager>(directory);
    manager->setMaximumNumberOfLogFiles(kMaximumNumberOfLogFiles);
    auto logger = std::make_shared<DDFileLogger>(manager);
    logger->setRollingFrequency(kRollingFrequency);
    logger->setLogFormatter(std::make_shared<AFXLogFormatter>(prefix));
    DDLog::addLogger(logger);
  }
}

std::vector<std::shared_ptr<fnd::URL>> AFXGetSortedLogFiles() {
  std::vector<std::shared_ptr<fnd::URL>> files;
  for (const auto& logger : registeredFileLoggers()) {
    for (const auto& info : logger->logFileManager()->sortedLogFileInfos()) {
      files.push_back(fnd::URL::fileURLWithPath(info->filePath()));
    }
  }
  return files;
}
