#pragma once

// Extended attributes of file-system items, on Linux xattrs. The platform's
// names have no namespace ("com.apple.quarantine"); such a name is stored as
// "user.<name>" and listed back without "user.". A name that already starts
// with a Linux namespace ("user.", "trusted.", "security.", "system.") is
// used as it stands, and only the user namespace is listed: the others hold
// the system's own data (access lists, security labels).
//
// Failures are file errors (see fileErrorWithPOSIXError): reading ones are
// read errors, writing ones write errors, with the POSIX error underneath.
// A file system without user attributes gives ENOTSUP underneath; a missing
// attribute gives ENODATA (the platform's ENOATTR).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/error.h"
#include "foundation/expected.h"

namespace fnd {

struct ExtendedAttributeOptions {
  // Acts on a symbolic link itself, not on what it points to.
  bool noFollow = false;
  // For setValue: fail with 516 when the attribute exists...
  bool createOnly = false;
  // ...or fail with ENODATA underneath when it does not.
  bool replaceOnly = false;
};

class ExtendedAttributes {
 public:
  // The item's attribute names in the platform's spelling, sorted.
  [[nodiscard]] static Expected<std::vector<std::string>> names(std::string_view path,
                                                                ExtendedAttributeOptions options = {});
  [[nodiscard]] static Expected<std::vector<std::uint8_t>> value(std::string_view path, std::string_view name,
                                                                 ExtendedAttributeOptions options = {});
  [[nodiscard]] static Expected<void> setValue(std::string_view path, std::string_view name,
                                               std::span<const std::uint8_t> value,
                                               ExtendedAttributeOptions options = {});
  [[nodiscard]] static Expected<void> remove(std::string_view path, std::string_view name,
                                             ExtendedAttributeOptions options = {});

  // Whether an error of these operations says the attribute is absent, or
  // that the file system keeps no user attributes.
  static bool isNoSuchAttributeError(const Error& error);
  static bool isUnsupportedError(const Error& error);

  // The Linux name for a platform name.
  static std::string storedName(std::string_view name);

  // Copies every user attribute of one open item onto another; a file system
  // without attributes on either side copies nothing. The first other
  // failure's errno, 0 when none.
  static int copyAll(int fromDescriptor, int toDescriptor);
};

}  // namespace fnd
