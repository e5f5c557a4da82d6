#include "devtools/distribution_server/http_head.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace korvia::distribution {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool isToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> RequestHead::field(std::string_view name) const {
  for (const auto& [key, value] : fields) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

bool RequestHead::keepsAlive() const {
  const auto connection = field("Connection");
  if (minorVersion == 0) return connection && equalsIgnoringCase(trimmed(*connection), "keep-alive");
  return !connection || !equalsIgnoringCase(trimmed(*connection), "close");
}

std::optional<RequestHead> parseRequestHead(std::string_view head) {
  if (head.size() > kMaximumHeadLength) return std::nullopt;
  RequestHead request;
  bool first = true;
  while (!head.empty()) {
    const auto end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    if (first) {
      first = false;
      const auto space1 = line.find(' ');
      const auto space2 = line.rfind(' ');
      if (space1 == std::string_view::npos || space2 == space1) return std::nullopt;
      request.method = std::string(line.substr(0, space1));
      request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
      const std::string_view version = line.substr(space2 + 1);
      if (!isToken(request.method) || request.target.empty() || request.target.find(' ') != std::string::npos) {
        return std::nullopt;
      }
      if (version == "HTTP/1.1") {
        request.minorVersion = 1;
      } else if (version == "HTTP/1.0") {
        request.minorVersion = 0;
      } else {
        return std::nullopt;
      }
      continue;
    }
    if (line.empty()) break;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) return std::nullopt;
    request.fields.emplace_back(std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))));
  }
  if (first) return std::nullopt;
  return request;
}

std::optional<std::string> decodedPath(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  if (target.empty() || target.front() != '/') return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] != '%') {
      path.push_back(target[i]);
      continue;
    }
    if (i + 2 >= target.size()) return std::nullopt;
    const int high = hexValue(target[i + 1]);
    const int low = hexValue(target[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    path.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (path.find('\0') != std::string::npos || path.find('\\') != std::string::npos) return std::nullopt;
  std::string_view rest(path);
  while (!rest.empty()) {
    rest.remove_prefix(1);
    const std::string_view segment = rest.substr(0, rest.find('/'));
    if (segment == "." || segment == "..") return std::nullopt;
    rest.remove_prefix(segment.size());
  }
  return path;
}

std::pair<RangeVerdict, ByteRange> evaluateRange(std::string_view header, std::uint64_t size) {
  const std::pair<RangeVerdict, ByteRange> whole{RangeVerdict::whole, {0, size == 0 ? 0 : size - 1}};
  header = trimmed(header);
  if (!header.starts_with("bytes=")) return whole;
  const std::string_view spec = trimmed(header.substr(6));
  if (spec.find(',') != std::string_view::npos) return whole;
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view from = trimmed(spec.substr(0, dash));
  const std::string_view to = trimmed(spec.substr(dash + 1));
  if (from.empty()) {
    const auto suffix = parseNumber(to);
    if (!suffix) return whole;
    if (*suffix == 0 || size == 0) return {RangeVerdict::unsatisfiable, {}};
    return {RangeVerdict::partial, {size - std::min(*suffix, size), size - 1}};
  }
  const auto first = parseNumber(from);
  if (!first) return whole;
  std::uint64_t last = size == 0 ? 0 : size - 1;
  if (!to.empty()) {
    const auto parsed = parseNumber(to);
    if (!parsed || *parsed < *first) return whole;
    last = std::min(*parsed, last);
  }
  if (*first >= size) return {RangeVerdict::unsatisfiable, {}};
  return {RangeVerdict::partial, {*first, last}};
}

std::string httpDate(std::time_t time) {
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return std::string(text, length);
}

std::string_view reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

}  // namespace korvia::distribution
