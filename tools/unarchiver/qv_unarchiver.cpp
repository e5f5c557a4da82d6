#include "tools/unarchiver/qv_unarchiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/queue.h"
#include "foundation/search_paths.h"
#include "foundation/uuid.h"
#include "tools/qv_queue_builder.h"
#include "tools/unarchiver/qv_apple_double.h"

namespace {

constexpr std::array<std::uint8_t, 4> kZIPSignature = {0x50, 0x4B, 0x03, 0x04};
constexpr std::array<std::uint8_t, 4> kDMGSignature = {'k', 'o', 'l', 'y'};
constexpr off_t kDMGTrailerSize = 512;

// The unpacking's share of the whole: destination check, extraction, move.
constexpr double kCheckShare = 0.1;
constexpr double kExtractionShare = 0.8;
constexpr double kMoveShare = 0.1;
// The disk image's own fraction: extraction, copying, removal.
constexpr double kImageExtractShare = 0.2;
constexpr double kImageCopyShare = 0.6;
constexpr double kImageRemoveShare = 0.2;

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

bool readSignature(int fd, const std::array<std::uint8_t, 4>& signature) {
  std::array<std::uint8_t, 4> bytes{};
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += static_cast<std::size_t>(count);
  }
  return bytes == signature;
}

// The failure of an extraction tool, as the platform reports it.
fnd::Error toolFailure(const fnd::ProcessTermination& termination) {
  const std::string text(termination.standardError.begin(), termination.standardError.end());
  if (text.empty() || !QVIsValidUTF8(text)) return fnd::Error(fnd::NSOSStatusErrorDomain, termination.status);
  return fnd::Error(fnd::NSOSStatusErrorDomain, termination.status,
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value(text)}});
}

// The progress of one unpacking: reports only ever add, so the fraction seen
// never decreases, and each report goes to the caller's function.
class ProgressAccumulator {
 public:
  explicit ProgressAccumulator(QVUnarchiver::ProgressHandler handler) : handler_(std::move(handler)) {}

  void add(double amount) {
    if (amount <= 0) return;
    total_ = std::min(1.0, total_ + amount);
    if (handler_) handler_(total_);
  }
  // A stage that reports its own fraction from 0 to 1 and has `share` of
  // the whole.
  QVUnarchiver::ProgressHandler stage(double share) {
    return [this, share, previous = 0.0](double fraction) mutable {
      fraction = std::clamp(fraction, previous, 1.0);
      add((fraction - previous) * share);
      previous = fraction;
    };
  }

 private:
  QVUnarchiver::ProgressHandler handler_;
  double total_ = 0;
};

fnd::Expected<std::shared_ptr<fnd::URL>> runJob(const fnd::URL& archive, const std::shared_ptr<fnd::URL>& destination,
                                                ProgressAccumulator& progress) {
  if (destination) {
    if (auto checked = QVUnarchiver::_checkDestinationFolder(*destination); !checked) return checked.error();
  }
  progress.add(kCheckShare);
  auto extracted = QVUnarchiver::_unarchiveURL(archive, progress.stage(kExtractionShare));
  if (!extracted) return extracted.error();
  if (!destination) {
    progress.add(kMoveShare);
    return *extracted;
  }
  auto moved = QVUnarchiver::_moveContentAtURL(**extracted, *destination);
  // What was not moved is of no use to anyone; the folder is ours alone.
  (void)fnd::FileManager::defaultManager().removeItemAtURL(**extracted);
  if (!moved) return moved.error();
  progress.add(kMoveShare);
  return destination;
}

}  // namespace

void QVUnarchiver::unpackArchiveAtURL(std::shared_ptr<fnd::URL> archiveURL, std::shared_ptr<fnd::URL> destinationFolder,
                                      bool async, ProgressHandler progressHandler,
                                      CompletionHandler completionHandler) {
  FND_PARAMETER_ASSERT(archiveURL != nullptr);
  FND_PARAMETER_ASSERT(completionHandler != nullptr);
  const fnd::Queue queue = QVQueueBuilder::internalQueueWithName("unarchiver");
  auto job = [queue, archiveURL = std::move(archiveURL), destinationFolder = std::move(destinationFolder),
              progressHandler = std::move(progressHandler), completionHandler = std::move(completionHandler)] {
    FND_PARAMETER_ASSERT(queue.isCurrent());
    ProgressAccumulator progress(progressHandler);
    auto result = runJob(*archiveURL, destinationFolder, progress);
    if (result) {
      completionHandler(std::move(*result), std::nullopt);
    } else {
      completionHandler(nullptr, result.error());
    }
  };
  if (async) {
    queue.async(std::move(job));
  } else {
    queue.sync(job);
  }
}

QVArchiveType QVUnarchiver::_archiveTypeByExtensionAtURL(const fnd::URL& url) {
  const std::string extension = upper(url.pathExtension());
  if (extension == "ZIP") return QVArchiveType::zip;
  if (extension == "DMG") return QVArchiveType::dmg;
  return QVArchiveType::none;
}

QVArchiveType QVUnarchiver::_archiveTypeByHeaderAtURL(const fnd::URL& url) {
  const int fd = ::open(url.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return QVArchiveType::none;
  QVArchiveType type = QVArchiveType::none;
  if (_archiveHasZIPHeader(fd)) {
    type = QVArchiveType::zip;
  } else if (_archiveHasDMGHeader(fd)) {
    type = QVArchiveType::dmg;
  }
  ::close(fd);
  return type;
}

bool QVUnarchiver::_archiveHasZIPHeader(int fileDescriptor) { return readSignature(fileDescriptor, kZIPSignature); }

bool QVUnarchiver::_archiveHasDMGHeader(int fileDescriptor) {
  if (readSignature(fileDescriptor, kDMGSignature)) return true;
  // The trailer: "koly" opens the last 512 bytes.
  struct stat status {};
  if (::fstat(fileDescriptor, &status) != 0 || status.st_size < kDMGTrailerSize) return false;
  if (::lseek(fileDescriptor, status.st_size - kDMGTrailerSize, SEEK_SET) < 0) return false;
  return readSignature(fileDescriptor, kDMGSignature);
}

fnd::Expected<void> QVUnarchiver::_checkDestinationFolder(const fnd::URL& folder) {
  bool isDirectory = false;
  if (fnd::FileManager::defaultManager().fileExistsAtPath(folder.path(), &isDirectory) && isDirectory) {
    return fnd::success();
  }
  return fnd::FileManager::defaultManager().createDirectoryAtURL(folder, true);
}

fnd::Expected<std::shared_ptr<fnd::URL>> QVUnarchiver::_unarchiveURL(const fnd::URL& url,
                                                                     const ProgressHandler& progressHandler,
                                                                     const QVUnarchiverLimits& limits) {
  QVArchiveType type = _archiveTypeByExtensionAtURL(url);
  if (type == QVArchiveType::none) type = _archiveTypeByHeaderAtURL(url);
  switch (type) {
    case QVArchiveType::zip:
      return _unarchiveZIP(url, progressHandler, limits);
    case QVArchiveType::dmg:
      return _unarchiveDMG(url, progressHandler);
    case QVArchiveType::none:
      break;
  }
  return fnd::Error(QVUnarchiverErrorDomain, QVUnarchiverErrorUnknownArchiveType,
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value("Unknown archive type.")}});
}

fnd::Expected<std::shared_ptr<fnd::URL>> QVUnarchiver::_unarchiveZIP(const fnd::URL& url,
                                                                     const ProgressHandler& progressHandler,
                                                                     const QVUnarchiverLimits& limits) {
  auto folder = _newTemporaryFolderURL();
  auto extracted = QVZipExtraction::extract(url.path(), folder->path(), limits, [&](double fraction) {
    if (progressHandler) progressHandler(fraction);
  });
  if (!extracted) return extracted.error();
  if (progressHandler) progressHandler(1.0);
  return folder;
}

fnd::Expected<std::shared_ptr<fnd::URL>> QVUnarchiver::_unarchiveDMG(const fnd::URL& url,
                                                                     const ProgressHandler& progressHandler) {
  const auto& fileManager = fnd::FileManager::defaultManager();
  double fraction = 0;
  auto advance = [&](double amount) {
    fraction = std::min(1.0, fraction + amount);
    if (progressHandler) progressHandler(fraction);
  };

  const std::string volumes = fnd::SearchPaths::path(fnd::SearchPathLocation::volumes);
  if (auto made = fileManager.createDirectoryAtPath(volumes, true); !made) return made.error();
  std::string mountPoint;
  do {
    mountPoint = volumes + "/" + fnd::UUID::make()->UUIDString();
  } while (fileManager.fileExistsAtPath(mountPoint));

  fnd::ProcessLaunchOptions options;
  options.executablePath = "7zz";
  options.searchPath = true;
  options.arguments = {"x", "-y", "-bso0", "-bsp0", "-o" + mountPoint, "--", url.path()};
  options.captureStandardError = true;
  auto termination = fnd::Process::run(std::move(options));
  advance(kImageExtractShare);
  // Whatever the tool left is removed on every path from here on.
  auto removeMountPoint = [&] {
    (void)fileManager.removeItemAtPath(mountPoint);
    advance(kImageRemoveShare);
  };
  if (!termination) {
    removeMountPoint();
    return termination.error();
  }
  if (termination->reason != fnd::ProcessTerminationReason::exit || termination->status != 0) {
    removeMountPoint();
    return toolFailure(*termination);
  }
  auto copied = _copyImageContentAtURL(*fnd::URL::fileURLWithPath(mountPoint, true),
                                       [&](double share) { advance(share * kImageCopyShare); });
  removeMountPoint();
  return copied;
}

fnd::Expected<std::shared_ptr<fnd::URL>> QVUnarchiver::_copyImageContentAtURL(
    const fnd::URL& mountPoint, const std::function<void(double)>& itemDone) {
  const auto& fileManager = fnd::FileManager::defaultManager();
  auto items = fileManager.contentsOfDirectoryAtURL(mountPoint);
  if (!items) return items.error();
  auto folder = _newTemporaryFolderURL();
  if (auto made = fileManager.createDirectoryAtURL(*folder, true); !made) return made.error();
  // An empty image is done at once rather than never.
  if (items->empty()) itemDone(1.0);
  for (const auto& item : *items) {
    if (!_shouldIgnoreItemAtURL(*item)) {
      auto copied = fileManager.copyItemAtURL(*item, *folder->URLByAppendingPathComponent(item->lastPathComponent()));
      if (!copied) {
        (void)fileManager.removeItemAtURL(*folder);
        return copied.error();
      }
    }
    itemDone(1.0 / static_cast<double>(items->size()));
  }
  return folder;
}

bool QVUnarchiver::_shouldIgnoreItemAtURL(const fnd::URL& url) {
  const std::string name = upper(url.lastPathComponent());
  return name == ".DS_STORE" || name == ".TRASHES";
}

fnd::Expected<void> QVUnarchiver::_moveContentAtURL(const fnd::URL& source, const fnd::URL& destination) {
  const auto& fileManager = fnd::FileManager::defaultManager();
  bool isDirectory = false;
  if (!fileManager.fileExistsAtPath(source.path(), &isDirectory)) {
    return fnd::fileErrorWithPOSIXError(ENOENT, fnd::FileOperation::read, source.path());
  }
  std::vector<std::shared_ptr<fnd::URL>> items;
  if (isDirectory) {
    auto listed = fileManager.contentsOfDirectoryAtURL(source);
    if (!listed) return listed.error();
    items = std::move(*listed);
  } else {
    items.push_back(fnd::URL::fileURLWithPath(source.path()));
  }
  for (const auto& item : items) {
    if (_shouldIgnoreItemAtURL(*item)) continue;
    const auto target = destination.URLByAppendingPathComponent(item->lastPathComponent());
    // One exchange: the destination holds the old item or the new one,
    // never neither.
    auto replaced = fileManager.replaceItemAtURL(*target, *item, std::nullopt, {.usingNewMetadataOnly = true});
    if (!replaced) return replaced.error();
  }
  return fnd::success();
}

std::shared_ptr<fnd::URL> QVUnarchiver::_newTemporaryFolderURL() {
  return fnd::FileManager::defaultManager().temporaryDirectory()->URLByAppendingPathComponent(
      fnd::UUID::make()->UUIDString(), true);
}
