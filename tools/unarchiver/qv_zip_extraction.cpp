#include "tools/unarchiver/qv_zip_extraction.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/error.h"
#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "tools/unarchiver/qv_apple_double.h"

namespace {

constexpr std::string_view kMetadataFolder = "__MACOSX";
constexpr std::string_view kAppleDoublePrefix = "._";
// AppleDouble files are read whole. Linux keeps attribute values of at most
// 64 KiB, so a bigger file cannot be metadata worth keeping.
constexpr std::size_t kMaximumAppleDoubleSize = std::size_t{16} << 20;
// Metadata whose item has not been extracted yet waits; beyond this it is
// dropped rather than held.
constexpr std::size_t kMaximumPendingMetadata = std::size_t{64} << 20;

using Components = std::vector<std::string>;

std::string joined(const Components& components) {
  std::string path;
  for (const auto& component : components) {
    if (!path.empty()) path += '/';
    path += component;
  }
  return path;
}

// libarchive converts names through the thread's locale; under a UTF-8
// locale names come through as their bytes, and an invalid UTF-8 name is
// reported instead of being rewritten.
class ScopedUTF8Locale {
 public:
  ScopedUTF8Locale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {
    if (locale_ != static_cast<locale_t>(nullptr)) previous_ = ::uselocale(locale_);
  }
  ~ScopedUTF8Locale() {
    if (locale_ == static_cast<locale_t>(nullptr)) return;
    ::uselocale(previous_);
    ::freelocale(locale_);
  }
  ScopedUTF8Locale(const ScopedUTF8Locale&) = delete;
  ScopedUTF8Locale& operator=(const ScopedUTF8Locale&) = delete;

 private:
  locale_t locale_;
  locale_t previous_ = static_cast<locale_t>(nullptr);
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~FileDescriptor() { reset(); }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// The archive file under libarchive's reader: chunked reads, seeks for the
// central directory, and the position the progress follows.
struct ArchiveSource {
  int fd = -1;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(QVZipExtraction::kChunkSize);
  std::uint64_t position = 0;
  std::uint64_t size = 0;
  // Reading starts at the central directory near the end; the position
  // means progress only once the entries are being read.
  bool reportsProgress = false;
  std::uint64_t reported = 0;
  const QVZipExtraction::Progress* progress = nullptr;

  static la_ssize_t read(archive* a, void* data, const void** block) {
    auto* source = static_cast<ArchiveSource*>(data);
    ssize_t count;
    do {
      count = ::read(source->fd, source->buffer.data(), source->buffer.size());
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
      archive_set_error(a, errno, "Cannot read the archive");
      return -1;
    }
    *block = source->buffer.data();
    source->position += static_cast<std::uint64_t>(count);
    source->report();
    return count;
  }
  static la_int64_t seek(archive*, void* data, la_int64_t offset, int whence) {
    auto* source = static_cast<ArchiveSource*>(data);
    const off_t result = ::lseek(source->fd, offset, whence);
    if (result < 0) return ARCHIVE_FATAL;
    source->position = static_cast<std::uint64_t>(result);
    return result;
  }
  static la_int64_t skip(archive*, void* data, la_int64_t request) {
    auto* source = static_cast<ArchiveSource*>(data);
    const off_t result = ::lseek(source->fd, request, SEEK_CUR);
    if (result < 0) return 0;
    source->position = static_cast<std::uint64_t>(result);
    return request;
  }

  void report() {
    if (!reportsProgress || !*progress || size == 0) return;
    const std::uint64_t at = std::min(position, size);
    if (at <= reported) return;
    reported = at;
    (*progress)(static_cast<double>(at) / static_cast<double>(size));
  }
};

struct PendingDirectory {
  Components components;
  mode_t mode;
  timespec modified;
};

class Extraction {
 public:
  Extraction(std::string archivePath, const QVUnarchiverLimits& limits, ArchiveSource& source, int root)
      : archivePath_(std::move(archivePath)), limits_(limits), source_(source), root_(root) {}
  ~Extraction() { closeChain(0); }
  Extraction(const Extraction&) = delete;
  Extraction& operator=(const Extraction&) = delete;

  fnd::Expected<void> run(archive* reader) {
    for (;;) {
      archive_entry* entry = nullptr;
      const int status = archive_read_next_header(reader, &entry);
      if (status == ARCHIVE_EOF) break;
      if (status != ARCHIVE_OK) return headerFailure(reader, entry, status);
      if (!source_.reportsProgress) {
        source_.reportsProgress = true;
        source_.report();
      }
      if (++entryCount_ > limits_.maximumEntryCount) {
        return refusal(fnd::NSFileReadTooLargeError,
                       "The archive holds more than " + std::to_string(limits_.maximumEntryCount) + " items.");
      }
      if (auto written = extractEntry(reader, entry); !written) return written;
    }
    return finish();
  }

 private:
  fnd::Error refusal(std::int64_t code, const std::string& description) const {
    return fnd::Error(fnd::NSCocoaErrorDomain, code,
                      {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value(description)},
                       {fnd::Value(fnd::NSFilePathErrorKey), fnd::Value(archivePath_)}});
  }
  fnd::Error unsafe(const std::string& name, const std::string& why) const {
    return refusal(fnd::NSFileReadCorruptFileError, "The archive item “" + name + "” " + why);
  }
  fnd::Error damaged(archive* reader) const {
    const char* message = archive_error_string(reader);
    return fnd::Error(fnd::NSOSStatusErrorDomain, 1,
                      {{fnd::Value(fnd::NSLocalizedDescriptionKey),
                        fnd::Value(std::string(message && *message ? message : "The archive is damaged."))}});
  }
  fnd::Error systemFailure(int posixError, const Components& components) const {
    return fnd::fileErrorWithPOSIXError(posixError, fnd::FileOperation::write, joined(components));
  }

  fnd::Expected<void> headerFailure(archive* reader, archive_entry* entry, int status) {
    const char* name = entry ? archive_entry_pathname(entry) : nullptr;
    if (status == ARCHIVE_WARN && (name == nullptr || *name == '\0')) {
      return refusal(fnd::NSFileReadInvalidFileNameError, "The archive holds an item whose name is not valid UTF-8.");
    }
    return damaged(reader);
  }

  // Splits a name into the components it is made at, refusing anything that
  // could land outside the extraction folder.
  fnd::Expected<Components> checkedComponents(const char* raw) const {
    if (raw == nullptr || *raw == '\0') {
      return refusal(fnd::NSFileReadInvalidFileNameError, "The archive holds an item without a name.");
    }
    const std::string name(raw);
    if (!QVIsValidUTF8(name)) {
      return refusal(fnd::NSFileReadInvalidFileNameError, "The archive holds an item whose name is not valid UTF-8.");
    }
    if (name.front() == '/') return unsafe(name, "has an absolute path.");
    Components components;
    std::size_t start = 0;
    while (start <= name.size()) {
      const std::size_t end = std::min(name.find('/', start), name.size());
      std::string component = name.substr(start, end - start);
      if (component == "..") return unsafe(name, "leads out of its folder with “..”.");
      if (!component.empty() && component != ".") components.push_back(std::move(component));
      start = end + 1;
    }
    return components;
  }

  // A link may climb with leading ".." but not below the top-level item
  // holding it, then only descend. Every link descends into the tree or into
  // another link checked the same way, so none resolves outside the item.
  std::optional<fnd::Error> checkLinkTarget(const Components& link, const std::string& target) const {
    const std::string name = joined(link);
    if (target.empty()) return unsafe(name, "is a symbolic link without a target.");
    if (target.front() == '/') return unsafe(name, "is a symbolic link to an absolute path.");
    std::size_t climbs = 0;
    std::size_t names = 0;
    std::size_t start = 0;
    while (start <= target.size()) {
      const std::size_t end = std::min(target.find('/', start), target.size());
      const std::string_view component(target.data() + start, end - start);
      if (component == "..") {
        if (names > 0) return unsafe(name, "is a symbolic link that climbs with “..” after a name.");
        ++climbs;
      } else if (!component.empty() && component != ".") {
        ++names;
      }
      start = end + 1;
    }
    const std::size_t depth = link.size() - 1;  // folders holding the link
    const bool staysInside = depth >= 1 ? climbs < depth : climbs == 0 && names > 0;
    if (!staysInside) return unsafe(name, "is a symbolic link that points outside its bundle.");
    return std::nullopt;
  }

  fnd::Expected<void> account(std::uint64_t bytes) {
    expanded_ += bytes;
    const bool pastRatio = limits_.maximumExpansionRatio != 0 &&
                           expanded_ / limits_.maximumExpansionRatio >= source_.size &&
                           expanded_ > source_.size * limits_.maximumExpansionRatio;
    if (expanded_ > limits_.expansionAllowance && pastRatio) {
      return refusal(fnd::NSFileReadTooLargeError, "The archive expands to more than " +
                                                       std::to_string(limits_.maximumExpansionRatio) +
                                                       " times its size.");
    }
    return fnd::success();
  }

  // The open folders from the extraction folder down to the last entry's
  // folder, so consecutive entries of one folder walk no path again.
  void closeChain(std::size_t keep) {
    while (chain_.size() > keep) {
      ::close(chain_.back().second);
      chain_.pop_back();
    }
  }

  // The folder at `components` (the extraction folder for none), entered
  // without following links; missing folders are made when `create` is set,
  // else the result is -1 with ENOENT.
  fnd::Expected<int> openFolder(const Components& components, std::size_t count, bool create) {
    std::size_t common = 0;
    while (common < chain_.size() && common < count && chain_[common].first == components[common]) ++common;
    closeChain(common);
    for (std::size_t i = common; i < count; ++i) {
      const int parent = i == 0 ? root_ : chain_[i - 1].second;
      const std::string& name = components[i];
      int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) {
        if (!create) return -1;
        if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) {
          return systemFailure(errno, Components(components.begin(), components.begin() + i + 1));
        }
        fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (fd < 0) {
        const int error = errno;
        const std::string path = joined(Components(components.begin(), components.begin() + i + 1));
        struct stat status {};
        if (::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
          if (S_ISLNK(status.st_mode)) return unsafe(joined(components), "lies behind the symbolic link “" + path + "”.");
          return unsafe(joined(components), "lies inside “" + path + "”, which is not a folder.");
        }
        return systemFailure(error, Components(components.begin(), components.begin() + i + 1));
      }
      chain_.emplace_back(name, fd);
    }
    return count == 0 ? root_ : chain_[count - 1].second;
  }

  // Makes room for a file or link where an earlier entry of the same name
  // was; folders are never replaced by something else.
  fnd::Expected<void> clearForItem(int folder, const Components& components) {
    const std::string& name = components.back();
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return fnd::success();
    if (S_ISDIR(status.st_mode)) return unsafe(joined(components), "would replace a folder of the same name.");
    if (::unlinkat(folder, name.c_str(), 0) != 0) return systemFailure(errno, components);
    return fnd::success();
  }

  static timespec modificationTime(archive_entry* entry) {
    if (!archive_entry_mtime_is_set(entry)) return timespec{0, UTIME_OMIT};
    return timespec{archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
  }

  fnd::Expected<void> extractEntry(archive* reader, archive_entry* entry) {
    auto components = checkedComponents(archive_entry_pathname(entry));
    if (!components) return components.error();
    const std::string name = joined(*components);
    if (archive_entry_hardlink(entry) != nullptr) return unsafe(name, "is a hard link, which is not supported.");
    if (!components->empty() && components->front() == kMetadataFolder) return readMetadata(reader, entry, *components);

    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
      if (components->empty()) return fnd::success();
      auto folder = openFolder(*components, components->size(), true);
      if (!folder) return folder.error();
      directories_.push_back({*components, archive_entry_perm(entry) & 0777, modificationTime(entry)});
      return fnd::success();
    }
    if (components->empty()) return unsafe(archive_entry_pathname(entry), "has no name of its own.");
    if (type == AE_IFREG) return writeFile(reader, entry, *components);
    if (type == AE_IFLNK) return makeLink(entry, *components);
    return unsafe(name, "is a device, pipe or socket, which is not supported.");
  }

  // Hands every data block of the current entry to `sink`, counting it
  // against the expansion limit first.
  template <class Sink>
  fnd::Expected<void> forEachDataBlock(archive* reader, Sink&& sink) {
    for (;;) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      const int status = archive_read_data_block(reader, &block, &size, &offset);
      if (status == ARCHIVE_EOF) return fnd::success();
      if (status != ARCHIVE_OK) return damaged(reader);
      if (auto allowed = account(size); !allowed) return allowed;
      if (auto taken = sink(static_cast<const std::uint8_t*>(block), size, offset); !taken) return taken;
    }
  }

  fnd::Expected<void> writeFile(archive* reader, archive_entry* entry, const Components& components) {
    auto folder = openFolder(components, components.size() - 1, true);
    if (!folder) return folder.error();
    if (auto cleared = clearForItem(*folder, components); !cleared) return cleared;
    FileDescriptor file(
        ::openat(*folder, components.back().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0) return systemFailure(errno, components);

    auto written = forEachDataBlock(reader, [&](const std::uint8_t* bytes, std::size_t size, la_int64_t offset) {
      std::size_t done = 0;
      while (done < size) {
        const ssize_t count = ::pwrite(file.get(), bytes + done, size - done, offset + static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return fnd::Expected<void>(systemFailure(errno, components));
        done += static_cast<std::size_t>(count);
      }
      return fnd::success();
    });
    if (!written) return written;
    if (::fchmod(file.get(), archive_entry_perm(entry) & 0777) != 0) return systemFailure(errno, components);
    const timespec times[2] = {{0, UTIME_OMIT}, modificationTime(entry)};
    (void)::futimens(file.get(), times);
    if (::close(file.release()) != 0 && errno != EINTR) return systemFailure(errno, components);
    return applyPendingMetadata(components);
  }

  fnd::Expected<void> makeLink(archive_entry* entry, const Components& components) {
    const char* rawTarget = archive_entry_symlink(entry);
    const std::string target = rawTarget ? rawTarget : "";
    if (!QVIsValidUTF8(target)) {
      return refusal(fnd::NSFileReadInvalidFileNameError,
                     "The archive item “" + joined(components) + "” links to a name that is not valid UTF-8.");
    }
    if (auto refused = checkLinkTarget(components, target)) return *refused;
    if (auto allowed = account(target.size()); !allowed) return allowed;
    auto folder = openFolder(components, components.size() - 1, true);
    if (!folder) return folder.error();
    if (auto cleared = clearForItem(*folder, components); !cleared) return cleared;
    if (::symlinkat(target.c_str(), *folder, components.back().c_str()) != 0) return systemFailure(errno, components);
    const timespec times[2] = {{0, UTIME_OMIT}, modificationTime(entry)};
    (void)::utimensat(*folder, components.back().c_str(), times, AT_SYMLINK_NOFOLLOW);
    return fnd::success();
  }

  // "__MACOSX/<folders>/._<name>" describes "<folders>/<name>".
  fnd::Expected<void> readMetadata(archive* reader, archive_entry* entry, const Components& components) {
    const std::string& last = components.back();
    if (archive_entry_filetype(entry) != AE_IFREG || components.size() < 2 ||
        !last.starts_with(kAppleDoublePrefix) || last.size() == kAppleDoublePrefix.size()) {
      return fnd::success();
    }
    std::vector<std::uint8_t> bytes;
    bool tooLarge = false;
    auto read = forEachDataBlock(reader, [&](const std::uint8_t* block, std::size_t size, la_int64_t offset) {
      if (tooLarge || offset < 0 || static_cast<std::uint64_t>(offset) + size > kMaximumAppleDoubleSize) {
        tooLarge = true;
        return fnd::success();
      }
      if (bytes.size() < static_cast<std::size_t>(offset) + size) bytes.resize(static_cast<std::size_t>(offset) + size);
      std::copy_n(block, size, bytes.begin() + offset);
      return fnd::success();
    });
    if (!read) return read;
    if (tooLarge) return fnd::success();
    auto attributes = QVAppleDouble::decode(bytes);
    // Damaged metadata costs the item its attributes, not the extraction.
    if (!attributes || attributes->empty()) return fnd::success();

    Components item(components.begin() + 1, components.end());
    item.back() = last.substr(kAppleDoublePrefix.size());
    const std::string key = joined(item);
    auto& waiting = pending_[key];
    for (auto& attribute : *attributes) {
      if (pendingBytes_ + attribute.value.size() > kMaximumPendingMetadata) break;
      pendingBytes_ += attribute.value.size();
      waiting.push_back(std::move(attribute));
    }
    return applyPendingMetadata(item);
  }

  // Writes the metadata waiting for the item, once the item exists. Attributes
  // the file system will not keep (too large, links) are left out, as the
  // platform's tools do.
  fnd::Expected<void> applyPendingMetadata(const Components& item) {
    auto waiting = pending_.find(joined(item));
    if (waiting == pending_.end()) return fnd::success();
    auto folder = openFolder(item, item.size() - 1, false);
    if (!folder) return folder.error();
    if (*folder < 0) return fnd::success();
    struct stat status {};
    if (::fstatat(*folder, item.back().c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return fnd::success();
    if (!S_ISLNK(status.st_mode)) {
      // The item is named through the open folder, so no link on the way
      // can redirect the write.
      const std::string path = "/proc/self/fd/" + std::to_string(*folder) + "/" + item.back();
      for (const auto& attribute : waiting->second) {
        (void)fnd::ExtendedAttributes::setValue(path, userAttributeName(attribute.name), attribute.value,
                                                {.noFollow = true});
      }
    }
    for (const auto& attribute : waiting->second) pendingBytes_ -= attribute.value.size();
    pending_.erase(waiting);
    return fnd::success();
  }

  // Archived names are the platform's, which have no namespaces: a name that
  // looks like a Linux namespace ("security.capability") still goes into the
  // user namespace, never into one the system acts on.
  static std::string userAttributeName(const std::string& name) {
    for (std::string_view prefix : {"user.", "trusted.", "security.", "system."}) {
      if (name.starts_with(prefix)) return "user." + name;
    }
    return name;
  }

  fnd::Expected<void> finish() {
    while (!pending_.empty()) {
      const auto key = pending_.begin()->first;
      // Items that never came leave their metadata unused.
      auto item = checkedComponents(key.c_str());
      if (item && !item->empty()) {
        if (auto applied = applyPendingMetadata(*item); !applied) return applied;
      }
      pending_.erase(key);
    }
    // Deepest first, so that no folder is closed to us before its contents
    // are done.
    std::stable_sort(directories_.begin(), directories_.end(),
                     [](const auto& a, const auto& b) { return a.components.size() > b.components.size(); });
    for (const auto& directory : directories_) {
      auto folder = openFolder(directory.components, directory.components.size(), false);
      if (!folder) return folder.error();
      if (*folder < 0) continue;
      if (::fchmod(*folder, directory.mode) != 0) return systemFailure(errno, directory.components);
      const timespec times[2] = {{0, UTIME_OMIT}, directory.modified};
      (void)::futimens(*folder, times);
    }
    closeChain(0);
    return fnd::success();
  }

  const std::string archivePath_;
  const QVUnarchiverLimits limits_;
  ArchiveSource& source_;
  const int root_;
  std::vector<std::pair<std::string, int>> chain_;
  std::vector<PendingDirectory> directories_;
  std::map<std::string, std::vector<QVAppleDoubleAttribute>> pending_;
  std::size_t pendingBytes_ = 0;
  std::uint64_t entryCount_ = 0;
  std::uint64_t expanded_ = 0;
};

struct ReaderDeleter {
  void operator()(archive* reader) const { archive_read_free(reader); }
};

fnd::Expected<void> extractInto(const std::string& archivePath, int archiveFd, std::uint64_t size, int root,
                                const QVUnarchiverLimits& limits, const QVZipExtraction::Progress& progress) {
  const ScopedUTF8Locale locale;
  std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
  if (!reader) return fnd::fileErrorWithPOSIXError(ENOMEM, fnd::FileOperation::read, archivePath);
  archive_read_support_format_zip(reader.get());

  ArchiveSource source;
  source.fd = archiveFd;
  source.size = size;
  source.progress = &progress;
  archive_read_set_callback_data(reader.get(), &source);
  archive_read_set_read_callback(reader.get(), &ArchiveSource::read);
  archive_read_set_seek_callback(reader.get(), &ArchiveSource::seek);
  archive_read_set_skip_callback(reader.get(), &ArchiveSource::skip);
  if (archive_read_open1(reader.get()) != ARCHIVE_OK) {
    const char* message = archive_error_string(reader.get());
    return fnd::Error(fnd::NSOSStatusErrorDomain, 1,
                      {{fnd::Value(fnd::NSLocalizedDescriptionKey),
                        fnd::Value(std::string(message && *message ? message : "The archive is damaged."))}});
  }
  Extraction extraction(archivePath, limits, source, root);
  return extraction.run(reader.get());
}

}  // namespace

fnd::Expected<void> QVZipExtraction::extract(const std::string& archivePath, const std::string& folder,
                                             const QVUnarchiverLimits& limits, const Progress& progress) {
  FileDescriptor archiveFile(::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (archiveFile.get() < 0) return fnd::fileErrorWithPOSIXError(errno, fnd::FileOperation::read, archivePath);
  struct stat status {};
  if (::fstat(archiveFile.get(), &status) != 0) {
    return fnd::fileErrorWithPOSIXError(errno, fnd::FileOperation::read, archivePath);
  }
  if (::mkdir(folder.c_str(), 0700) != 0) {
    return fnd::fileErrorWithPOSIXError(errno, fnd::FileOperation::write, folder);
  }
  FileDescriptor root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  auto result = root.get() < 0
                    ? fnd::Expected<void>(fnd::fileErrorWithPOSIXError(errno, fnd::FileOperation::write, folder))
                    : extractInto(archivePath, archiveFile.get(), static_cast<std::uint64_t>(status.st_size),
                                  root.get(), limits, progress);
  if (!result) (void)fnd::FileManager::defaultManager().removeItemAtPath(folder);
  return result;
}
