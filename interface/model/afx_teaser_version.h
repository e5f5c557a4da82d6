#pragma once

// Teaser versions in their two schemes: the current text ("0.7") and the old
// positive integer (7). Teaser instances and teaser install resources carry
// both and fall back from one to the other.

#include <cstdint>
#include <string>
#include <string_view>

// "0.n".
std::string AFXTeaserVersionFromOldTeaserVersion(std::int64_t oldVersion);
// The last dot-separated component whose integer value is positive, else 0.
std::int64_t AFXTeaserVersionToOldTeaserVersion(std::string_view version);
