#include "tools/qv_system_info.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>

#include "foundation/uuid.h"

namespace qv_system_info_detail {
namespace {

namespace fs = std::filesystem;

// System files are small; this bounds what a corrupt or hostile tree can make
// us hold in memory.
constexpr std::size_t kMaximumFileSize = 64 * 1024;
constexpr std::size_t kMaximumCPUInfoLines = 100000;
constexpr std::size_t kMaximumConsideredInterfaces = 32;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\0'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::optional<std::string> readSmallFile(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::string contents(kMaximumFileSize, '\0');
  stream.read(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (stream.bad()) return std::nullopt;
  contents.resize(static_cast<std::size_t>(stream.gcount()));
  return contents;
}

std::string readTrimmedFile(const fs::path& path) {
  const std::optional<std::string> contents = readSmallFile(path);
  return contents ? std::string(trimmed(*contents)) : std::string();
}

bool isNilUUID(const fnd::UUID& uuid) {
  const auto& bytes = uuid.bytes();
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::string UUIDTextOrEmpty(std::string_view text) {
  const std::shared_ptr<fnd::UUID> uuid = fnd::UUID::makeWithString(text);
  return uuid && !isNilUUID(*uuid) ? uuid->UUIDString() : std::string();
}

// The 32 hex digits of a machine id, dashed 8-4-4-4-12.
std::string machineIDAsUUIDText(std::string_view machineID) {
  if (machineID.size() != 32) return {};
  std::string text;
  for (std::size_t i = 0; i < machineID.size(); ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text.push_back('-');
    text.push_back(machineID[i]);
  }
  return UUIDTextOrEmpty(text);
}

// The value of KEY=VALUE in an os-release file, unquoted.
std::optional<std::string> osReleaseValue(std::string_view contents, std::string_view key) {
  while (!contents.empty()) {
    const std::size_t end = contents.find('\n');
    std::string_view line = trimmed(contents.substr(0, end));
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') continue;
    std::string_view value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

// Leading decimal numbers of a dotted version; parsing stops at the first
// part that is not a number ("12" → {12}, "22.04" → {22, 4}).
std::vector<long> leadingNumbers(std::string_view version, std::size_t count) {
  std::vector<long> numbers;
  while (numbers.size() < count && !version.empty()) {
    const std::size_t end = version.find('.');
    const std::string_view part = version.substr(0, end);
    long value = 0;
    const auto [next, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (error != std::errc() || next != part.data() + part.size() || value < 0) break;
    numbers.push_back(value);
    version.remove_prefix(end == std::string_view::npos ? version.size() : end + 1);
  }
  return numbers;
}

bool isX86Machine(std::string_view machine) {
  return machine == "x86_64" || machine == "amd64" || machine == "x86" || machine == "i386" || machine == "i486" ||
         machine == "i586" || machine == "i686";
}

// The platform's processor type numbers for the machines it knows; -1 for
// the others.
int CPUTypeOfMachine(std::string_view machine) {
  constexpr int kABI64 = 0x01000000;
  constexpr int kARM = 12;
  constexpr int kPowerPC = 18;
  if (machine == "aarch64" || machine == "arm64") return kARM | kABI64;
  if (machine.substr(0, 3) == "arm") return kARM;
  if (machine == "ppc64" || machine == "ppc64le") return kPowerPC | kABI64;
  if (machine == "ppc") return kPowerPC;
  return -1;
}

std::string CPUInfoModelName(const fs::path& path) {
  std::ifstream stream(path);
  std::string line;
  for (std::size_t n = 0; n < kMaximumCPUInfoLines && std::getline(stream, line); ++n) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || trimmed(std::string_view(line).substr(0, colon)) != "model name") continue;
    return std::string(trimmed(std::string_view(line).substr(colon + 1)));
  }
  return {};
}

std::string formattedMAC(const MACBytes& bytes) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                bytes[5]);
  return text;
}

bool isZeroMAC(const MACBytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

bool hasNonLoopbackIPv4(const NetworkInterface& interface) {
  const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
  return std::any_of(interface.ipv4Addresses.begin(), interface.ipv4Addresses.end(),
                     [loopback](std::uint32_t address) { return address != loopback; });
}

NetworkInterface& interfaceNamed(std::vector<NetworkInterface>& interfaces, std::string_view name) {
  for (NetworkInterface& interface : interfaces) {
    if (interface.name == name) return interface;
  }
  NetworkInterface& added = interfaces.emplace_back();
  added.name = std::string(name);
  return added;
}

void addInterfaceAddress(NetworkInterface& interface, const ifaddrs& entry) {
  interface.up = interface.up || (entry.ifa_flags & IFF_UP) != 0;
  interface.loopback = interface.loopback || (entry.ifa_flags & IFF_LOOPBACK) != 0;
  if (entry.ifa_addr == nullptr) return;
  if (entry.ifa_addr->sa_family == AF_PACKET) {
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry.ifa_addr);
    if (link->sll_halen == 6) {
      MACBytes bytes;
      std::copy_n(link->sll_addr, bytes.size(), bytes.begin());
      interface.linkAddress = bytes;
    }
  } else if (entry.ifa_addr->sa_family == AF_INET) {
    interface.ipv4Addresses.push_back(reinterpret_cast<const sockaddr_in*>(entry.ifa_addr)->sin_addr.s_addr);
  }
}

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

std::string scriptForModifier(std::string_view modifier) {
  if (modifier == "latin") return "Latn";
  if (modifier == "cyrillic") return "Cyrl";
  if (modifier == "devanagari") return "Deva";
  return {};
}

}  // namespace

std::string hardwareUUIDUnder(const fs::path& root) {
  std::string uuid = UUIDTextOrEmpty(readTrimmedFile(root / "sys/class/dmi/id/product_uuid"));
  if (uuid.empty()) uuid = machineIDAsUUIDText(readTrimmedFile(root / "etc/machine-id"));
  return uuid;
}

std::string OSVersionUnder(const fs::path& root) {
  std::optional<std::string> contents = readSmallFile(root / "etc/os-release");
  if (!contents) contents = readSmallFile(root / "usr/lib/os-release");
  std::vector<long> numbers;
  if (contents) {
    if (const std::optional<std::string> versionID = osReleaseValue(*contents, "VERSION_ID")) {
      numbers = leadingNumbers(*versionID, 3);
    }
  }
  numbers.resize(3, 0);
  char text[3 * 24];
  std::snprintf(text, sizeof text, "%ld.%ld.%ld", numbers[0], numbers[1], numbers[2]);
  return text;
}

std::string machineModelUnder(const fs::path& root) {
  std::string model = readTrimmedFile(root / "sys/class/dmi/id/product_name");
  // Boards without firmware tables describe themselves in the device tree.
  if (model.empty()) model = readTrimmedFile(root / "sys/firmware/devicetree/base/model");
  return model;
}

std::string CPUFullBrandNameUnder(const fs::path& root, std::string_view machine) {
  if (isX86Machine(machine)) {
    std::string brand = CPUInfoModelName(root / "proc/cpuinfo");
    return brand.empty() ? std::string("Intel") : brand;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Unknown (type = %d, subtype = %d)", CPUTypeOfMachine(machine), -1);
  return text;
}

std::vector<NetworkInterface> networkInterfacesUnder(const fs::path& root) {
  std::vector<NetworkInterface> interfaces;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    addInterfaceAddress(interfaceNamed(interfaces, entry->ifa_name), *entry);
  }
  freeifaddrs(list);
  for (NetworkInterface& interface : interfaces) {
    std::error_code error;
    interface.physical =
        isPlainFileName(interface.name) && fs::exists(root / "sys/class/net" / interface.name / "device", error);
  }
  return interfaces;
}

std::string primaryMACAddress(const std::vector<NetworkInterface>& interfaces) {
  for (const NetworkInterface& interface : interfaces) {
    if (interface.up && !interface.loopback && interface.physical && interface.linkAddress &&
        !isZeroMAC(*interface.linkAddress)) {
      return formattedMAC(*interface.linkAddress);
    }
  }
  const NetworkInterface* chosen = nullptr;
  const std::size_t considered = std::min(interfaces.size(), kMaximumConsideredInterfaces);
  for (std::size_t i = 0; i < considered; ++i) {
    const NetworkInterface& interface = interfaces[i];
    if (!interface.up || interface.name.starts_with("lo") || !hasNonLoopbackIPv4(interface) ||
        !interface.linkAddress) {
      continue;
    }
    if (chosen == nullptr || compareInterfaceNames(interface.name, chosen->name) < 0) chosen = &interface;
  }
  return chosen ? formattedMAC(*chosen->linkAddress) : std::string();
}

int compareInterfaceNames(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
      const auto endA = static_cast<std::size_t>(std::find_if_not(a.begin() + i, a.end(), isAsciiDigit) - a.begin());
      const auto endB = static_cast<std::size_t>(std::find_if_not(b.begin() + j, b.end(), isAsciiDigit) - b.begin());
      std::string_view runA = a.substr(i, endA - i);
      std::string_view runB = b.substr(j, endB - j);
      runA.remove_prefix(std::min(runA.find_first_not_of('0'), runA.size()));
      runB.remove_prefix(std::min(runB.find_first_not_of('0'), runB.size()));
      if (runA.size() != runB.size()) return runA.size() < runB.size() ? -1 : 1;
      if (const int order = runA.compare(runB); order != 0) return order;
      i = endA;
      j = endB;
      continue;
    }
    const char ca = asciiLower(a[i]);
    const char cb = asciiLower(b[j]);
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::optional<std::string> languageTagForLocale(std::string_view locale) {
  locale = trimmed(locale);
  std::string_view modifier;
  if (const std::size_t at = locale.find('@'); at != std::string_view::npos) {
    modifier = locale.substr(at + 1);
    locale = locale.substr(0, at);
  }
  locale = locale.substr(0, locale.find('.'));
  if (locale == "C" || locale == "POSIX") return "en";
  const std::size_t underscore = locale.find('_');
  const std::string_view language = locale.substr(0, underscore);
  const std::string_view territory = underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);
  if (language.size() < 2 || language.size() > 3 || !std::all_of(language.begin(), language.end(), isAsciiLetter)) {
    return std::nullopt;
  }
  const bool territoryIsValid = territory.empty() ||
                                (territory.size() == 2 && std::all_of(territory.begin(), territory.end(), isAsciiLetter)) ||
                                (territory.size() == 3 && std::all_of(territory.begin(), territory.end(), isAsciiDigit));
  if (!territoryIsValid) return std::nullopt;
  std::string tag;
  std::transform(language.begin(), language.end(), std::back_inserter(tag), asciiLower);
  if (const std::string script = scriptForModifier(modifier); !script.empty()) tag += "-" + script;
  if (!territory.empty()) {
    tag.push_back('-');
    std::transform(territory.begin(), territory.end(), std::back_inserter(tag), asciiUpper);
  }
  return tag;
}

std::vector<std::string> preferredLocalesFrom(const LocaleEnvironment& environment, std::size_t count) {
  std::vector<std::string> candidates;
  if (environment.language) {
    std::string_view list = *environment.language;
    while (!list.empty()) {
      const std::size_t colon = list.find(':');
      candidates.emplace_back(list.substr(0, colon));
      list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
    }
  }
  // The locale that messages are shown in, by the C library's precedence.
  for (const std::optional<std::string>* variable : {&environment.all, &environment.messages, &environment.lang}) {
    if (*variable && !(*variable)->empty()) {
      candidates.push_back(**variable);
      break;
    }
  }
  std::vector<std::string> tags;
  for (const std::string& candidate : candidates) {
    std::optional<std::string> tag = languageTagForLocale(candidate);
    if (tag && std::find(tags.begin(), tags.end(), *tag) == tags.end()) tags.push_back(std::move(*tag));
  }
  if (tags.empty()) tags.emplace_back("en");
  if (tags.size() > count) tags.resize(count);
  return tags;
}

}  // namespace qv_system_info_detail

namespace {

namespace detail = qv_system_info_detail;

utsname kernelIdentity() {
  utsname identity{};
  if (uname(&identity) != 0) identity = utsname{};
  return identity;
}

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

std::string QVSystemInfo::hardwareUUID() {
  static std::once_flag once;
  static std::string value;
  std::call_once(once, [] { value = detail::hardwareUUIDUnder("/"); });
  return value;
}

std::string QVSystemInfo::MACAddress() {
  static std::once_flag once;
  static std::string value;
  std::call_once(once, [] { value = detail::primaryMACAddress(detail::networkInterfacesUnder("/")); });
  return value;
}

std::string QVSystemInfo::OSVersion() { return detail::OSVersionUnder("/"); }

std::string QVSystemInfo::OSBuild() {
  static std::once_flag once;
  static std::string value;
  std::call_once(once, [] { value = kernelIdentity().release; });
  return value;
}

std::string QVSystemInfo::machineModel() { return detail::machineModelUnder("/"); }

std::string QVSystemInfo::CPUFullBrandName() {
  static std::once_flag once;
  static std::string value;
  std::call_once(once, [] { value = detail::CPUFullBrandNameUnder("/", kernelIdentity().machine); });
  return value;
}

std::vector<std::string> QVSystemInfo::preferredLocales(std::size_t count) {
  const detail::LocaleEnvironment environment{.language = environmentValue("LANGUAGE"),
                                              .all = environmentValue("LC_ALL"),
                                              .messages = environmentValue("LC_MESSAGES"),
                                              .lang = environmentValue("LANG")};
  return detail::preferredLocalesFrom(environment, count);
}
