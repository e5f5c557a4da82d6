#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace fnd {

// A map from small trivially copyable keys (pointers, integers, string
// views) to indices, for the tables an encoder fills and drops per message.
// The entries live in one array with open addressing, so filling a table
// costs a few allocations in all instead of one per entry.
template <class Key, class Hash = std::hash<Key>>
class FlatIndexMap {
 public:
  using Index = std::uint64_t;

  // The index stored for `key`, or nothing.
  std::optional<Index> find(const Key& key) const {
    if (slots_.empty()) return std::nullopt;
    for (std::size_t at = home(key);; at = next(at)) {
      const Slot& slot = slots_[at];
      if (!slot.used) return std::nullopt;
      if (slot.key == key) return slot.index;
    }
  }

  // Stores `index` for `key` unless the key is present; returns the index
  // the key has and whether it was stored now.
  std::pair<Index, bool> tryEmplace(const Key& key, Index index) {
    if ((size_ + 1) * 2 > slots_.size()) grow();
    for (std::size_t at = home(key);; at = next(at)) {
      Slot& slot = slots_[at];
      if (!slot.used) {
        slot = Slot{key, index, true};
        ++size_;
        return {index, true};
      }
      if (slot.key == key) return {slot.index, false};
    }
  }

  std::size_t size() const { return size_; }

 private:
  struct Slot {
    Key key{};
    Index index = 0;
    bool used = false;
  };
  static constexpr std::size_t kInitialCapacity = 32;

  // Multiplicative mixing: identity hashes of aligned pointers and of small
  // integers would otherwise all share their low bits.
  std::size_t home(const Key& key) const {
    const std::uint64_t mixed = static_cast<std::uint64_t>(Hash{}(key)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(mixed >> shift_);
  }
  std::size_t next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    const std::size_t capacity = old.empty() ? kInitialCapacity : old.size() * 2;
    slots_.assign(capacity, Slot{});
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
    size_ = 0;
    for (const Slot& slot : old) {
      if (slot.used) (void)tryEmplace(slot.key, slot.index);
    }
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
  unsigned shift_ = 64;
};

}  // namespace fnd
