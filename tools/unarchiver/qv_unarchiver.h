#pragma once

// Turns a ZIP archive or an Apple disk image into a folder: a fresh
// temporary folder, or, with a destination, that folder's items moved into
// the destination in place of items of the same name. Progress is reported
// as a fraction that never decreases and ends at 1.0 on success.
//
// ZIP archives are extracted in-process (QVZipExtraction), refusing hostile
// ones. Disk images are extracted by 7-Zip's `7zz` into a fresh folder under
// "/Volumes" (where the image would be mounted), whose items are copied to
// the temporary folder before the folder is removed again; a non-zero exit
// status fails in NSOSStatusErrorDomain with that status as the code and the
// tool's error output as the description.
//
// Each call runs on a serial queue of its own, "com.quorvex.unarchiver.
// internal-queue", which also calls the progress and completion functions.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/error.h"
#include "foundation/expected.h"
#include "foundation/url.h"
#include "tools/unarchiver/qv_zip_extraction.h"

inline constexpr std::string_view QVUnarchiverErrorDomain = "com.quorvex.UnarchiverErrorDomain";
// "Unknown archive type."
inline constexpr std::int64_t QVUnarchiverErrorUnknownArchiveType = -1;

enum class QVArchiveType { none = 0, zip = 1, dmg = 2 };

class QVUnarchiver {
 public:
  using ProgressHandler = std::function<void(double)>;
  // (the result folder, no error) or (null, the error).
  using CompletionHandler = std::function<void(std::shared_ptr<fnd::URL>, std::optional<fnd::Error>)>;

  QVUnarchiver() = delete;

  // The completion is called exactly once. Synchronously, everything has run
  // before the call returns; never call it so from a queue the caller must
  // keep responsive.
  static void unpackArchiveAtURL(std::shared_ptr<fnd::URL> archiveURL, std::shared_ptr<fnd::URL> destinationFolder,
                                 bool async, ProgressHandler progressHandler, CompletionHandler completionHandler);

  // The steps, for callers that need one of them alone.
  static QVArchiveType _archiveTypeByExtensionAtURL(const fnd::URL& url);
  static QVArchiveType _archiveTypeByHeaderAtURL(const fnd::URL& url);
  // Both read from the descriptor's current offset on.
  static bool _archiveHasZIPHeader(int fileDescriptor);
  static bool _archiveHasDMGHeader(int fileDescriptor);
  [[nodiscard]] static fnd::Expected<void> _checkDestinationFolder(const fnd::URL& folder);
  // The folder extracted into, reporting its own fraction from 0 to 1.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::URL>> _unarchiveURL(
      const fnd::URL& url, const ProgressHandler& progressHandler, const QVUnarchiverLimits& limits = {});
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::URL>> _unarchiveZIP(
      const fnd::URL& url, const ProgressHandler& progressHandler, const QVUnarchiverLimits& limits = {});
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::URL>> _unarchiveDMG(const fnd::URL& url,
                                                                             const ProgressHandler& progressHandler);
  // ".DS_Store" and ".Trashes", in any case.
  static bool _shouldIgnoreItemAtURL(const fnd::URL& url);
  // Moves the folder's items (or the one item) into `destination`, each in
  // one step in place of an item of the same name there.
  [[nodiscard]] static fnd::Expected<void> _moveContentAtURL(const fnd::URL& source, const fnd::URL& destination);
  // A copy of the mounted (extracted) image's items into a new folder.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::URL>> _copyImageContentAtURL(
      const fnd::URL& mountPoint, const std::function<void(double)>& itemDone);

  // The system temporary folder joined with a new UUID string.
  static std::shared_ptr<fnd::URL> _newTemporaryFolderURL();
};
