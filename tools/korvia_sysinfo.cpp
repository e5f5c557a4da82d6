// Prints the machine facts the installer reports, one "key: value" line each.

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tools/qv_system_info.h"

namespace {

void printLine(const char* key, const std::string& value) { std::printf("%s: %s\n", key, value.c_str()); }

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += separator;
    text += item;
  }
  return text;
}

}  // namespace

int main() {
  printLine("hardwareUUID", QVSystemInfo::hardwareUUID());
  printLine("MACAddress", QVSystemInfo::MACAddress());
  printLine("OSVersion", QVSystemInfo::OSVersion());
  printLine("OSBuild", QVSystemInfo::OSBuild());
  printLine("machineModel", QVSystemInfo::machineModel());
  printLine("CPUFullBrandName", QVSystemInfo::CPUFullBrandName());
  printLine("preferredLocales", joined(QVSystemInfo::preferredLocales(std::numeric_limits<std::size_t>::max()), ","));
  return 0;
}
