#include "interface/model/afx_teaser_version.h"

#include <cctype>
#include <vector>

#include "foundation/format.h"

std::string AFXTeaserVersionFromOldTeaserVersion(std::int64_t oldVersion) {
  return fnd::StringWithFormat("0.%@", oldVersion);
}

std::int64_t AFXTeaserVersionToOldTeaserVersion(std::string_view version) {
  std::vector<std::string_view> components;
  for (std::size_t start = 0;;) {
    const auto dot = version.find('.', start);
    components.push_back(version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  for (auto it = components.rbegin(); it != components.rend(); ++it) {
    // The integer value of the leading digits, as a scanner reads it.
    std::int64_t value = 0;
    for (char c : *it) {
      if (!std::isdigit(static_cast<unsigned char>(c))) break;
      value = value * 10 + (c - '0');
      if (value > (1LL << 40)) break;
    }
    if (value > 0) return value;
  }
  return 0;
}
