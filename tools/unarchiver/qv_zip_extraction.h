#pragma once

// ZIP extraction in-process, on libarchive's reader, into a folder of our
// own. Archives come from the network, so nothing is taken on trust: every
// item is created relative to an open folder without following symbolic
// links (a link planted by one entry cannot redirect a later one), and these
// are refused before anything leaves the extraction folder:
//
//   - a name that is not UTF-8 (NSCocoaErrorDomain 258);
//   - an absolute name or one with ".." (259);
//   - a name that passes through a symbolic link or a file (259);
//   - a symbolic link whose target is absolute, climbs with ".." after a
//     name, or leaves the top-level item holding it (259);
//   - devices, pipes, sockets and hard links (259);
//   - more entries than the limit, or an expansion past both the size
//     allowance and the ratio to the archive's size (263).
//
// Unix modes (permission bits; set-user-ID, set-group-ID and sticky are
// dropped), modification times and symbolic links are kept. AppleDouble
// entries under "__MACOSX/" become extended attributes of the item they
// describe and are never written as files; the rest of "__MACOSX/" is skipped.
// A damaged archive fails as the platform's extraction tool does: status 1 in
// NSOSStatusErrorDomain with the reader's message as the description.
//
// Memory stays flat in the archive's size: the archive is read in 256 KiB
// chunks and each entry is streamed to disk.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/expected.h"

struct QVUnarchiverLimits {
  std::uint64_t maximumEntryCount = 1'000'000;
  std::uint64_t maximumExpansionRatio = 100;
  // Expansions up to this many bytes pass whatever the ratio.
  std::uint64_t expansionAllowance = std::uint64_t{4} << 30;
};

class QVZipExtraction {
 public:
  QVZipExtraction() = delete;

  static constexpr std::size_t kChunkSize = 262144;

  // Reports the fraction of the archive read so far, never decreasing.
  using Progress = std::function<void(double)>;

  // `folder` must not exist; it is made (0700) and, on failure, removed
  // again with everything written into it.
  [[nodiscard]] static fnd::Expected<void> extract(const std::string& archivePath, const std::string& folder,
                                                   const QVUnarchiverLimits& limits, const Progress& progress);
};
