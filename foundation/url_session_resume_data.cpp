#include "foundation/url_session_resume_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/property_list.h"
#include "foundation/search_paths.h"
#include "foundation/url.h"
#include "foundation/url_error.h"

namespace fnd::detail {
namespace {

constexpr std::string_view kVersionKey = "KorviaResumeDataVersion";
constexpr std::string_view kURLKey = "URL";
constexpr std::string_view kBytesReceivedKey = "BytesReceived";
constexpr std::string_view kTemporaryFileKey = "TemporaryFilePath";
constexpr std::string_view kEntityTagKey = "ETag";
constexpr std::string_view kLastModifiedKey = "LastModified";
constexpr std::string_view kRequestHeadersKey = "RequestHeaders";
constexpr std::string_view kRequestTimeoutKey = "RequestTimeout";
constexpr std::int64_t kVersion = 1;

constexpr std::string_view kFilePrefix = "KorviaDownload_";
constexpr std::string_view kFileSuffix = ".tmp";
constexpr std::size_t kFileUniqueLength = 6;

Error decodingError(std::string_view why) {
  return Error(NSURLErrorDomain, NSURLErrorCannotDecodeRawData,
               {{Value(NSLocalizedDescriptionKey), Value("The resume data is invalid.")},
                {Value(NSDebugDescriptionErrorKey), Value(why)}});
}

Error fileError(std::int64_t code, std::string_view description, const std::string& path, int posixError) {
  auto info = Dictionary::make({{Value(NSLocalizedDescriptionKey), Value(description)},
                                {Value(NSFilePathErrorKey), Value(path)}});
  if (posixError != 0) {
    info = info->dictionaryBySettingObject(Value(Error(NSPOSIXErrorDomain, posixError)), Value(NSUnderlyingErrorKey));
  }
  return Error(NSURLErrorDomain, code, info);
}

bool isValidHeaderText(std::string_view text) {
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

std::optional<std::string> optionalString(const Dictionary& plist, std::string_view key, bool* malformed) {
  const Value value = plist.objectForKey(key);
  if (value.isNil()) return std::nullopt;
  auto text = value.stringValue();
  if (!text || !isValidHeaderText(*text)) *malformed = true;
  return text;
}

std::optional<HTTPHeaderFields> decodeHeaders(const Value& value) {
  HTTPHeaderFields headers;
  if (value.isNil()) return headers;
  const auto dictionary = value.as<Dictionary>();
  if (!dictionary) return std::nullopt;
  for (const auto& [key, field] : dictionary->entries()) {
    auto name = key.stringValue();
    auto text = field.stringValue();
    if (!name || !text || name->empty() || !isValidHeaderText(*name) || !isValidHeaderText(*text) ||
        name->find(':') != std::string::npos) {
      return std::nullopt;
    }
    headers.emplace_back(std::move(*name), std::move(*text));
  }
  return headers;
}

std::string temporaryFolder() { return SearchPaths::path(SearchPathLocation::temporary); }

}  // namespace

std::optional<std::string> DownloadResumeState::rangeValidator() const {
  if (entityTag) return entityTag;
  return lastModified;
}

std::shared_ptr<Data> encodeDownloadResumeData(const DownloadResumeState& state) {
  std::vector<Dictionary::Entry> headers;
  for (const auto& [name, value] : state.requestHeaders) headers.emplace_back(Value(name), Value(value));
  std::vector<Dictionary::Entry> entries = {
      {Value(kVersionKey), Value(kVersion)},
      {Value(kURLKey), Value(state.url)},
      {Value(kBytesReceivedKey), Value(state.bytesReceived)},
      {Value(kTemporaryFileKey), Value(state.temporaryFilePath)},
      {Value(kRequestHeadersKey), Value(Dictionary::make(std::move(headers)))},
  };
  if (state.entityTag) entries.emplace_back(Value(kEntityTagKey), Value(*state.entityTag));
  if (state.lastModified) entries.emplace_back(Value(kLastModifiedKey), Value(*state.lastModified));
  if (state.requestTimeout) entries.emplace_back(Value(kRequestTimeoutKey), Value(*state.requestTimeout));
  auto bytes = PropertyListSerialization::dataWithPropertyList(Value(Dictionary::make(std::move(entries))),
                                                               PropertyListFormat::binary);
  // Strings, numbers and dictionaries always make a property list.
  FND_PARAMETER_ASSERT(bytes.hasValue());
  return Data::make(std::move(bytes).value());
}

Expected<DownloadResumeState> decodeDownloadResumeData(const Data& data) {
  auto plist = PropertyListSerialization::propertyListWithData(data.bytes());
  if (!plist) return decodingError("not a property list");
  const auto dictionary = plist->as<Dictionary>();
  if (!dictionary) return decodingError("not a dictionary");
  if (dictionary->objectForKey(kVersionKey).integerValue() != kVersion) return decodingError("unknown version");

  DownloadResumeState state;
  bool malformed = false;
  const auto url = optionalString(*dictionary, kURLKey, &malformed);
  const auto path = optionalString(*dictionary, kTemporaryFileKey, &malformed);
  const auto received = dictionary->objectForKey(kBytesReceivedKey).integerValue();
  state.entityTag = optionalString(*dictionary, kEntityTagKey, &malformed);
  state.lastModified = optionalString(*dictionary, kLastModifiedKey, &malformed);
  if (malformed || !url || !path || !received) return decodingError("missing or malformed fields");

  const auto parsed = URL::URLWithString(*url);
  if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https") || parsed->host().empty()) {
    return decodingError("not an HTTP URL");
  }
  if (*received < 0) return decodingError("negative length");
  if (!state.rangeValidator()) return decodingError("no validator");
  if (!isDownloadFilePath(*path)) return decodingError("not a download file of this layer");
  auto headers = decodeHeaders(dictionary->objectForKey(kRequestHeadersKey));
  if (!headers) return decodingError("malformed request headers");
  const Value timeout = dictionary->objectForKey(kRequestTimeoutKey);
  if (!timeout.isNil()) {
    const auto seconds = timeout.doubleValue();
    if (!seconds || !(*seconds > 0)) return decodingError("malformed time-out");
    state.requestTimeout = *seconds;
  }
  state.url = *url;
  state.bytesReceived = *received;
  state.temporaryFilePath = *path;
  state.requestHeaders = std::move(*headers);
  return state;
}

bool isDownloadFilePath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string folder = path.substr(0, slash == 0 ? 1 : slash);
  const std::string_view name = std::string_view(path).substr(slash + 1);
  if (folder != temporaryFolder()) return false;
  if (name.size() != kFilePrefix.size() + kFileUniqueLength + kFileSuffix.size()) return false;
  if (!name.starts_with(kFilePrefix) || !name.ends_with(kFileSuffix)) return false;
  for (char c : name.substr(kFilePrefix.size(), kFileUniqueLength)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

Expected<DownloadFile> createDownloadFile() {
  std::string folder = temporaryFolder();
  std::string pattern = (folder == "/" ? "" : folder) + "/" + std::string(kFilePrefix) + "XXXXXX" +
                        std::string(kFileSuffix);
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int descriptor = ::mkostemps(buffer.data(), static_cast<int>(kFileSuffix.size()), O_CLOEXEC);
  if (descriptor < 0) {
    return fileError(NSURLErrorCannotCreateFile, "The file could not be created.", pattern, errno);
  }
  return DownloadFile{descriptor, std::string(buffer.data())};
}

Expected<DownloadFile> reopenPartialDownloadFile(const DownloadResumeState& state) {
  const std::string& path = state.temporaryFilePath;
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    return fileError(NSURLErrorCannotOpenFile, "The partial download could not be opened.", path, errno);
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size < static_cast<off_t>(state.bytesReceived)) {
    const int error = S_ISREG(status.st_mode) ? 0 : EINVAL;
    ::close(descriptor);
    return fileError(NSURLErrorCannotOpenFile, "The partial download is missing or shorter than recorded.", path,
                     error);
  }
  // Bytes past the recorded length were never confirmed to the caller.
  if (::ftruncate(descriptor, static_cast<off_t>(state.bytesReceived)) != 0 ||
      ::lseek(descriptor, 0, SEEK_END) < 0) {
    const int error = errno;
    ::close(descriptor);
    return fileError(NSURLErrorCannotOpenFile, "The partial download could not be reopened.", path, error);
  }
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags >= 0) ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  return DownloadFile{descriptor, path};
}

}  // namespace fnd::detail
