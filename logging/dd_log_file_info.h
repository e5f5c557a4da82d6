#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/date.h"

// One log file on disk. Size and the archive mark are read at every call;
// the creation date is fixed when the info is made. A rolled file is marked
// archived with the extended attribute "lumberjack.log.archived".
class DDLogFileInfo {
 public:
  static constexpr std::string_view kArchivedAttributeName = "lumberjack.log.archived";

  // Without a creation date the file's birth time is used (its modification
  // time where the file system keeps no birth time).
  explicit DDLogFileInfo(std::string filePath, std::shared_ptr<fnd::Date> creationDate = nullptr);

  const std::string& filePath() const { return filePath_; }
  std::string fileName() const;
  const std::shared_ptr<fnd::Date>& creationDate() const { return creationDate_; }
  // Seconds since creation on the installed clock.
  double age() const;
  std::uint64_t fileSize() const;

  bool isArchived() const;
  // Failures are reported on the standard error stream.
  void setIsArchived(bool archived);
  // Renames within the folder; failures are reported on standard error.
  void renameFile(std::string_view newFileName);

 private:
  std::string filePath_;
  std::shared_ptr<fnd::Date> creationDate_;
};
