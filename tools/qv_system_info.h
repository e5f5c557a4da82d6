#pragma once

// Facts about the machine: hardware identity, primary MAC address, system
// version and build, machine model, processor name and preferred languages.
// Read from the kernel's and the distribution's own files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QVSystemInfo {
 public:
  QVSystemInfo() = delete;

  // The firmware's product UUID, else the machine id shaped as a UUID, upper
  // case; "" when neither is readable. Computed once.
  static std::string hardwareUUID();
  // Six lower-case hex bytes joined by ":", or "". Computed once.
  static std::string MACAddress();
  // "major.minor.patch" of the distribution release. Each call.
  static std::string OSVersion();
  // The kernel release. Computed once.
  static std::string OSBuild();
  // The firmware's product name, or "". Each call.
  static std::string machineModel();
  // The processor's brand text. Computed once.
  static std::string CPUFullBrandName();
  // The user's preferred languages as BCP 47 tags, at most the first `count`.
  static std::vector<std::string> preferredLocales(std::size_t count);
};

// The readers behind QVSystemInfo, taking the file-system root and the
// inputs that the public calls take from the running system, so that they
// can be exercised on prepared trees.
namespace qv_system_info_detail {

using MACBytes = std::array<std::uint8_t, 6>;

struct NetworkInterface {
  std::string name;
  bool up = false;
  bool loopback = false;
  // Backed by a device rather than made up by software (bridges, tunnels).
  bool physical = false;
  std::optional<MACBytes> linkAddress;
  std::vector<std::uint32_t> ipv4Addresses;  // In network byte order.
};

struct LocaleEnvironment {
  std::optional<std::string> language;  // LANGUAGE
  std::optional<std::string> all;       // LC_ALL
  std::optional<std::string> messages;  // LC_MESSAGES
  std::optional<std::string> lang;      // LANG
};

std::string hardwareUUIDUnder(const std::filesystem::path& root);
std::string OSVersionUnder(const std::filesystem::path& root);
std::string machineModelUnder(const std::filesystem::path& root);
// `machine` is the kernel's machine name ("x86_64", "aarch64").
std::string CPUFullBrandNameUnder(const std::filesystem::path& root, std::string_view machine);

// The system's interfaces in kernel order; `root` locates /sys/class/net.
std::vector<NetworkInterface> networkInterfacesUnder(const std::filesystem::path& root);
std::string primaryMACAddress(const std::vector<NetworkInterface>& interfaces);
// Orders "en0" < "en1" < "en10", ignoring case; negative, zero or positive.
int compareInterfaceNames(std::string_view a, std::string_view b);

std::vector<std::string> preferredLocalesFrom(const LocaleEnvironment& environment, std::size_t count);
// "en_US.UTF-8" → "en-US", "sr_RS@latin" → "sr-Latn-RS", "C" → "en";
// nullopt when the text is not a locale name.
std::optional<std::string> languageTagForLocale(std::string_view locale);

}  // namespace qv_system_info_detail
