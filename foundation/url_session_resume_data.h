#pragma once

// Resume data of download tasks (internal to the URL session): a binary
// property list of this layer's own that names the URL, the bytes already in
// the partial file, the file itself and the validators the server gave, so a
// later request can ask for the rest with Range and If-Range.
//
// The data comes back from callers and may have been stored or altered, so it
// is read defensively: only a file of this layer's own naming inside the
// temporary folder is ever reopened, and never through a symbolic link.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/data.h"
#include "foundation/expected.h"
#include "foundation/url_request.h"

namespace fnd::detail {

struct DownloadResumeState {
  std::string url;
  std::int64_t bytesReceived = 0;
  std::string temporaryFilePath;
  // A strong entity tag (weak ones cannot validate a range).
  std::optional<std::string> entityTag;
  std::optional<std::string> lastModified;
  HTTPHeaderFields requestHeaders;
  std::optional<double> requestTimeout;

  // The If-Range value: the entity tag, else the modification date.
  std::optional<std::string> rangeValidator() const;
};

std::shared_ptr<Data> encodeDownloadResumeData(const DownloadResumeState& state);
// NSURLErrorCannotDecodeRawData when the data is not resume data of this
// layer, names another kind of URL, or a file outside the temporary folder.
[[nodiscard]] Expected<DownloadResumeState> decodeDownloadResumeData(const Data& data);

// A new download file "KorviaDownload_XXXXXX.tmp" in the temporary folder,
// open for writing. NSURLErrorCannotCreateFile when it cannot be made.
struct DownloadFile {
  int descriptor = -1;
  std::string path;
};
[[nodiscard]] Expected<DownloadFile> createDownloadFile();
// Reopens the partial file of resume data, cut back to the recorded length.
// NSURLErrorCannotOpenFile when it is gone, not a regular file, or shorter
// than recorded.
[[nodiscard]] Expected<DownloadFile> reopenPartialDownloadFile(const DownloadResumeState& state);
bool isDownloadFilePath(const std::string& path);

}  // namespace fnd::detail
