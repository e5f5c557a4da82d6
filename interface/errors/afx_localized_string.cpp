#include "interface/errors/afx_localized_string.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "interface/errors/afx_string_table.h"

namespace {

constexpr std::string_view kTableName = "Localizable";

const AFXStringTable& localizableTable() {
  static const AFXStringTable table = [] {
    const auto& bundle = AFXKorviaInterfaceBundle();
    const auto path = bundle ? bundle->pathForResource(kTableName, "strings") : std::nullopt;
    return path ? AFXStringTable::tableAtPath(*path) : AFXStringTable();
  }();
  return table;
}

}  // namespace

namespace afx_localized_string_detail {

std::string libraryBinaryPath() {
  Dl_info info{};
  link_map* map = nullptr;
  const auto* self = reinterpret_cast<void*>(&AFXKorviaInterfaceLocalizedString);
  if (::dladdr1(self, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr) return {};
  // The program itself has no name in the link map (dladdr would give
  // argv[0], which may be relative to a folder since left).
  const std::string name = map->l_name != nullptr ? map->l_name : "";
  std::error_code error;
  const auto resolved = std::filesystem::canonical(name.empty() ? "/proc/self/exe" : name, error);
  return error ? std::string() : resolved.string();
}

std::optional<std::string> locateBundle(const char* overridePath, const std::string& libraryPath) {
  if (overridePath != nullptr && *overridePath != '\0') return std::string(overridePath);
  if (libraryPath.empty()) return std::nullopt;
  const auto beside = std::filesystem::path(libraryPath).parent_path() / AFXKorviaInterfaceBundleName;
  std::error_code error;
  if (!std::filesystem::is_directory(beside, error)) return std::nullopt;
  return beside.string();
}

}  // namespace afx_localized_string_detail

const std::shared_ptr<fnd::Bundle>& AFXKorviaInterfaceBundle() {
  static const std::shared_ptr<fnd::Bundle> bundle = []() -> std::shared_ptr<fnd::Bundle> {
    const auto path =
        afx_localized_string_detail::locateBundle(std::getenv(std::string(AFXKorviaInterfaceBundleVariable).c_str()),
                                                  afx_localized_string_detail::libraryBinaryPath());
    return path ? fnd::Bundle::bundleWithPath(*path) : nullptr;
  }();
  return bundle;
}

std::string AFXKorviaInterfaceLocalizedString(std::string_view text, std::string_view comment) {
  (void)comment;
  return localizableTable().localizedString(text);
}
