#include "foundation/url_request.h"

#include <algorithm>
#include <cctype>

namespace fnd {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> headerFieldValue(const HTTPHeaderFields& fields, std::string_view name) {
  for (const auto& [field, value] : fields) {
    if (equalsIgnoringCase(field, name)) return value;
  }
  return std::nullopt;
}

URLRequest::URLRequest(std::shared_ptr<fnd::URL> url, URLRequestCachePolicy cachePolicy,
                       std::optional<double> timeoutInterval)
    : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

void URLRequest::setHTTPMethod(std::string_view method) {
  method_.assign(method);
  std::transform(method_.begin(), method_.end(), method_.begin(),
                 [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
  if (method_.empty()) method_ = "GET";
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
  return headerFieldValue(headers_, field);
}

void URLRequest::setValueForHTTPHeaderField(std::string_view value, std::string_view field) {
  std::erase_if(headers_, [&](const auto& entry) { return equalsIgnoringCase(entry.first, field); });
  if (!value.empty()) headers_.emplace_back(std::string(field), std::string(value));
}

void URLRequest::addValueForHTTPHeaderField(std::string_view value, std::string_view field) {
  for (auto& [name, existing] : headers_) {
    if (equalsIgnoringCase(name, field)) {
      existing.append(",").append(value);
      return;
    }
  }
  headers_.emplace_back(std::string(field), std::string(value));
}

}  // namespace fnd
