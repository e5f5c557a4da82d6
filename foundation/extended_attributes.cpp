#include "foundation/extended_attributes.h"

#include <sys/xattr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>

#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"

namespace fnd {

namespace {

constexpr std::string_view kUserNamespace = "user.";
constexpr std::array<std::string_view, 4> kNamespaces = {"user.", "trusted.", "security.", "system."};
// Attributes that grow between the size query and the read are read again,
// a bounded number of times.
constexpr int kMaximumSizeRetries = 8;

bool hasNamespace(std::string_view name) {
  return std::any_of(kNamespaces.begin(), kNamespaces.end(),
                     [name](std::string_view prefix) { return name.starts_with(prefix); });
}

Error attributeError(int posixError, FileOperation operation, std::string_view path, std::string_view name) {
  return fileErrorWithPOSIXError(posixError, operation, path)
      .errorBySettingUserInfoValue(Value(StringWithFormat("extended attribute \"%@\"", name)),
                                   NSDebugDescriptionErrorKey);
}

// A name the kernel can take: not empty, no NUL inside.
bool isUsableName(std::string_view name) { return !name.empty() && name.find('\0') == std::string_view::npos; }

// Runs a size query, then the read into a buffer of that size, again while
// the value grows in between. `call` answers like the xattr calls.
template <class Call>
Expected<std::vector<char>> readSized(const Call& call, const std::function<Error(int)>& failure) {
  for (int attempt = 0; attempt < kMaximumSizeRetries; ++attempt) {
    ssize_t size = call(nullptr, 0);
    if (size < 0) return failure(errno);
    std::vector<char> buffer(static_cast<std::size_t>(size));
    if (size == 0) return buffer;
    ssize_t filled = call(buffer.data(), buffer.size());
    if (filled >= 0) {
      buffer.resize(static_cast<std::size_t>(filled));
      return buffer;
    }
    if (errno != ERANGE) return failure(errno);
  }
  return failure(ERANGE);
}

// The NUL-separated names of a listing.
std::vector<std::string> splitNames(const std::vector<char>& listing) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t i = 0; i < listing.size(); ++i) {
    if (listing[i] != '\0') continue;
    if (i > start) names.emplace_back(listing.data() + start, i - start);
    start = i + 1;
  }
  return names;
}

bool isUnsupported(int posixError) { return posixError == ENOTSUP || posixError == EOPNOTSUPP; }

// Copies one attribute between descriptors; the errno of a failure, else 0.
int copyOne(int from, int to, const std::string& name) {
  auto value = readSized(
      [&](char* buffer, std::size_t size) { return ::fgetxattr(from, name.c_str(), buffer, size); },
      [](int posixError) { return Error(NSPOSIXErrorDomain, posixError); });
  if (!value) {
    // Removed since it was listed: nothing to copy.
    int posixError = static_cast<int>(value.error().code());
    return posixError == ENODATA ? 0 : posixError;
  }
  if (::fsetxattr(to, name.c_str(), value->data(), value->size(), 0) != 0) return errno;
  return 0;
}

}  // namespace

std::string ExtendedAttributes::storedName(std::string_view name) {
  if (hasNamespace(name)) return std::string(name);
  return std::string(kUserNamespace) + std::string(name);
}

Expected<std::vector<std::string>> ExtendedAttributes::names(std::string_view path, ExtendedAttributeOptions options) {
  const std::string target(path);
  auto listing = readSized(
      [&](char* buffer, std::size_t size) {
        return options.noFollow ? ::llistxattr(target.c_str(), buffer, size)
                                : ::listxattr(target.c_str(), buffer, size);
      },
      [&](int posixError) { return fileErrorWithPOSIXError(posixError, FileOperation::read, path); });
  if (!listing) return listing.error();
  std::vector<std::string> names;
  for (auto& name : splitNames(*listing)) {
    if (name.starts_with(kUserNamespace) && name.size() > kUserNamespace.size()) {
      names.push_back(name.substr(kUserNamespace.size()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

Expected<std::vector<std::uint8_t>> ExtendedAttributes::value(std::string_view path, std::string_view name,
                                                              ExtendedAttributeOptions options) {
  if (!isUsableName(name)) return attributeError(EINVAL, FileOperation::read, path, name);
  const std::string target(path);
  const std::string stored = storedName(name);
  auto bytes = readSized(
      [&](char* buffer, std::size_t size) {
        return options.noFollow ? ::lgetxattr(target.c_str(), stored.c_str(), buffer, size)
                                : ::getxattr(target.c_str(), stored.c_str(), buffer, size);
      },
      [&](int posixError) { return attributeError(posixError, FileOperation::read, path, name); });
  if (!bytes) return bytes.error();
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

Expected<void> ExtendedAttributes::setValue(std::string_view path, std::string_view name,
                                            std::span<const std::uint8_t> value, ExtendedAttributeOptions options) {
  FND_PARAMETER_ASSERT(!(options.createOnly && options.replaceOnly));
  if (!isUsableName(name)) return attributeError(EINVAL, FileOperation::write, path, name);
  const std::string target(path);
  const std::string stored = storedName(name);
  const int flags = options.createOnly ? XATTR_CREATE : options.replaceOnly ? XATTR_REPLACE : 0;
  const int result = options.noFollow ? ::lsetxattr(target.c_str(), stored.c_str(), value.data(), value.size(), flags)
                                      : ::setxattr(target.c_str(), stored.c_str(), value.data(), value.size(), flags);
  if (result != 0) return attributeError(errno, FileOperation::write, path, name);
  return success();
}

Expected<void> ExtendedAttributes::remove(std::string_view path, std::string_view name,
                                          ExtendedAttributeOptions options) {
  if (!isUsableName(name)) return attributeError(EINVAL, FileOperation::write, path, name);
  const std::string target(path);
  const std::string stored = storedName(name);
  const int result =
      options.noFollow ? ::lremovexattr(target.c_str(), stored.c_str()) : ::removexattr(target.c_str(), stored.c_str());
  if (result != 0) return attributeError(errno, FileOperation::write, path, name);
  return success();
}

bool ExtendedAttributes::isNoSuchAttributeError(const Error& error) { return posixErrorCode(error) == ENODATA; }

bool ExtendedAttributes::isUnsupportedError(const Error& error) {
  auto code = posixErrorCode(error);
  return code && isUnsupported(*code);
}

int ExtendedAttributes::copyAll(int fromDescriptor, int toDescriptor) {
  auto listing = readSized(
      [&](char* buffer, std::size_t size) { return ::flistxattr(fromDescriptor, buffer, size); },
      [](int posixError) { return Error(NSPOSIXErrorDomain, posixError); });
  if (!listing) {
    int posixError = static_cast<int>(listing.error().code());
    return isUnsupported(posixError) ? 0 : posixError;
  }
  for (const auto& name : splitNames(*listing)) {
    if (!name.starts_with(kUserNamespace)) continue;
    int posixError = copyOne(fromDescriptor, toDescriptor, name);
    if (isUnsupported(posixError)) return 0;
    if (posixError != 0) return posixError;
  }
  return 0;
}

}  // namespace fnd
