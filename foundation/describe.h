#pragma once

// The platform's multi-line description layout shared by the collections.

#include <string>
#include <string_view>

namespace fnd::detail {

// Indents every line after the first by four spaces, so nested collections
// line up inside their parent.
inline std::string indentNested(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\n') out.append("    ");
  }
  return out;
}

}  // namespace fnd::detail
