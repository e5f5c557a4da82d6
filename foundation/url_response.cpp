#include "foundation/url_response.h"

#include <algorithm>
#include <cctype>

#include "foundation/format.h"
#include "foundation/value.h"

namespace fnd {
namespace {

std::string trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

// The filename parameter of a Content-Disposition value, quoted or not. Path
// separators are dropped so the name can never leave a folder.
std::optional<std::string> dispositionFilename(std::string_view value) {
  const auto at = value.find("filename=");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = value.substr(at + 9);
  std::string name;
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    name.assign(rest.substr(0, rest.find('"')));
  } else {
    name = trimmed(rest.substr(0, rest.find(';')));
  }
  if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return name;
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(std::shared_ptr<fnd::URL> url, std::int64_t statusCode, HTTPHeaderFields headerFields,
                                 std::int64_t expectedContentLength)
    : url_(std::move(url)),
      statusCode_(statusCode),
      headers_(std::move(headerFields)),
      expectedContentLength_(expectedContentLength) {}

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
  return headerFieldValue(headers_, field);
}

std::string HTTPURLResponse::MIMEType() const {
  const auto type = valueForHTTPHeaderField("Content-Type");
  if (!type) return {};
  std::string mime = trimmed(std::string_view(*type).substr(0, type->find(';')));
  std::transform(mime.begin(), mime.end(), mime.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return mime;
}

std::string HTTPURLResponse::suggestedFilename() const {
  if (const auto disposition = valueForHTTPHeaderField("Content-Disposition")) {
    if (auto name = dispositionFilename(*disposition)) return *name;
  }
  if (url_) {
    std::string last = url_->lastPathComponent();
    if (!last.empty() && last != "/") return last;
  }
  return "Unknown";
}

std::string HTTPURLResponse::description() const {
  const Value url = url_ ? Value(url_) : Value();
  return StringWithFormat("<NSHTTPURLResponse: URL: %@ { Status Code: %lld }>", url,
                          static_cast<long long>(statusCode_));
}

}  // namespace fnd
