#pragma once

// Reading request heads and the pieces of HTTP the distribution server
// needs: single byte ranges, validators and dates. Request bytes come from
// the network and are read defensively: anything malformed is "no request".

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvia::distribution {

// Heads longer than this are refused.
inline constexpr std::size_t kMaximumHeadLength = 16 * 1024;

struct RequestHead {
  std::string method;
  std::string target;
  int minorVersion = 1;
  std::vector<std::pair<std::string, std::string>> fields;

  std::optional<std::string> field(std::string_view name) const;
  // HTTP/1.1 keeps the connection unless told otherwise; 1.0 closes it.
  bool keepsAlive() const;
};

// The head up to (not including) the empty line.
std::optional<RequestHead> parseRequestHead(std::string_view head);

// The path of a request target, percent-decoded, with "." and ".." segments,
// NUL bytes and back-slashes refused.
std::optional<std::string> decodedPath(std::string_view target);

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
};

enum class RangeVerdict { whole, partial, unsatisfiable };

// A "bytes=" header of one range against a file of `size` bytes. Several
// ranges or bad syntax get the whole file, as RFC 9110 allows.
std::pair<RangeVerdict, ByteRange> evaluateRange(std::string_view header, std::uint64_t size);

// "Sun, 06 Nov 1994 08:49:37 GMT".
std::string httpDate(std::time_t time);

std::string_view reasonPhrase(int status);

}  // namespace korvia::distribution
