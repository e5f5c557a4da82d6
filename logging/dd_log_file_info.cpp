#include "logging/dd_log_file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "foundation/extended_attributes.h"
#include "foundation/format.h"

namespace {

std::shared_ptr<fnd::Date> birthDate(const std::string& path) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return fnd::Date::now();
  const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
  return fnd::Date::dateWithTimeIntervalSince1970(static_cast<double>(stamp.tv_sec) + stamp.tv_nsec / 1e9);
}

// The errno beneath a file error of the extended-attribute layer.
int posixCode(const fnd::Error& error) {
  auto underlying = error.underlyingError();
  return static_cast<int>(underlying ? underlying->code() : error.code());
}

}  // namespace

DDLogFileInfo::DDLogFileInfo(std::string filePath, std::shared_ptr<fnd::Date> creationDate)
    : filePath_(std::move(filePath)), creationDate_(creationDate ? std::move(creationDate) : birthDate(filePath_)) {}

std::string DDLogFileInfo::fileName() const { return std::filesystem::path(filePath_).filename().string(); }

double DDLogFileInfo::age() const { return fnd::Date::now()->timeIntervalSinceDate(*creationDate_); }

std::uint64_t DDLogFileInfo::fileSize() const {
  struct stat info {};
  return ::stat(filePath_.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

bool DDLogFileInfo::isArchived() const {
  auto value = fnd::ExtendedAttributes::value(filePath_, kArchivedAttributeName);
  return value.hasValue();
}

void DDLogFileInfo::setIsArchived(bool archived) {
  if (archived) {
    const std::uint8_t mark[] = {1};
    auto set = fnd::ExtendedAttributes::setValue(filePath_, kArchivedAttributeName, mark);
    if (!set) {
      std::fputs(fnd::StringWithFormat("DDLogFileInfo: setxattr(%@, %@): error = %s\n", fileName(),
                                       kArchivedAttributeName, std::strerror(posixCode(set.error())))
                     .c_str(),
                 stderr);
    }
    return;
  }
  auto removed = fnd::ExtendedAttributes::remove(filePath_, kArchivedAttributeName);
  if (!removed && !fnd::ExtendedAttributes::isNoSuchAttributeError(removed.error())) {
    std::fputs(fnd::StringWithFormat("DDLogFileInfo: removexattr(%@, %@): error = %s\n", fileName(),
                                     kArchivedAttributeName, std::strerror(posixCode(removed.error())))
                   .c_str(),
               stderr);
  }
}

void DDLogFileInfo::renameFile(std::string_view newFileName) {
  const std::string target = (std::filesystem::path(filePath_).parent_path() / newFileName).string();
  if (::rename(filePath_.c_str(), target.c_str()) != 0) {
    std::fputs(fnd::StringWithFormat("DDLogFileInfo: Error renaming file (%@): %s\n", fileName(), std::strerror(errno))
                   .c_str(),
               stderr);
    return;
  }
  filePath_ = target;
}
