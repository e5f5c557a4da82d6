#include "logging/dd_log_file_manager_default.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include "foundation/file_manager.h"
#include "foundation/format.h"

namespace {

constexpr std::string_view kLogFileExtension = ".log";
// Files made within one millisecond get " 1", " 2"... after the date.
constexpr int kMaximumNameSuffix = 1000;

}  // namespace

DDLogFileManagerDefault::DDLogFileManagerDefault(std::string logsDirectory)
    : logsDirectory_(std::move(logsDirectory)), fileDateFormatter_(kFileDateFormat) {}

std::string DDLogFileManagerDefault::applicationName() const { return program_invocation_short_name; }

std::string DDLogFileManagerDefault::newLogFileName() const {
  return fnd::StringWithFormat("%@ %@.log", applicationName(), fileDateFormatter_.stringFromDate(*fnd::Date::now()));
}

bool DDLogFileManagerDefault::isLogFile(std::string_view fileName) const {
  const std::string prefix = applicationName() + " ";
  return fileName.size() > prefix.size() + kLogFileExtension.size() && fileName.starts_with(prefix) &&
         fileName.ends_with(kLogFileExtension);
}

std::shared_ptr<fnd::Date> DDLogFileManagerDefault::dateInFileName(std::string_view fileName) const {
  const std::string date(fileName.substr(applicationName().size() + 1));
  std::tm parts{};
  int millis = 0;
  if (std::sscanf(date.c_str(), "%4d-%2d-%2d--%2d-%2d-%2d-%3d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis) != 7) {
    return nullptr;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&parts);
  if (seconds == static_cast<std::time_t>(-1)) return nullptr;
  return fnd::Date::dateWithTimeIntervalSince1970(static_cast<double>(seconds) + millis / 1000.0);
}

std::vector<std::shared_ptr<DDLogFileInfo>> DDLogFileManagerDefault::sortedLogFileInfos() const {
  std::vector<std::shared_ptr<DDLogFileInfo>> infos;
  std::error_code error;
  for (std::filesystem::directory_iterator it(logsDirectory_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code kindError;
    if (!isLogFile(name) || !it->is_regular_file(kindError)) continue;
    infos.push_back(std::make_shared<DDLogFileInfo>(it->path().string(), dateInFileName(name)));
  }
  std::sort(infos.begin(), infos.end(), [](const auto& a, const auto& b) {
    const double ta = a->creationDate()->timeIntervalSinceReferenceDate();
    const double tb = b->creationDate()->timeIntervalSinceReferenceDate();
    return ta != tb ? ta > tb : a->fileName() > b->fileName();
  });
  return infos;
}

std::vector<std::string> DDLogFileManagerDefault::sortedLogFilePaths() const {
  std::vector<std::string> paths;
  for (const auto& info : sortedLogFileInfos()) paths.push_back(info->filePath());
  return paths;
}

bool DDLogFileManagerDefault::ensureLogsDirectory() const {
  auto made = fnd::FileManager::defaultManager().createDirectoryAtPath(logsDirectory_, true);
  if (made) return true;
  std::fputs(fnd::StringWithFormat("DDFileLogManagerDefault: Error creating logsDirectory: %@\n", made.error()).c_str(),
             stderr);
  return false;
}

std::shared_ptr<DDLogFileInfo> DDLogFileManagerDefault::createNewLogFile() {
  if (!ensureLogsDirectory()) return nullptr;
  const std::string name = newLogFileName();
  const std::string stem = name.substr(0, name.size() - kLogFileExtension.size());
  for (int suffix = 0; suffix < kMaximumNameSuffix; ++suffix) {
    const std::string candidate = suffix == 0 ? name : fnd::StringWithFormat("%@ %d.log", stem, suffix);
    const std::string path = logsDirectory_ + "/" + candidate;
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    ::close(descriptor);
    auto info = std::make_shared<DDLogFileInfo>(path, fnd::Date::now());
    deleteOldLogFiles();
    return info;
  }
  return nullptr;
}

void DDLogFileManagerDefault::didRollAndArchiveLogFile(const DDLogFileInfo& info) {
  (void)info;
  deleteOldLogFiles();
}

void DDLogFileManagerDefault::deleteOldLogFiles() const {
  const auto infos = sortedLogFileInfos();
  const std::size_t maximum = maximumNumberOfLogFiles();
  const std::uint64_t quota = logFilesDiskQuota();
  std::uint64_t used = 0;
  bool overQuota = false;
  for (std::size_t i = 0; i < infos.size(); ++i) {
    used += infos[i]->fileSize();
    overQuota = overQuota || (quota > 0 && used > quota);
    // The newest file is the one being written.
    if (i == 0 || !((maximum > 0 && i >= maximum) || overQuota)) continue;
    if (::unlink(infos[i]->filePath().c_str()) != 0 && errno != ENOENT) {
      std::fputs(fnd::StringWithFormat("DDLogFileInfo: Error deleting archive (%@): %s\n", infos[i]->fileName(),
                                       std::strerror(errno))
                     .c_str(),
                 stderr);
    }
  }
}
