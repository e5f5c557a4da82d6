#pragma once

// Uniform resource locators as RFC 3986 references: a URL is its relative
// text and an optional base, and resolves against the base as the RFC says.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/object.h"

namespace fnd {

class URL final : public Object {
 public:
  static const Class& staticClass();

  // Null when the text is not a valid URL reference (spaces, control or
  // non-ASCII characters, a bad scheme, a broken percent escape, a bad port).
  static std::shared_ptr<URL> URLWithString(std::string_view text, std::shared_ptr<URL> base = nullptr);
  // A "file://" URL for a local path; a relative path is taken from the
  // current directory. A directory URL ends with "/".
  static std::shared_ptr<URL> fileURLWithPath(std::string_view path, bool isDirectory = false);

  const std::string& relativeString() const { return relative_; }
  const std::shared_ptr<URL>& baseURL() const { return base_; }
  // The reference resolved against the base.
  const std::string& absoluteString() const { return absolute_; }
  std::shared_ptr<URL> absoluteURL() const;

  // Components of the absolute URL. Empty strings where a component is absent.
  const std::string& scheme() const { return scheme_; }
  const std::string& host() const { return host_; }
  std::optional<int> port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // Percent-decoded, without a trailing "/" (except for the root).
  std::string path() const;
  // The raw (still percent-encoded) path.
  const std::string& encodedPath() const { return path_; }
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }

  bool isFileURL() const { return scheme_ == "file"; }
  bool hasDirectoryPath() const { return !path_.empty() && path_.back() == '/'; }
  std::string lastPathComponent() const;
  std::string pathExtension() const;

  std::shared_ptr<URL> URLByAppendingPathComponent(std::string_view component, bool isDirectory = false) const;
  std::shared_ptr<URL> URLByDeletingLastPathComponent() const;
  std::shared_ptr<URL> URLByAppendingPathExtension(std::string_view extension) const;

  const Class& objectClass() const override { return staticClass(); }
  // Equal when relative text and base are equal, as the platform compares.
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

  // Percent-encodes every byte outside the unreserved set and `allowed`.
  static std::string percentEncode(std::string_view text, std::string_view allowed);
  // Null when an escape is broken.
  static std::optional<std::string> percentDecode(std::string_view text);

 private:
  URL() = default;
  bool parseAbsolute(std::string_view absolute);

  std::string relative_;
  std::shared_ptr<URL> base_;
  std::string absolute_;
  std::string scheme_;
  std::string user_;
  std::string password_;
  std::string host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
  bool hasAuthority_ = false;
};

// A base to which paths are appended ("https://host" + "/path"): `base`
// without its trailing slashes.
std::string URLStringWithoutTrailingSlashes(std::string base);
// The same for the base a service's environment variable names, or
// `fallback` when it is unset or empty.
std::string baseURLStringFromEnvironment(std::string_view variable, std::string_view fallback);

}  // namespace fnd
