#pragma once

// Hash combining for the value classes (not part of the public surface).

#include <cstddef>
#include <cstdint>

namespace fnd::detail {

inline std::size_t hashCombine(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace fnd::detail
