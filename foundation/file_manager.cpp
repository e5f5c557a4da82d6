#include "foundation/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "foundation/check.h"
#include "foundation/extended_attributes.h"
#include "foundation/number.h"
#include "foundation/search_paths.h"
#include "foundation/string.h"

namespace fnd {

namespace {

constexpr std::size_t kCopyChunkSize = 256 * 1024;
constexpr std::size_t kMaximumUserEntrySize = 1 << 20;
constexpr int kMaximumNameAttempts = 100;
constexpr std::size_t kTemporaryNamePrefixLength = 100;
constexpr std::string_view kReplacementDirectoryPrefix = ".korvia-replacement-";
constexpr std::string_view kReplacedItemPrefix = ".korvia-replaced-";
// Extensions of folders that the platform shows as one item.
constexpr std::array<std::string_view, 14> kPackageExtensions = {
    "app", "bundle", "framework", "plugin", "kext", "xpc", "appex",
    "qlgenerator", "mdimporter", "prefpane", "saver", "pkg", "mpkg", "rtfd"};

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes and reports the close's own failure (a deferred write error).
  int close() {
    int result = ::close(std::exchange(fd_, -1));
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

// Paths reach the system as C strings; a NUL inside one is a caller's bug.
std::string cPath(std::string_view path) {
  FND_PARAMETER_ASSERT(path.find('\0') == std::string_view::npos);
  return std::string(path);
}

std::string join(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

// Without trailing slashes, except for the root.
std::string trimmed(std::string_view path) {
  std::string result(path);
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string parentPath(std::string_view path) {
  std::string text = trimmed(path);
  std::size_t slash = text.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return trimmed(text.substr(0, slash));
}

std::string lastComponent(std::string_view path) {
  std::string text = trimmed(path);
  std::size_t slash = text.find_last_of('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string randomSuffix() {
  static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::array<std::uint8_t, 8> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t count = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) programmingError("The system's random generator could not supply bytes");
    filled += static_cast<std::size_t>(count);
  }
  std::string suffix;
  for (std::uint8_t byte : bytes) suffix += kAlphabet[byte % kAlphabet.size()];
  return suffix;
}

Error writeError(int posixError, std::string_view path) {
  return fileErrorWithPOSIXError(posixError, FileOperation::write, path);
}

Error readError(int posixError, std::string_view path) {
  return fileErrorWithPOSIXError(posixError, FileOperation::read, path);
}

bool isHidden(std::string_view name) { return !name.empty() && name.front() == '.'; }

bool isPackage(std::string_view name) {
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(kPackageExtensions.begin(), kPackageExtensions.end(), extension) != kPackageExtensions.end();
}

timespec timespecOfDate(const Date& date) {
  double seconds = date.timeIntervalSince1970();
  double whole = std::floor(seconds);
  timespec result{};
  result.tv_sec = static_cast<time_t>(whole);
  result.tv_nsec = std::min(static_cast<long>(std::llround((seconds - whole) * 1e9)), 999'999'999L);
  return result;
}

std::shared_ptr<Date> dateOfTimestamp(const statx_timestamp& timestamp) {
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(timestamp.tv_sec) +
                                             static_cast<double>(timestamp.tv_nsec) / 1e9);
}

// getpwuid_r and getgrgid_r share this shape; other threads may be reading
// the databases too.
template <class Entry, class Lookup>
std::optional<std::string> accountName(Lookup lookup) {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
  Entry entry{};
  Entry* found = nullptr;
  while (lookup(&entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < kMaximumUserEntrySize) {
    buffer.resize(buffer.size() * 2);
  }
  if (!found) return std::nullopt;
  if constexpr (std::is_same_v<Entry, passwd>) {
    return std::string(found->pw_name);
  } else {
    return std::string(found->gr_name);
  }
}

FileType fileTypeOfMode(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return FileType::regular;
    case S_IFDIR:
      return FileType::directory;
    case S_IFLNK:
      return FileType::symbolicLink;
    case S_IFCHR:
      return FileType::characterSpecial;
    case S_IFBLK:
      return FileType::blockSpecial;
    case S_IFSOCK:
      return FileType::socket;
    default:
      return FileType::unknown;
  }
}

std::string_view fileTypeName(FileType type) {
  switch (type) {
    case FileType::regular:
      return NSFileTypeRegular;
    case FileType::directory:
      return NSFileTypeDirectory;
    case FileType::symbolicLink:
      return NSFileTypeSymbolicLink;
    case FileType::characterSpecial:
      return NSFileTypeCharacterSpecial;
    case FileType::blockSpecial:
      return NSFileTypeBlockSpecial;
    case FileType::socket:
      return NSFileTypeSocket;
    case FileType::unknown:
      return NSFileTypeUnknown;
  }
  FND_NOT_REACHED();
}

// ---------------------------------------------------------------------------
// Reading folders

struct DirectoryEntry {
  std::string name;
  bool isDirectory = false;
};

// The entries of an open folder, sorted by name, "." and ".." left out. The
// errno of a failure, else 0.
int readDirectory(int folder, std::vector<DirectoryEntry>& entries) {
  int duplicate = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) return errno;
  DIR* stream = ::fdopendir(duplicate);
  if (!stream) {
    int failure = errno;
    ::close(duplicate);
    return failure;
  }
  int failure = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (!entry) {
      failure = errno;
      break;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isDirectory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      isDirectory = ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }
    entries.push_back({std::string(name), isDirectory});
  }
  ::closedir(stream);
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return failure;
}

// ---------------------------------------------------------------------------
// Attributes

Expected<void> applyToPath(const FileAttributeChanges& changes, const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return writeError(errno, path);
  if (changes.ownerAccountID || changes.groupOwnerAccountID) {
    uid_t owner = changes.ownerAccountID.value_or(static_cast<uid_t>(-1));
    gid_t group = changes.groupOwnerAccountID.value_or(static_cast<gid_t>(-1));
    if (::fchownat(AT_FDCWD, path.c_str(), owner, group, AT_SYMLINK_NOFOLLOW) != 0) return writeError(errno, path);
  }
  if (changes.posixPermissions && !S_ISLNK(info.st_mode)) {
    if (::fchmodat(AT_FDCWD, path.c_str(), *changes.posixPermissions & 07777, 0) != 0) return writeError(errno, path);
  }
  if (changes.modificationDate) {
    const timespec times[2] = {{0, UTIME_OMIT}, timespecOfDate(*changes.modificationDate)};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return writeError(errno, path);
  }
  return success();
}

Expected<void> applyToDescriptor(const FileAttributeChanges& changes, int fd, const std::string& path) {
  if (changes.ownerAccountID || changes.groupOwnerAccountID) {
    uid_t owner = changes.ownerAccountID.value_or(static_cast<uid_t>(-1));
    gid_t group = changes.groupOwnerAccountID.value_or(static_cast<gid_t>(-1));
    if (::fchown(fd, owner, group) != 0) return writeError(errno, path);
  }
  if (changes.posixPermissions && ::fchmod(fd, *changes.posixPermissions & 07777) != 0) return writeError(errno, path);
  if (changes.modificationDate) {
    const timespec times[2] = {{0, UTIME_OMIT}, timespecOfDate(*changes.modificationDate)};
    if (::futimens(fd, times) != 0) return writeError(errno, path);
  }
  return success();
}

// ---------------------------------------------------------------------------
// Writing files

// Writes everything; the errno of a failure, else 0.
int writeAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    written += static_cast<std::size_t>(count);
  }
  return 0;
}

Expected<void> writeAndClose(ScopedFd& fd, std::span<const std::uint8_t> contents,
                             const FileAttributeChanges& attributes, const std::string& path, bool durable) {
  if (int failure = writeAll(fd.get(), contents); failure != 0) return writeError(failure, path);
  if (auto applied = applyToDescriptor(attributes, fd.get(), path); !applied) return applied;
  if (durable && ::fsync(fd.get()) != 0) return writeError(errno, path);
  if (int failure = fd.close(); failure != 0) return writeError(failure, path);
  return success();
}

// A new file beside `path` that only this call knows of; 0666 less the umask.
// Its name keeps a prefix of the target's, short enough for any target.
Expected<std::pair<ScopedFd, std::string>> createSibling(const std::string& path) {
  const std::string folder = parentPath(path);
  const std::string name = lastComponent(path).substr(0, kTemporaryNamePrefixLength);
  for (int attempt = 0; attempt < kMaximumNameAttempts; ++attempt) {
    std::string candidate = join(folder, "." + name + "." + randomSuffix());
    ScopedFd fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid()) return std::pair<ScopedFd, std::string>(std::move(fd), std::move(candidate));
    if (errno != EEXIST) return writeError(errno, path);
  }
  return writeError(EEXIST, path);
}

// Renames without replacing. Without RENAME_NOREPLACE a hard link keeps
// that promise for files; a folder only has the check before the rename.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Makes a rename in `folder` survive a power cut; a failure only loses that.
void syncFolder(const std::string& folder) {
  ScopedFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

Expected<void> writeAtomically(const std::string& path, std::span<const std::uint8_t> contents,
                               const FileAttributeChanges& attributes, bool withoutOverwriting) {
  auto sibling = createSibling(path);
  if (!sibling) return sibling.error();
  auto& [fd, temporary] = *sibling;
  auto written = writeAndClose(fd, contents, attributes, path, true);
  int failure = 0;
  if (written) {
    failure = withoutOverwriting ? renameWithoutReplacing(temporary, path)
                                 : (::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno);
  }
  if (!written || failure != 0) {
    ::unlink(temporary.c_str());
    if (!written) return written;
    return writeError(failure, path);
  }
  syncFolder(parentPath(path));
  return success();
}

// ---------------------------------------------------------------------------
// Copying

struct Side {
  int folder;            // AT_FDCWD for a whole path
  const char* name;      // relative to `folder`
  const std::string& path;
};

// Copies the bytes; the failing side's error.
Expected<void> copyData(int from, int to, const std::string& fromPath, const std::string& toPath) {
  bool useRange = true;
  std::vector<std::uint8_t> buffer;
  for (;;) {
    if (useRange) {
      ssize_t count = ::copy_file_range(from, nullptr, to, nullptr, kCopyChunkSize, 0);
      if (count > 0) continue;
      if (count == 0) return success();
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
        return writeError(errno, toPath);
      }
      // Not offered between these files: plain reads and writes from here on.
      useRange = false;
      buffer.resize(kCopyChunkSize);
    }
    ssize_t count = ::read(from, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return readError(errno, fromPath);
    if (count == 0) return success();
    if (int failure = writeAll(to, std::span(buffer.data(), static_cast<std::size_t>(count))); failure != 0) {
      return writeError(failure, toPath);
    }
  }
}

// Permissions, user attributes and times of an open copy, from its source.
Expected<void> finishCopy(int from, int to, const struct stat& source, const std::string& path) {
  if (int failure = ExtendedAttributes::copyAll(from, to); failure != 0) return writeError(failure, path);
  if (::fchmod(to, source.st_mode & 07777) != 0) return writeError(errno, path);
  const timespec times[2] = {source.st_atim, source.st_mtim};
  if (::futimens(to, times) != 0) return writeError(errno, path);
  return success();
}

Expected<void> copyTree(const Side& from, const Side& to, const struct stat& source);

Expected<void> copyRegularFile(const Side& from, const Side& to, const struct stat& source) {
  ScopedFd input(::openat(from.folder, from.name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!input.valid()) return readError(errno, from.path);
  ScopedFd output(::openat(to.folder, to.name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!output.valid()) return writeError(errno, to.path);
  if (auto copied = copyData(input.get(), output.get(), from.path, to.path); !copied) return copied;
  if (auto finished = finishCopy(input.get(), output.get(), source, to.path); !finished) return finished;
  if (int failure = output.close(); failure != 0) return writeError(failure, to.path);
  return success();
}

Expected<void> copySymbolicLink(const Side& from, const Side& to, const struct stat& source) {
  std::vector<char> target(static_cast<std::size_t>(std::max<off_t>(source.st_size, 0)) + 1);
  for (;;) {
    ssize_t length = ::readlinkat(from.folder, from.name, target.data(), target.size());
    if (length < 0) return readError(errno, from.path);
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      break;
    }
    target.resize(target.size() * 2);
  }
  target.push_back('\0');
  if (::symlinkat(target.data(), to.folder, to.name) != 0) return writeError(errno, to.path);
  const timespec times[2] = {source.st_atim, source.st_mtim};
  if (::utimensat(to.folder, to.name, times, AT_SYMLINK_NOFOLLOW) != 0) return writeError(errno, to.path);
  return success();
}

Expected<void> copySpecialFile(const Side& from, const Side& to, const struct stat& source) {
  const bool node = S_ISFIFO(source.st_mode) || S_ISCHR(source.st_mode) || S_ISBLK(source.st_mode);
  // A socket is a live endpoint, not content.
  if (!node) return readError(EOPNOTSUPP, from.path);
  if (::mknodat(to.folder, to.name, source.st_mode, source.st_rdev) != 0) return writeError(errno, to.path);
  const timespec times[2] = {source.st_atim, source.st_mtim};
  if (::utimensat(to.folder, to.name, times, AT_SYMLINK_NOFOLLOW) != 0) return writeError(errno, to.path);
  return success();
}

Expected<void> copyEntry(const Side& from, const Side& to, const struct stat& source) {
  if (S_ISREG(source.st_mode)) return copyRegularFile(from, to, source);
  if (S_ISLNK(source.st_mode)) return copySymbolicLink(from, to, source);
  if (S_ISDIR(source.st_mode)) return copyTree(from, to, source);
  return copySpecialFile(from, to, source);
}

// The folder is made private first and gets its own permissions last, so a
// read-only source folder can still be filled.
Expected<void> copyTree(const Side& from, const Side& to, const struct stat& source) {
  ScopedFd input(::openat(from.folder, from.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!input.valid()) return readError(errno, from.path);
  if (::mkdirat(to.folder, to.name, 0700) != 0) return writeError(errno, to.path);
  ScopedFd output(::openat(to.folder, to.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!output.valid()) return writeError(errno, to.path);
  std::vector<DirectoryEntry> entries;
  if (int failure = readDirectory(input.get(), entries); failure != 0) return readError(failure, from.path);
  for (const auto& entry : entries) {
    const std::string fromPath = join(from.path, entry.name);
    const std::string toPath = join(to.path, entry.name);
    struct stat info {};
    if (::fstatat(input.get(), entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return readError(errno, fromPath);
    }
    auto copied = copyEntry({input.get(), entry.name.c_str(), fromPath}, {output.get(), entry.name.c_str(), toPath},
                            info);
    if (!copied) return copied;
  }
  return finishCopy(input.get(), output.get(), source, to.path);
}

// Whether `destination` would land inside the folder `source` (itself
// included), where a deep copy would never end.
bool isInside(const std::string& source, const std::string& destination) {
  char* sourceReal = ::realpath(source.c_str(), nullptr);
  char* parentReal = ::realpath(parentPath(destination).c_str(), nullptr);
  bool inside = false;
  if (sourceReal && parentReal) {
    std::string_view folder(sourceReal);
    std::string_view parent(parentReal);
    inside = parent == folder || (parent.starts_with(folder) && (folder == "/" || parent[folder.size()] == '/'));
  }
  std::free(sourceReal);
  std::free(parentReal);
  return inside;
}

// ---------------------------------------------------------------------------
// Removing

// Removes `name` in `folder`, descending without following links; a folder
// swapped for a link or file meanwhile is unlinked, never entered.
Expected<void> removeEntry(int folder, const char* name, const std::string& path, bool isDirectory) {
  if (!isDirectory) {
    if (::unlinkat(folder, name, 0) == 0 || errno == ENOENT) return success();
    if (errno != EISDIR && errno != EPERM) return writeError(errno, path);
  }
  ScopedFd contents(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!contents.valid()) {
    if (errno == ENOENT) return success();
    if (errno != ENOTDIR && errno != ELOOP) return writeError(errno, path);
    if (::unlinkat(folder, name, 0) != 0 && errno != ENOENT) return writeError(errno, path);
    return success();
  }
  std::vector<DirectoryEntry> entries;
  if (int failure = readDirectory(contents.get(), entries); failure != 0) return writeError(failure, path);
  for (const auto& entry : entries) {
    auto removed = removeEntry(contents.get(), entry.name.c_str(), join(path, entry.name), entry.isDirectory);
    if (!removed) return removed;
  }
  contents.reset();
  if (::unlinkat(folder, name, AT_REMOVEDIR) != 0 && errno != ENOENT) return writeError(errno, path);
  return success();
}

// ---------------------------------------------------------------------------
// Replacing

bool isUsableItemName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool exchangeUnsupported(int posixError) {
  return posixError == EINVAL || posixError == ENOSYS || posixError == EOPNOTSUPP;
}

// One replacement's paths and progress. Steps are reported to the test hook
// right after they take effect.
class ItemReplacement {
 public:
  ItemReplacement(std::string original, std::string replacement, ItemReplacementOptions options,
                  const ItemReplacementTesting* testing)
      : original_(std::move(original)),
        replacement_(std::move(replacement)),
        parent_(parentPath(original_)),
        options_(options),
        testing_(testing) {}

  Expected<void> run(const std::optional<std::string>& backupItemName) {
    struct stat replacementInfo {};
    if (::lstat(replacement_.c_str(), &replacementInfo) != 0) return writeError(errno, replacement_);
    struct stat originalInfo {};
    if (::lstat(original_.c_str(), &originalInfo) != 0) {
      if (errno != ENOENT) return writeError(errno, original_);
      return FileManager::defaultManager().moveItemAtPath(replacement_, original_);
    }
    // Exchanging an item with itself would leave nothing once the "old" one
    // is removed.
    if (replacementInfo.st_dev == originalInfo.st_dev && replacementInfo.st_ino == originalInfo.st_ino) {
      return writeError(EINVAL, replacement_);
    }
    if (auto prepared = prepareBackup(backupItemName); !prepared) return prepared;
    if (replacementInfo.st_dev != originalInfo.st_dev) {
      if (auto staged = stage(); !staged) return staged;
    }
    if (auto merged = mergeMetadata(originalInfo, replacementInfo); !merged) return merged;
    bool exchangeAllowed = !testing_ || !testing_->withoutExchange;
    if (exchangeAllowed &&
        ::renameat2(AT_FDCWD, replacement_.c_str(), AT_FDCWD, original_.c_str(), RENAME_EXCHANGE) == 0) {
      step(ItemReplacementStep::exchanged);
      return finishExchange();
    }
    if (exchangeAllowed && !exchangeUnsupported(errno)) return discardStaging(writeError(errno, original_));
    if (S_ISDIR(originalInfo.st_mode) || S_ISDIR(replacementInfo.st_mode)) return replaceFolder();
    return replaceFile();
  }

 private:
  void step(ItemReplacementStep done) const {
    if (testing_ && testing_->afterStep) testing_->afterStep(done);
  }

  bool keepsBackup() const { return backup_.has_value() && options_.withoutDeletingBackupItem; }

  Expected<void> prepareBackup(const std::optional<std::string>& name) {
    if (!name) return success();
    const std::string path = join(parent_, *name);
    if (!isUsableItemName(*name) || path == original_ || path == replacement_) return writeError(EINVAL, path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
      if (auto removed = FileManager::defaultManager().removeItemAtPath(path); !removed) return removed;
      step(ItemReplacementStep::staleBackupRemoved);
    }
    backup_ = path;
    return success();
  }

  // Renames only work within one file system: the new item is copied beside
  // the original first.
  Expected<void> stage() {
    auto folder = FileManager::defaultManager().itemReplacementDirectoryAppropriateForURL(
        *URL::fileURLWithPath(original_));
    if (!folder) return folder.error();
    stagingFolder_ = (*folder)->path();
    const std::string staged = join(*stagingFolder_, lastComponent(replacement_));
    if (auto copied = FileManager::defaultManager().copyItemAtPath(replacement_, staged); !copied) {
      return discardStaging(copied.error());
    }
    consumed_ = std::exchange(replacement_, staged);
    step(ItemReplacementStep::staged);
    return success();
  }

  Expected<void> mergeMetadata(const struct stat& original, const struct stat& replacement) {
    if (options_.usingNewMetadataOnly || S_ISLNK(original.st_mode) || S_ISLNK(replacement.st_mode)) return success();
    if (::chmod(replacement_.c_str(), original.st_mode & 07777) != 0) {
      return discardStaging(writeError(errno, replacement_));
    }
    step(ItemReplacementStep::metadataMerged);
    return success();
  }

  // The exchange left the old item where the new one was.
  Expected<void> finishExchange() {
    if (backup_) {
      if (int failure = renameWithoutReplacing(replacement_, *backup_); failure != 0) {
        // No backup, no replacement: swap the old item back.
        ::renameat2(AT_FDCWD, replacement_.c_str(), AT_FDCWD, original_.c_str(), RENAME_EXCHANGE);
        return discardStaging(writeError(failure, *backup_));
      }
      step(ItemReplacementStep::backupMoved);
      if (!keepsBackup()) removeOldItem(*backup_);
    } else {
      removeOldItem(replacement_);
    }
    finishStaging();
    return success();
  }

  // A file (or link) over a file: one atomic rename, with a hard link as the
  // backup so the old contents are never only in flight.
  Expected<void> replaceFile() {
    if (backup_) {
      if (::link(original_.c_str(), backup_->c_str()) != 0) {
        auto copied = FileManager::defaultManager().copyItemAtPath(original_, *backup_);
        if (!copied) return discardStaging(copied.error());
      }
      step(ItemReplacementStep::backupLinked);
    }
    if (::rename(replacement_.c_str(), original_.c_str()) != 0) {
      int failure = errno;
      if (backup_) ::unlink(backup_->c_str());
      return discardStaging(writeError(failure, original_));
    }
    step(ItemReplacementStep::renamedIntoPlace);
    if (backup_ && !keepsBackup()) removeOldItem(*backup_);
    finishStaging();
    return success();
  }

  // A folder cannot be renamed over a full folder: it moves aside first. This
  // is the one moment the original path is empty, and the old folder is then
  // under the backup name (or a hidden one) beside it.
  Expected<void> replaceFolder() {
    const std::string aside = backup_ ? *backup_ : join(parent_, std::string(kReplacedItemPrefix) + randomSuffix());
    if (int failure = renameWithoutReplacing(original_, aside); failure != 0) {
      return discardStaging(writeError(failure, original_));
    }
    step(ItemReplacementStep::originalMovedAside);
    if (::rename(replacement_.c_str(), original_.c_str()) != 0) {
      int failure = errno;
      ::rename(aside.c_str(), original_.c_str());
      return discardStaging(writeError(failure, original_));
    }
    step(ItemReplacementStep::renamedIntoPlace);
    if (!keepsBackup()) removeOldItem(aside);
    finishStaging();
    return success();
  }

  // The new item is already in place; an old item that resists removal stays
  // behind where it is rather than failing a replacement that took effect.
  void removeOldItem(const std::string& path) {
    (void)FileManager::defaultManager().removeItemAtPath(path);
    step(ItemReplacementStep::oldItemRemoved);
  }

  void finishStaging() {
    if (!stagingFolder_) return;
    (void)FileManager::defaultManager().removeItemAtPath(*stagingFolder_);
    // The caller's new item was copied, not moved; consuming it is the last step.
    (void)FileManager::defaultManager().removeItemAtPath(consumed_);
    step(ItemReplacementStep::stagedItemRemoved);
  }

  Error discardStaging(Error error) {
    if (stagingFolder_) (void)FileManager::defaultManager().removeItemAtPath(*stagingFolder_);
    return error;
  }

  const std::string original_;
  std::string replacement_;
  const std::string parent_;
  const ItemReplacementOptions options_;
  const ItemReplacementTesting* const testing_;
  std::optional<std::string> backup_;
  std::optional<std::string> stagingFolder_;
  std::string consumed_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Errors

Error fileErrorWithPOSIXError(int posixError, FileOperation operation, std::string_view path) {
  std::int64_t code = 0;
  if (operation == FileOperation::read) {
    switch (posixError) {
      case ENOENT:
      case ENOTDIR:
        code = NSFileReadNoSuchFileError;
        break;
      case EACCES:
      case EPERM:
        code = NSFileReadNoPermissionError;
        break;
      case ENAMETOOLONG:
        code = NSFileReadInvalidFileNameError;
        break;
      case EFBIG:
        code = NSFileReadTooLargeError;
        break;
      default:
        code = NSFileReadUnknownError;
    }
  } else {
    switch (posixError) {
      case ENOENT:
      case ENOTDIR:
        code = NSFileNoSuchFileError;
        break;
      case EACCES:
      case EPERM:
        code = NSFileWriteNoPermissionError;
        break;
      case ENAMETOOLONG:
        code = NSFileWriteInvalidFileNameError;
        break;
      case EEXIST:
      case ENOTEMPTY:
        code = NSFileWriteFileExistsError;
        break;
      case ENOSPC:
      case EDQUOT:
        code = NSFileWriteOutOfSpaceError;
        break;
      case EROFS:
        code = NSFileWriteVolumeReadOnlyError;
        break;
      default:
        code = NSFileWriteUnknownError;
    }
  }
  return Error(NSCocoaErrorDomain, code,
               {{Value(NSFilePathErrorKey), Value(path)},
                {Value(NSUnderlyingErrorKey), Value(Error(NSPOSIXErrorDomain, posixError))}});
}

std::optional<int> posixErrorCode(const Error& error) {
  std::optional<Error> current = error;
  // Chains are short; the bound only guards against a pathological one.
  for (int depth = 0; current && depth < 8; ++depth) {
    if (current->domain() == NSPOSIXErrorDomain) return static_cast<int>(current->code());
    current = current->underlyingError();
  }
  return std::nullopt;
}

std::shared_ptr<Dictionary> FileAttributes::dictionary() const {
  std::vector<Dictionary::Entry> entries = {
      {Value(NSFileType), Value(fileTypeName(type))},
      {Value(NSFileSize), Value(size)},
      {Value(NSFilePosixPermissions), Value(posixPermissions)},
      {Value(NSFileOwnerAccountID), Value(ownerAccountID)},
      {Value(NSFileGroupOwnerAccountID), Value(groupOwnerAccountID)},
      {Value(NSFileReferenceCount), Value(referenceCount)},
      {Value(NSFileSystemNumber), Value(systemNumber)},
      {Value(NSFileSystemFileNumber), Value(systemFileNumber)},
  };
  if (ownerAccountName) entries.emplace_back(Value(NSFileOwnerAccountName), Value(*ownerAccountName));
  if (groupOwnerAccountName) entries.emplace_back(Value(NSFileGroupOwnerAccountName), Value(*groupOwnerAccountName));
  if (creationDate) entries.emplace_back(Value(NSFileCreationDate), Value(creationDate));
  if (modificationDate) entries.emplace_back(Value(NSFileModificationDate), Value(modificationDate));
  return Dictionary::make(std::move(entries));
}

// ---------------------------------------------------------------------------
// DirectoryEnumerator

struct DirectoryEnumerator::Frame {
  std::string path;
  std::vector<DirectoryEntry> entries;
  std::size_t next = 0;
};

DirectoryEnumerator::DirectoryEnumerator(std::string rootPath, DirectoryEnumerationOptions options,
                                         ErrorHandler errorHandler)
    : options_(options), errorHandler_(std::move(errorHandler)), pending_(std::move(rootPath)) {}

DirectoryEnumerator::DirectoryEnumerator(DirectoryEnumerator&&) noexcept = default;
DirectoryEnumerator& DirectoryEnumerator::operator=(DirectoryEnumerator&&) noexcept = default;
DirectoryEnumerator::~DirectoryEnumerator() = default;

std::shared_ptr<URL> DirectoryEnumerator::nextObject() {
  if (pending_ && !stopped_) enter(*std::exchange(pending_, std::nullopt));
  while (!frames_.empty() && !stopped_) {
    Frame& frame = frames_.back();
    if (frame.next == frame.entries.size()) {
      frames_.pop_back();
      continue;
    }
    const DirectoryEntry& entry = frame.entries[frame.next++];
    if (options_.skipsHiddenFiles && isHidden(entry.name)) continue;
    std::string path = join(frame.path, entry.name);
    level_ = frames_.size();
    bool descend = entry.isDirectory && !options_.skipsSubdirectoryDescendants &&
                   !(options_.skipsPackageDescendants && isPackage(entry.name));
    if (descend) pending_ = path;
    return URL::fileURLWithPath(path, entry.isDirectory);
  }
  return nullptr;
}

void DirectoryEnumerator::skipDescendants() { pending_.reset(); }

std::size_t DirectoryEnumerator::level() const { return level_; }

// The root may be a link to a folder; folders below are entered only as
// themselves.
bool DirectoryEnumerator::enter(const std::string& path) {
  const int noFollow = frames_.empty() ? 0 : O_NOFOLLOW;
  ScopedFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow));
  if (!folder.valid()) return report(path, errno);
  Frame frame{path, {}, 0};
  if (int failure = readDirectory(folder.get(), frame.entries); failure != 0) return report(path, failure);
  frames_.push_back(std::move(frame));
  return true;
}

bool DirectoryEnumerator::report(const std::string& path, int posixError) {
  if (!errorHandler_) return true;
  if (!errorHandler_(*URL::fileURLWithPath(path), readError(posixError, path))) stopped_ = true;
  return !stopped_;
}

// ---------------------------------------------------------------------------
// FileManager

FileManager& FileManager::defaultManager() {
  static FileManager manager;
  return manager;
}

Expected<void> FileManager::createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                                  const FileAttributeChanges& attributes) const {
  const std::string target = trimmed(cPath(path));
  if (target.empty()) return writeError(ENOENT, target);
  const mode_t mode = attributes.posixPermissions ? (*attributes.posixPermissions & 0777) : 0777;
  if (!withIntermediateDirectories) {
    if (::mkdir(target.c_str(), mode) != 0) return writeError(errno, target);
    return applyToPath(attributes, target);
  }
  // The missing folders, deepest first.
  std::vector<std::string> missing;
  for (std::string folder = target;; folder = parentPath(folder)) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) return writeError(missing.empty() ? EEXIST : ENOTDIR, folder);
      break;
    }
    if (errno != ENOENT) return writeError(errno, folder);
    missing.push_back(folder);
    if (folder == "/" || folder == ".") break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), mode) != 0) {
      struct stat info {};
      // Made by someone else meanwhile: theirs, and fine.
      if (errno == EEXIST && ::stat(it->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
      return writeError(errno, *it);
    }
    if (auto applied = applyToPath(attributes, *it); !applied) return applied;
  }
  return success();
}

Expected<void> FileManager::createDirectoryAtURL(const URL& url, bool withIntermediateDirectories,
                                                 const FileAttributeChanges& attributes) const {
  FND_PARAMETER_ASSERT(url.isFileURL());
  return createDirectoryAtPath(url.path(), withIntermediateDirectories, attributes);
}

Expected<void> FileManager::createFileAtPath(std::string_view path, std::span<const std::uint8_t> contents,
                                             const FileAttributeChanges& attributes,
                                             FileWritingOptions options) const {
  const std::string target = cPath(path);
  if (options.atomic) return writeAtomically(target, contents, attributes, options.withoutOverwriting);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (options.withoutOverwriting ? O_EXCL : O_TRUNC);
  ScopedFd fd(::open(target.c_str(), flags, 0666));
  if (!fd.valid()) return writeError(errno, target);
  return writeAndClose(fd, contents, attributes, target, false);
}

Expected<std::vector<std::uint8_t>> FileManager::contentsAtPath(std::string_view path) const {
  const std::string target = cPath(path);
  ScopedFd fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return readError(errno, target);
  std::vector<std::uint8_t> contents;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) contents.reserve(static_cast<std::size_t>(info.st_size));
  std::array<std::uint8_t, 64 * 1024> buffer{};
  for (;;) {
    ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return readError(errno, target);
    if (count == 0) return contents;
    contents.insert(contents.end(), buffer.begin(), buffer.begin() + count);
  }
}

Expected<void> FileManager::createSymbolicLinkAtPath(std::string_view path, std::string_view destination) const {
  const std::string link = cPath(path);
  if (::symlink(cPath(destination).c_str(), link.c_str()) != 0) return writeError(errno, link);
  return success();
}

Expected<std::string> FileManager::destinationOfSymbolicLinkAtPath(std::string_view path) const {
  const std::string link = cPath(path);
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) return readError(errno, link);
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

Expected<void> FileManager::moveItemAtPath(std::string_view source, std::string_view destination) const {
  const std::string from = cPath(source);
  const std::string to = cPath(destination);
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) return writeError(errno, from);
  int failure = renameWithoutReplacing(from, to);
  if (failure == 0) return success();
  if (failure != EXDEV) {
    const bool destinationFault = failure == EEXIST || failure == ENOTEMPTY || failure == ENOENT || failure == ENOTDIR;
    return writeError(failure, destinationFault ? to : from);
  }
  if (auto copied = copyItemAtPath(from, to); !copied) return copied;
  // The copy is complete; a source that cannot be removed stays as well, and
  // the caller hears why.
  return removeItemAtPath(from);
}

Expected<void> FileManager::moveItemAtURL(const URL& source, const URL& destination) const {
  FND_PARAMETER_ASSERT(source.isFileURL() && destination.isFileURL());
  return moveItemAtPath(source.path(), destination.path());
}

Expected<void> FileManager::copyItemAtPath(std::string_view source, std::string_view destination) const {
  const std::string from = trimmed(cPath(source));
  const std::string to = trimmed(cPath(destination));
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) return readError(errno, from);
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) return writeError(EEXIST, to);
  if (S_ISDIR(info.st_mode) && isInside(from, to)) return writeError(EINVAL, to);
  auto copied = copyEntry({AT_FDCWD, from.c_str(), from}, {AT_FDCWD, to.c_str(), to}, info);
  if (copied) return copied;
  // An item that appeared meanwhile is someone else's; anything else at the
  // destination is a half copy, of no use to anyone.
  const bool lostRace = posixErrorCode(copied.error()) == EEXIST &&
                        copied.error().userInfoValue(NSFilePathErrorKey).stringValue() == to;
  if (!lostRace && ::lstat(to.c_str(), &existing) == 0) (void)removeItemAtPath(to);
  return copied;
}

Expected<void> FileManager::copyItemAtURL(const URL& source, const URL& destination) const {
  FND_PARAMETER_ASSERT(source.isFileURL() && destination.isFileURL());
  return copyItemAtPath(source.path(), destination.path());
}

Expected<void> FileManager::removeItemAtPath(std::string_view path) const {
  const std::string target = trimmed(cPath(path));
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) return writeError(errno, target);
  return removeEntry(AT_FDCWD, target.c_str(), target, S_ISDIR(info.st_mode));
}

Expected<void> FileManager::removeItemAtURL(const URL& url) const {
  FND_PARAMETER_ASSERT(url.isFileURL());
  return removeItemAtPath(url.path());
}

Expected<std::shared_ptr<URL>> FileManager::replaceItemAtURL(const URL& original, const URL& newItem,
                                                             const std::optional<std::string>& backupItemName,
                                                             ItemReplacementOptions options) const {
  return replaceItem(original, newItem, backupItemName, options, nullptr);
}

Expected<std::shared_ptr<URL>> FileManager::replaceItemAtURLForTesting(
    const URL& original, const URL& newItem, const std::optional<std::string>& backupItemName,
    ItemReplacementOptions options, const ItemReplacementTesting& testing) const {
  return replaceItem(original, newItem, backupItemName, options, &testing);
}

Expected<std::shared_ptr<URL>> FileManager::replaceItem(const URL& original, const URL& newItem,
                                                        const std::optional<std::string>& backupItemName,
                                                        ItemReplacementOptions options,
                                                        const ItemReplacementTesting* testing) const {
  FND_PARAMETER_ASSERT(original.isFileURL() && newItem.isFileURL());
  const std::string originalPath = trimmed(cPath(original.path()));
  ItemReplacement replacement(originalPath, trimmed(cPath(newItem.path())), options, testing);
  if (auto replaced = replacement.run(backupItemName); !replaced) return replaced.error();
  bool isDirectory = false;
  fileExistsAtPath(originalPath, &isDirectory);
  return URL::fileURLWithPath(originalPath, isDirectory);
}

bool FileManager::fileExistsAtPath(std::string_view path) const { return fileExistsAtPath(path, nullptr); }

bool FileManager::fileExistsAtPath(std::string_view path, bool* isDirectory) const {
  struct stat info {};
  const bool exists = ::stat(cPath(path).c_str(), &info) == 0;
  if (isDirectory) *isDirectory = exists && S_ISDIR(info.st_mode);
  return exists;
}

Expected<std::vector<std::string>> FileManager::contentsOfDirectoryAtPath(std::string_view path) const {
  const std::string folder = cPath(path);
  ScopedFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return readError(errno, folder);
  std::vector<DirectoryEntry> entries;
  if (int failure = readDirectory(fd.get(), entries); failure != 0) return readError(failure, folder);
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (auto& entry : entries) names.push_back(std::move(entry.name));
  return names;
}

Expected<std::vector<std::shared_ptr<URL>>> FileManager::contentsOfDirectoryAtURL(
    const URL& url, DirectoryEnumerationOptions options) const {
  FND_PARAMETER_ASSERT(url.isFileURL());
  const std::string folder = cPath(url.path());
  ScopedFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return readError(errno, folder);
  std::vector<DirectoryEntry> entries;
  if (int failure = readDirectory(fd.get(), entries); failure != 0) return readError(failure, folder);
  std::vector<std::shared_ptr<URL>> urls;
  for (const auto& entry : entries) {
    if (options.skipsHiddenFiles && isHidden(entry.name)) continue;
    urls.push_back(URL::fileURLWithPath(join(folder, entry.name), entry.isDirectory));
  }
  return urls;
}

DirectoryEnumerator FileManager::enumeratorAtURL(const URL& url, DirectoryEnumerationOptions options,
                                                 DirectoryEnumerator::ErrorHandler errorHandler) const {
  FND_PARAMETER_ASSERT(url.isFileURL());
  return DirectoryEnumerator(trimmed(cPath(url.path())), options, std::move(errorHandler));
}

Expected<FileAttributes> FileManager::attributesOfItemAtPath(std::string_view path) const {
  const std::string target = cPath(path);
  struct statx info {};
  if (::statx(AT_FDCWD, target.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
    return readError(errno, target);
  }
  FileAttributes attributes;
  attributes.type = fileTypeOfMode(info.stx_mode);
  attributes.size = info.stx_size;
  attributes.posixPermissions = static_cast<std::uint16_t>(info.stx_mode & 07777);
  attributes.ownerAccountID = info.stx_uid;
  attributes.groupOwnerAccountID = info.stx_gid;
  attributes.ownerAccountName = accountName<passwd>([&](passwd* entry, char* buffer, std::size_t size, passwd** found) {
    return ::getpwuid_r(info.stx_uid, entry, buffer, size, found);
  });
  attributes.groupOwnerAccountName = accountName<group>([&](group* entry, char* buffer, std::size_t size, group** found) {
    return ::getgrgid_r(info.stx_gid, entry, buffer, size, found);
  });
  if (info.stx_mask & STATX_BTIME) attributes.creationDate = dateOfTimestamp(info.stx_btime);
  attributes.modificationDate = dateOfTimestamp(info.stx_mtime);
  attributes.referenceCount = info.stx_nlink;
  attributes.systemNumber = makedev(info.stx_dev_major, info.stx_dev_minor);
  attributes.systemFileNumber = info.stx_ino;
  return attributes;
}

Expected<void> FileManager::setAttributes(const FileAttributeChanges& attributes, std::string_view path) const {
  return applyToPath(attributes, cPath(path));
}

std::shared_ptr<URL> FileManager::temporaryDirectory() const {
  return URL::fileURLWithPath(SearchPaths::path(SearchPathLocation::temporary), true);
}

Expected<std::shared_ptr<URL>> FileManager::createUniqueTemporaryDirectory() const {
  const std::string folder = SearchPaths::path(SearchPathLocation::temporary);
  std::string pattern = join(folder, "korvia-XXXXXX");
  if (!::mkdtemp(pattern.data())) return writeError(errno, folder);
  return URL::fileURLWithPath(pattern, true);
}

Expected<std::shared_ptr<URL>> FileManager::itemReplacementDirectoryAppropriateForURL(const URL& url) const {
  FND_PARAMETER_ASSERT(url.isFileURL());
  const std::string parent = parentPath(cPath(url.path()));
  struct stat parentInfo {};
  if (::stat(parent.c_str(), &parentInfo) != 0) return writeError(errno, parent);
  std::string pattern = join(parent, std::string(kReplacementDirectoryPrefix) + "XXXXXX");
  if (::mkdtemp(pattern.data())) return URL::fileURLWithPath(pattern, true);
  const int failure = errno;
  if (failure == EACCES || failure == EPERM || failure == EROFS) {
    const std::string temporary = SearchPaths::path(SearchPathLocation::temporary);
    struct stat temporaryInfo {};
    if (::stat(temporary.c_str(), &temporaryInfo) == 0 && temporaryInfo.st_dev == parentInfo.st_dev) {
      std::string fallback = join(temporary, std::string(kReplacementDirectoryPrefix) + "XXXXXX");
      if (::mkdtemp(fallback.data())) return URL::fileURLWithPath(fallback, true);
    }
  }
  return writeError(failure, parent);
}

}  // namespace fnd
