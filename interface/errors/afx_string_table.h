#pragma once

// One string table of a resource bundle: "<name>.strings" written as a
// property-list dictionary (XML or binary) from text keys to text values.
// Tables come from files beside the program, so they are read defensively: a
// file that is missing, too large or not such a dictionary is an empty table,
// and entries that are not text pairs are skipped.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

class AFXStringTable {
 public:
  // Tables larger than this are not string tables; they are not read.
  static constexpr std::size_t kMaximumFileSize = std::size_t{8} << 20;

  AFXStringTable() = default;
  static AFXStringTable tableAtPath(const std::string& path);
  static AFXStringTable tableWithData(std::span<const std::uint8_t> bytes);

  std::size_t count() const { return entries_.size(); }
  bool containsKey(std::string_view key) const { return entries_.contains(std::string(key)); }
  // The entry for `key`, or `key` itself.
  std::string localizedString(std::string_view key) const;

 private:
  std::unordered_map<std::string, std::string> entries_;
};
