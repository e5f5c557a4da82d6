#include "interface/errors/afx_string_table.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/property_list.h"
#include "logging/dd_log_macros.h"

namespace {

std::optional<std::vector<std::uint8_t>> readSmallFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > AFXStringTable::kMaximumFileSize) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The file may have grown since its size was read.
  if (bytes.size() > AFXStringTable::kMaximumFileSize) return std::nullopt;
  return bytes;
}

}  // namespace

AFXStringTable AFXStringTable::tableAtPath(const std::string& path) {
  const auto bytes = readSmallFile(path);
  if (!bytes) return AFXStringTable();
  return tableWithData(*bytes);
}

AFXStringTable AFXStringTable::tableWithData(std::span<const std::uint8_t> bytes) {
  AFXStringTable table;
  if (bytes.size() > kMaximumFileSize) return table;
  auto plist = fnd::PropertyListSerialization::propertyListWithData(bytes);
  if (!plist) {
    DDLogError("Cannot read the string table: %@", plist.error());
    return table;
  }
  const auto dictionary = plist->as<fnd::Dictionary>();
  if (!dictionary) {
    DDLogError("The string table is no dictionary: %@", *plist);
    return table;
  }
  for (const auto& [key, value] : dictionary->entries()) {
    auto keyText = key.stringValue();
    auto valueText = value.stringValue();
    if (keyText && valueText) table.entries_.emplace(std::move(*keyText), std::move(*valueText));
  }
  return table;
}

std::string AFXStringTable::localizedString(std::string_view key) const {
  const auto found = entries_.find(std::string(key));
  return found == entries_.end() ? std::string(key) : found->second;
}
