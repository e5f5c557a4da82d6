#include "foundation/url.h"

#include "foundation/process.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <system_error>

namespace fnd {

namespace {

// Sub-delimiters plus ":", "@" and "/": what a path may hold unescaped.
constexpr std::string_view kPathAllowed = "/!$&'()*+,;=:@";
// No ":" so that an extension never turns a relative first segment into a scheme.
constexpr std::string_view kExtensionAllowed = "!$&'()*+,;=@";
constexpr std::string_view kUnsafe = R"("<>\^`{|})";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr int kMaxPort = 65535;

// A reference split into its five parts; absent parts are distinct from empty ones.
struct Parts {
  std::optional<std::string_view> scheme;
  std::optional<std::string_view> authority;
  std::string path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
};

struct Authority {
  std::string user;
  std::string password;
  std::string host;
  std::optional<int> port;
};

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; });
  return out;
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty() || !isAlpha(scheme.front())) return false;
  return std::all_of(scheme.begin(), scheme.end(),
                     [](char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; });
}

bool hasValidCharacters(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c >= 0x7F || kUnsafe.find(text[i]) != std::string_view::npos) return false;
    if (c == '%' && !(i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]))) return false;
  }
  return true;
}

bool isValidReference(std::string_view text) {
  if (!hasValidCharacters(text)) return false;
  const auto stop = text.find_first_of(":/?#");
  return stop == std::string_view::npos || text[stop] != ':' || isValidScheme(text.substr(0, stop));
}

// The regular split: scheme ":" , "//" authority, path, "?" query, "#" fragment.
Parts split(std::string_view text) {
  Parts parts;
  if (const auto stop = text.find_first_of(":/?#"); stop != std::string_view::npos && stop > 0 && text[stop] == ':') {
    parts.scheme = text.substr(0, stop);
    text.remove_prefix(stop + 1);
  }
  if (text.starts_with("//")) {
    const auto end = std::min(text.find_first_of("/?#", 2), text.size());
    parts.authority = text.substr(2, end - 2);
    text.remove_prefix(end);
  }
  if (const auto hash = text.find('#'); hash != std::string_view::npos) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const auto question = text.find('?'); question != std::string_view::npos) {
    parts.query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  parts.path = std::string(text);
  return parts;
}

// Drops the last segment of `out` together with the "/" before it.
void popSegment(std::string& out) {
  const auto slash = out.rfind('/');
  out.erase(slash == std::string::npos ? 0 : slash);
}

std::string removeDotSegments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./") || in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      in = in.size() == 3 ? std::string_view("/") : in.substr(3);
      popSegment(out);
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      const auto next = std::min(in.find('/', 1), in.size());
      out += in.substr(0, next);
      in.remove_prefix(next);
    }
  }
  return out;
}

std::string merge(const Parts& base, std::string_view path) {
  if (base.authority && base.path.empty()) return "/" + std::string(path);
  const auto slash = base.path.rfind('/');
  return base.path.substr(0, slash == std::string::npos ? 0 : slash + 1) + std::string(path);
}

Parts resolve(const Parts& ref, const Parts& base) {
  Parts target;
  target.fragment = ref.fragment;
  if (ref.scheme || ref.authority) {
    target.scheme = ref.scheme ? ref.scheme : base.scheme;
    target.authority = ref.authority;
    target.path = removeDotSegments(ref.path);
    target.query = ref.query;
    return target;
  }
  target.scheme = base.scheme;
  target.authority = base.authority;
  if (ref.path.empty()) {
    target.path = base.path;
    target.query = ref.query ? ref.query : base.query;
    return target;
  }
  target.path = removeDotSegments(ref.path.starts_with('/') ? ref.path : merge(base, ref.path));
  target.query = ref.query;
  return target;
}

bool firstSegmentHasColon(std::string_view path) {
  return path.substr(0, path.find('/')).find(':') != std::string_view::npos;
}

std::string recompose(const Parts& parts) {
  std::string out;
  if (parts.scheme) out.append(*parts.scheme).append(":");
  if (parts.authority) {
    out.append("//").append(*parts.authority);
  } else if (parts.path.starts_with("//")) {
    out.append("/.");  // otherwise the path would read back as an authority
  } else if (!parts.scheme && firstSegmentHasColon(parts.path)) {
    out.append("./");  // otherwise the first segment would read back as a scheme
  }
  out.append(parts.path);
  if (parts.query) out.append("?").append(*parts.query);
  if (parts.fragment) out.append("#").append(*parts.fragment);
  return out;
}

// An empty port is allowed and means "no port".
bool parsePort(std::string_view text, std::optional<int>& port) {
  port.reset();
  if (text.empty()) return true;
  if (!std::all_of(text.begin(), text.end(), isDigit)) return false;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > kMaxPort) return false;
  port = value;
  return true;
}

void parseUserInfo(std::string_view info, Authority& authority) {
  const auto colon = info.find(':');
  const auto user = info.substr(0, colon);
  authority.user = URL::percentDecode(user).value_or(std::string(user));
  if (colon == std::string_view::npos) return;
  const auto password = info.substr(colon + 1);
  authority.password = URL::percentDecode(password).value_or(std::string(password));
}

// Splits host and port; an IPv6 literal keeps its colons inside brackets.
bool parseHostPort(std::string_view text, Authority& authority) {
  std::string_view portText;
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return false;
    const auto rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    authority.host = lowered(text.substr(1, close - 1));
    portText = rest.empty() ? rest : rest.substr(1);
  } else {
    const auto colon = text.rfind(':');
    authority.host = lowered(text.substr(0, colon));
    portText = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
  }
  return parsePort(portText, authority.port);
}

std::optional<Authority> parseAuthority(std::string_view text) {
  Authority authority;
  if (const auto at = text.rfind('@'); at != std::string_view::npos) {
    parseUserInfo(text.substr(0, at), authority);
    text.remove_prefix(at + 1);
  }
  if (!parseHostPort(text, authority)) return std::nullopt;
  return authority;
}

std::optional<std::string> toString(std::optional<std::string_view> view) {
  if (!view) return std::nullopt;
  return std::string(*view);
}

std::string absolutePath(std::string_view path) {
  if (path.starts_with('/')) return std::string(path);
  std::error_code error;
  std::string cwd = std::filesystem::current_path(error).string();
  if (error || cwd.empty()) cwd = "/";
  if (path.empty()) return cwd;
  if (cwd.back() != '/') cwd += '/';
  return cwd + std::string(path);
}

// The path with trailing slashes removed, keeping a lone root "/".
std::string_view trimTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

}  // namespace

const Class& URL::staticClass() {
  static const Class& cls = Class::define("NSURL", &Object::staticClass());
  return cls;
}

std::shared_ptr<URL> URL::URLWithString(std::string_view text, std::shared_ptr<URL> base) {
  if (!isValidReference(text) || (text.empty() && !base)) return nullptr;
  auto url = std::shared_ptr<URL>(new URL());
  url->relative_ = std::string(text);
  url->absolute_ = base ? recompose(resolve(split(text), split(base->absolute_))) : url->relative_;
  url->base_ = std::move(base);
  if (!url->parseAbsolute(url->absolute_)) return nullptr;
  return url;
}

std::shared_ptr<URL> URL::fileURLWithPath(std::string_view path, bool isDirectory) {
  std::string full = absolutePath(path);
  if (isDirectory && full.back() != '/') full += '/';
  auto url = std::shared_ptr<URL>(new URL());
  url->relative_ = "file://" + percentEncode(full, kPathAllowed);
  url->absolute_ = url->relative_;
  (void)url->parseAbsolute(url->absolute_);
  return url;
}

bool URL::parseAbsolute(std::string_view absolute) {
  const Parts parts = split(absolute);
  scheme_ = lowered(parts.scheme.value_or(""));
  hasAuthority_ = parts.authority.has_value();
  path_ = parts.path;
  query_ = toString(parts.query);
  fragment_ = toString(parts.fragment);
  Authority authority;
  if (parts.authority) {
    auto parsed = parseAuthority(*parts.authority);
    if (!parsed) return false;
    authority = std::move(*parsed);
  }
  user_ = std::move(authority.user);
  password_ = std::move(authority.password);
  host_ = std::move(authority.host);
  port_ = authority.port;
  return true;
}

std::shared_ptr<URL> URL::absoluteURL() const {
  auto url = std::shared_ptr<URL>(new URL(*this));
  url->relative_ = absolute_;
  url->base_ = nullptr;
  return url;
}

std::string URL::path() const {
  const auto raw = trimTrailingSlashes(path_);
  return percentDecode(raw).value_or(std::string(raw));
}

std::string URL::lastPathComponent() const {
  const auto raw = trimTrailingSlashes(path_);
  if (raw.empty() || raw == "/") return std::string(raw);
  const auto slash = raw.rfind('/');
  const auto last = slash == std::string_view::npos ? raw : raw.substr(slash + 1);
  return percentDecode(last).value_or(std::string(last));
}

std::string URL::pathExtension() const {
  const std::string last = lastPathComponent();
  const auto dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return last.substr(dot + 1);
}

std::shared_ptr<URL> URL::URLByAppendingPathComponent(std::string_view component, bool isDirectory) const {
  while (component.starts_with('/')) component.remove_prefix(1);
  Parts parts = split(absolute_);
  if (parts.path.empty() && hasAuthority_) parts.path = "/";
  if (!parts.path.empty() && parts.path.back() != '/') parts.path += '/';
  parts.path += percentEncode(component, kPathAllowed);
  if (isDirectory && (parts.path.empty() || parts.path.back() != '/')) parts.path += '/';
  auto url = absoluteURL();
  url->relative_ = url->absolute_ = recompose(parts);
  (void)url->parseAbsolute(url->absolute_);
  return url;
}

std::shared_ptr<URL> URL::URLByDeletingLastPathComponent() const {
  const auto raw = trimTrailingSlashes(path_);
  Parts parts = split(absolute_);
  if (const auto slash = raw.rfind('/'); slash != std::string_view::npos) {
    parts.path = std::string(raw.substr(0, slash + 1));
  } else if (hasAuthority_) {
    parts.path = "/";
  } else {
    parts.path = raw.empty() ? "../" : "./";  // climbing out of an empty relative path
  }
  auto url = absoluteURL();
  url->relative_ = url->absolute_ = recompose(parts);
  (void)url->parseAbsolute(url->absolute_);
  return url;
}

std::shared_ptr<URL> URL::URLByAppendingPathExtension(std::string_view extension) const {
  const auto raw = trimTrailingSlashes(path_);
  if (raw.empty() || raw.back() == '/') return absoluteURL();  // no last component to extend
  Parts parts = split(absolute_);
  const bool directory = raw.size() < path_.size();
  parts.path = std::string(raw) + "." + percentEncode(extension, kExtensionAllowed) + (directory ? "/" : "");
  auto url = absoluteURL();
  url->relative_ = url->absolute_ = recompose(parts);
  (void)url->parseAbsolute(url->absolute_);
  return url;
}

bool URL::isEqual(const Object& other) const {
  const auto* url = dynamic_cast<const URL*>(&other);
  if (url == nullptr || url->relative_ != relative_) return false;
  if (!base_ || !url->base_) return !base_ && !url->base_;
  return base_->isEqual(*url->base_);
}

std::size_t URL::hash() const { return std::hash<std::string>{}(absolute_); }

std::string URL::description() const {
  if (!base_) return relative_;
  return relative_ + " -- " + base_->description();
}

std::string URL::percentEncode(std::string_view text, std::string_view allowed) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (isUnreserved(c) || allowed.find(c) != std::string_view::npos) {
      out += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    out += '%';
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
  }
  return out;
}

std::optional<std::string> URL::percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return std::nullopt;
    out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
    i += 2;
  }
  return out;
}

std::string URLStringWithoutTrailingSlashes(std::string base) {
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

std::string baseURLStringFromEnvironment(std::string_view variable, std::string_view fallback) {
  return URLStringWithoutTrailingSlashes(environmentValue(variable).value_or(std::string(fallback)));
}

}  // namespace fnd
