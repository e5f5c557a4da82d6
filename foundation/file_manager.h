#pragma once

// The file manager: creating, copying, moving, replacing and removing items,
// reading their attributes, listing folders and making temporary folders, on
// POSIX calls. Failures are errors of "NSCocoaErrorDomain" with the
// platform's file codes, the POSIX error under NSUnderlyingErrorKey and,
// under NSFilePathErrorKey, the path the failing call was about (for a deep
// copy or removal, the item inside the tree).
//
// The file manager holds no state: it may be used from any thread, and every
// call runs to completion on the caller's thread.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/expected.h"
#include "foundation/url.h"

namespace fnd {

// File-system codes of "NSCocoaErrorDomain".
inline constexpr std::int64_t NSFileNoSuchFileError = 4;
inline constexpr std::int64_t NSFileLockingError = 255;
inline constexpr std::int64_t NSFileReadUnknownError = 256;
inline constexpr std::int64_t NSFileReadNoPermissionError = 257;
inline constexpr std::int64_t NSFileReadInvalidFileNameError = 258;
inline constexpr std::int64_t NSFileReadCorruptFileError = 259;
inline constexpr std::int64_t NSFileReadNoSuchFileError = 260;
inline constexpr std::int64_t NSFileReadTooLargeError = 263;
inline constexpr std::int64_t NSFileWriteUnknownError = 512;
inline constexpr std::int64_t NSFileWriteNoPermissionError = 513;
inline constexpr std::int64_t NSFileWriteInvalidFileNameError = 514;
inline constexpr std::int64_t NSFileWriteFileExistsError = 516;
inline constexpr std::int64_t NSFileWriteOutOfSpaceError = 640;
inline constexpr std::int64_t NSFileWriteVolumeReadOnlyError = 642;

// Keys of an attribute dictionary, and the values of NSFileType.
inline constexpr std::string_view NSFileType = "NSFileType";
inline constexpr std::string_view NSFileSize = "NSFileSize";
inline constexpr std::string_view NSFileModificationDate = "NSFileModificationDate";
inline constexpr std::string_view NSFileCreationDate = "NSFileCreationDate";
inline constexpr std::string_view NSFilePosixPermissions = "NSFilePosixPermissions";
inline constexpr std::string_view NSFileOwnerAccountID = "NSFileOwnerAccountID";
inline constexpr std::string_view NSFileGroupOwnerAccountID = "NSFileGroupOwnerAccountID";
inline constexpr std::string_view NSFileOwnerAccountName = "NSFileOwnerAccountName";
inline constexpr std::string_view NSFileGroupOwnerAccountName = "NSFileGroupOwnerAccountName";
inline constexpr std::string_view NSFileReferenceCount = "NSFileReferenceCount";
inline constexpr std::string_view NSFileSystemNumber = "NSFileSystemNumber";
inline constexpr std::string_view NSFileSystemFileNumber = "NSFileSystemFileNumber";
inline constexpr std::string_view NSFileTypeRegular = "NSFileTypeRegular";
inline constexpr std::string_view NSFileTypeDirectory = "NSFileTypeDirectory";
inline constexpr std::string_view NSFileTypeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr std::string_view NSFileTypeCharacterSpecial = "NSFileTypeCharacterSpecial";
inline constexpr std::string_view NSFileTypeBlockSpecial = "NSFileTypeBlockSpecial";
inline constexpr std::string_view NSFileTypeSocket = "NSFileTypeSocket";
inline constexpr std::string_view NSFileTypeUnknown = "NSFileTypeUnknown";

// Whether a failed POSIX call was reading or writing: the same errno means a
// different Cocoa code on each side (ENOENT is 260 for a read, 4 for a write).
enum class FileOperation { read, write };

// The Cocoa error for a failed POSIX call on `path`:
//   read:  ENOENT, ENOTDIR 260; EACCES, EPERM 257; ENAMETOOLONG 258;
//          EFBIG 263; otherwise 256.
//   write: ENOENT, ENOTDIR 4; EACCES, EPERM 513; ENAMETOOLONG 514;
//          EEXIST, ENOTEMPTY 516; ENOSPC, EDQUOT 640; EROFS 642;
//          otherwise 512.
Error fileErrorWithPOSIXError(int posixError, FileOperation operation, std::string_view path);

// The POSIX error code an error carries, itself or as its underlying error.
std::optional<int> posixErrorCode(const Error& error);

enum class FileType { regular, directory, symbolicLink, characterSpecial, blockSpecial, socket, unknown };

// What attributesOfItemAtPath reads. A symbolic link describes itself.
struct FileAttributes {
  FileType type = FileType::unknown;
  std::uint64_t size = 0;
  // The permission bits with set-user-ID, set-group-ID and sticky (07777).
  std::uint16_t posixPermissions = 0;
  uid_t ownerAccountID = 0;
  gid_t groupOwnerAccountID = 0;
  // Absent when the user or group database has no entry.
  std::optional<std::string> ownerAccountName;
  std::optional<std::string> groupOwnerAccountName;
  // Null when the file system does not record when an item was made.
  std::shared_ptr<Date> creationDate;
  std::shared_ptr<Date> modificationDate;
  std::uint64_t referenceCount = 0;
  std::uint64_t systemNumber = 0;
  std::uint64_t systemFileNumber = 0;

  // The attributes under the platform's keys (NSFileSize, ...).
  std::shared_ptr<Dictionary> dictionary() const;
};

// What setAttributes and the creating operations write; unset members are
// left alone.
struct FileAttributeChanges {
  std::optional<std::uint16_t> posixPermissions = std::nullopt;
  std::shared_ptr<Date> modificationDate = nullptr;
  std::optional<uid_t> ownerAccountID = std::nullopt;
  std::optional<gid_t> groupOwnerAccountID = std::nullopt;
};

struct FileWritingOptions {
  // Write beside the target and rename over it, so readers see the old
  // contents or the new, never a part.
  bool atomic = true;
  // Fail with 516 when something already exists at the path.
  bool withoutOverwriting = false;
};

struct DirectoryEnumerationOptions {
  // Only the folder's own items.
  bool skipsSubdirectoryDescendants = false;
  // Packages (.app, .bundle, .framework, ...) are listed but not entered.
  bool skipsPackageDescendants = false;
  // Names that begin with "." are neither listed nor entered.
  bool skipsHiddenFiles = false;
};

struct ItemReplacementOptions {
  // The replacement keeps its own permissions instead of taking the
  // original's.
  bool usingNewMetadataOnly = false;
  // The backup named in the call stays after success.
  bool withoutDeletingBackupItem = false;
};

// The steps of an item replacement, for tests that stop the process after
// each one in turn.
enum class ItemReplacementStep {
  staleBackupRemoved,   // an old item under the backup name is gone
  staged,               // a new item from another file system was copied beside the original
  metadataMerged,       // the new item carries the original's permissions
  exchanged,            // one atomic exchange: the original path holds the new item
  backupLinked,         // without exchange: the original file is also under the backup name
  originalMovedAside,   // without exchange: the original folder is under the backup name
  renamedIntoPlace,     // without exchange: the new item is at the original path
  backupMoved,          // after an exchange: the old item is under the backup name
  oldItemRemoved,       // the old item (or its backup) is gone
  stagedItemRemoved,    // the new item from another file system is gone
};

struct ItemReplacementTesting {
  std::function<void(ItemReplacementStep)> afterStep;
  // Behave as on a file system without atomic exchange.
  bool withoutExchange = false;
};

// A pre-order walk of a folder tree: each folder's items in name order, a
// folder's contents right after the folder. Symbolic links are listed, never
// entered. Not shared between threads.
class DirectoryEnumerator {
 public:
  // Called with the item that could not be read; returning false ends the walk.
  using ErrorHandler = std::function<bool(const URL& url, const Error& error)>;

  DirectoryEnumerator(std::string rootPath, DirectoryEnumerationOptions options, ErrorHandler errorHandler);
  DirectoryEnumerator(DirectoryEnumerator&&) noexcept;
  DirectoryEnumerator& operator=(DirectoryEnumerator&&) noexcept;
  ~DirectoryEnumerator();

  // The next item, or null when the walk is over.
  std::shared_ptr<URL> nextObject();
  // The folder nextObject last returned is not entered.
  void skipDescendants();
  // How deep the last item lies: 1 for the root folder's own items.
  std::size_t level() const;

 private:
  struct Frame;
  bool enter(const std::string& path);
  bool report(const std::string& path, int posixError);

  DirectoryEnumerationOptions options_;
  ErrorHandler errorHandler_;
  std::vector<Frame> frames_;
  // The folder last returned; entered on the next call unless skipped.
  std::optional<std::string> pending_;
  std::size_t level_ = 0;
  bool stopped_ = false;
};

class FileManager {
 public:
  static FileManager& defaultManager();

  // Folders. With intermediates, missing parents are made too and an
  // existing folder is success; without, an existing item fails with 516.
  // `attributes` apply to every folder made.
  [[nodiscard]] Expected<void> createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                                     const FileAttributeChanges& attributes = {}) const;
  [[nodiscard]] Expected<void> createDirectoryAtURL(const URL& url, bool withIntermediateDirectories,
                                                    const FileAttributeChanges& attributes = {}) const;

  // A regular file with these contents. New files get 0666 less the umask
  // unless `attributes` name permissions.
  [[nodiscard]] Expected<void> createFileAtPath(std::string_view path, std::span<const std::uint8_t> contents,
                                                const FileAttributeChanges& attributes = {},
                                                FileWritingOptions options = {}) const;
  [[nodiscard]] Expected<std::vector<std::uint8_t>> contentsAtPath(std::string_view path) const;

  [[nodiscard]] Expected<void> createSymbolicLinkAtPath(std::string_view path, std::string_view destination) const;
  [[nodiscard]] Expected<std::string> destinationOfSymbolicLinkAtPath(std::string_view path) const;

  // Fails with 516 when the destination exists. Across file systems the item
  // is copied, then the source removed.
  [[nodiscard]] Expected<void> moveItemAtPath(std::string_view source, std::string_view destination) const;
  [[nodiscard]] Expected<void> moveItemAtURL(const URL& source, const URL& destination) const;

  // A deep copy that keeps permissions, modification times and user extended
  // attributes, and copies symbolic links as links. Fails with 516 when the
  // destination exists; a failed copy leaves nothing at the destination.
  [[nodiscard]] Expected<void> copyItemAtPath(std::string_view source, std::string_view destination) const;
  [[nodiscard]] Expected<void> copyItemAtURL(const URL& source, const URL& destination) const;

  // Removes the item and, for a folder, everything in it. Symbolic links are
  // removed, never followed.
  [[nodiscard]] Expected<void> removeItemAtPath(std::string_view path) const;
  [[nodiscard]] Expected<void> removeItemAtURL(const URL& url) const;

  // Puts `newItem` at `original` in one atomic exchange where the file system
  // allows, so the original path always holds the old item or the new one,
  // whenever the process stops. Without exchange a file is still replaced by
  // one atomic rename; a folder is moved aside under the backup name first.
  // With a backup name the old item is kept beside the original under that
  // name (replacing an item there) until success, or after it with
  // `withoutDeletingBackupItem`. The new item is consumed. A missing original
  // is no failure: the new item is simply moved there. The result is the
  // URL of the replaced item.
  [[nodiscard]] Expected<std::shared_ptr<URL>> replaceItemAtURL(const URL& original, const URL& newItem,
                                                                const std::optional<std::string>& backupItemName,
                                                                ItemReplacementOptions options = {}) const;
  [[nodiscard]] Expected<std::shared_ptr<URL>> replaceItemAtURLForTesting(
      const URL& original, const URL& newItem, const std::optional<std::string>& backupItemName,
      ItemReplacementOptions options, const ItemReplacementTesting& testing) const;

  // Whether the path names an item, following symbolic links (a dangling link
  // does not exist).
  bool fileExistsAtPath(std::string_view path) const;
  bool fileExistsAtPath(std::string_view path, bool* isDirectory) const;

  // The folder's item names, sorted.
  [[nodiscard]] Expected<std::vector<std::string>> contentsOfDirectoryAtPath(std::string_view path) const;
  // The folder's items as URLs, sorted by name. Only skipsHiddenFiles applies.
  [[nodiscard]] Expected<std::vector<std::shared_ptr<URL>>> contentsOfDirectoryAtURL(
      const URL& url, DirectoryEnumerationOptions options = {}) const;
  // Failures to read the root or any folder below go to the error handler.
  DirectoryEnumerator enumeratorAtURL(const URL& url, DirectoryEnumerationOptions options = {},
                                      DirectoryEnumerator::ErrorHandler errorHandler = nullptr) const;

  [[nodiscard]] Expected<FileAttributes> attributesOfItemAtPath(std::string_view path) const;
  // Owner and group first (a change of owner clears set-user-ID), then
  // permissions, then the date. A symbolic link has no permissions of its
  // own, so they are left alone rather than set on the link's target.
  [[nodiscard]] Expected<void> setAttributes(const FileAttributeChanges& attributes, std::string_view path) const;

  // The system's temporary folder (SearchPaths' temporary location).
  std::shared_ptr<URL> temporaryDirectory() const;
  // A new, empty folder of the caller's own (0700) in the temporary folder.
  [[nodiscard]] Expected<std::shared_ptr<URL>> createUniqueTemporaryDirectory() const;
  // A new, empty folder on the same file system as `url`, for building the
  // item that will replace it: a hidden ".korvia-replacement-XXXXXX" folder
  // beside it, or the temporary folder's when that one is on the same file
  // system and the item's own folder cannot be written.
  [[nodiscard]] Expected<std::shared_ptr<URL>> itemReplacementDirectoryAppropriateForURL(const URL& url) const;

 private:
  FileManager() = default;
  Expected<std::shared_ptr<URL>> replaceItem(const URL& original, const URL& newItem,
                                             const std::optional<std::string>& backupItemName,
                                             ItemReplacementOptions options,
                                             const ItemReplacementTesting* testing) const;
};

}  // namespace fnd
