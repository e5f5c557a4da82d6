#include "tools/qv_system_info.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace detail = qv_system_info_detail;

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

// A fake file-system root holding only what a test writes into it.
class FakeRoot {
 public:
  FakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "qv-system-info-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~FakeRoot() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

  void write(const fs::path& relative, std::string_view contents) const {
    fs::create_directories((path_ / relative).parent_path());
    std::ofstream(path_ / relative, std::ios::binary) << contents;
  }
  void makeDirectory(const fs::path& relative) const { fs::create_directories(path_ / relative); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(QVSystemInfoReadersTest, HardwareUUIDPrefersFirmwareThenMachineID) {
  FakeRoot root;
  EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "");

  root.write("etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
  EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "3D1219C7-C4C5-404A-AA1F-6D2A48ADFDA4");

  root.write("sys/class/dmi/id/product_uuid", "4c4c4544-0042-3510-8052-b4c04f564433\n");
  EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "4C4C4544-0042-3510-8052-B4C04F564433");

  // Firmware that leaves the field blank or zeroed does not identify the machine.
  root.write("sys/class/dmi/id/product_uuid", "00000000-0000-0000-0000-000000000000\n");
  EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "3D1219C7-C4C5-404A-AA1F-6D2A48ADFDA4");
  root.write("sys/class/dmi/id/product_uuid", "Not Settable");
  EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "3D1219C7-C4C5-404A-AA1F-6D2A48ADFDA4");
}

TEST(QVSystemInfoReadersTest, MalformedMachineIDGivesEmptyText) {
  FakeRoot root;
  for (const char* machineID : {"", "3d1219c7", "3d1219c7c4c5404aaa1f6d2a48adfdaz", "3d1219c7c4c5404aaa1f6d2a48adfda4ff"}) {
    root.write("etc/machine-id", machineID);
    EXPECT_EQ(detail::hardwareUUIDUnder(root.path()), "") << machineID;
  }
}

TEST(QVSystemInfoReadersTest, OSVersionPadsTheReleaseToThreeNumbers) {
  FakeRoot root;
  EXPECT_EQ(detail::OSVersionUnder(root.path()), "0.0.0");

  root.write("usr/lib/os-release", "NAME=Other\nVERSION_ID=9.1\n");
  EXPECT_EQ(detail::OSVersionUnder(root.path()), "9.1.0");

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"VERSION_ID=\"12\"", "12.0.0"},  {"VERSION_ID=22.04", "22.4.0"}, {"VERSION_ID='39'", "39.0.0"},
      {"VERSION_ID=1.2.3.4", "1.2.3"}, {"VERSION_ID=15.5-rc1", "15.0.0"}, {"VERSION_ID=rolling", "0.0.0"},
      {"ID=arch", "0.0.0"},
  };
  for (const auto& [line, expected] : cases) {
    root.write("etc/os-release", "PRETTY_NAME=\"Some OS\"\nVERSION=\"12 (x)\"\n" + line + "\nID_LIKE=x\n");
    EXPECT_EQ(detail::OSVersionUnder(root.path()), expected) << line;
  }
}

TEST(QVSystemInfoReadersTest, MachineModelIsTrimmedProductName) {
  FakeRoot root;
  EXPECT_EQ(detail::machineModelUnder(root.path()), "");
  root.write("sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B\0", 23));
  EXPECT_EQ(detail::machineModelUnder(root.path()), "Raspberry Pi 4 Model B");
  root.write("sys/class/dmi/id/product_name", "  Standard PC (Q35 + ICH9, 2009)\n");
  EXPECT_EQ(detail::machineModelUnder(root.path()), "Standard PC (Q35 + ICH9, 2009)");
}

TEST(QVSystemInfoReadersTest, CPUBrandOnX86AndOtherMachines) {
  FakeRoot root;
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "x86_64"), "Intel");
  root.write("proc/cpuinfo",
             "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \n"
             "\nprocessor\t: 1\nmodel name\t: second\n");
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "x86_64"), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "i686"), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "aarch64"), "Unknown (type = 16777228, subtype = -1)");
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "armv7l"), "Unknown (type = 12, subtype = -1)");
  EXPECT_EQ(detail::CPUFullBrandNameUnder(root.path(), "riscv64"), "Unknown (type = -1, subtype = -1)");
}

detail::NetworkInterface interface(std::string name, detail::MACBytes mac, std::vector<const char*> ipv4,
                                   bool physical = false) {
  detail::NetworkInterface result;
  result.name = std::move(name);
  result.up = true;
  result.physical = physical;
  result.linkAddress = mac;
  for (const char* address : ipv4) result.ipv4Addresses.push_back(inet_addr(address));
  return result;
}

constexpr detail::MACBytes kMAC1 = {0x00, 0x1c, 0x42, 0x0a, 0x0b, 0x01};
constexpr detail::MACBytes kMAC2 = {0x00, 0x1c, 0x42, 0x0a, 0x0b, 0x02};
constexpr detail::MACBytes kMAC3 = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

TEST(QVSystemInfoMACTest, FirstUpPhysicalInterfaceWins) {
  detail::NetworkInterface loopback = interface("lo", {}, {"127.0.0.1"}, true);
  loopback.loopback = true;
  detail::NetworkInterface down = interface("eth0", kMAC1, {}, true);
  down.up = false;
  detail::NetworkInterface zeroed = interface("eth1", {}, {}, true);
  const std::vector<detail::NetworkInterface> interfaces = {loopback, down, zeroed,
                                                            interface("br0", kMAC2, {"10.0.0.2"}),
                                                            interface("wlan0", kMAC3, {}, true)};
  EXPECT_EQ(detail::primaryMACAddress(interfaces), "aa:bb:cc:dd:ee:ff");
}

TEST(QVSystemInfoMACTest, WithoutPhysicalInterfaceTheLowestNamedIPv4InterfaceWins) {
  detail::NetworkInterface down = interface("en0", kMAC3, {"10.0.0.9"});
  down.up = false;
  const std::vector<detail::NetworkInterface> interfaces = {
      interface("en10", kMAC1, {"10.0.0.10"}), interface("EN2", kMAC2, {"10.0.0.2"}),
      interface("en1", kMAC3, {}),  // no IPv4 address
      interface("lo1", kMAC3, {"10.0.0.1"}), interface("en3", kMAC3, {"127.0.0.1"}), down};
  EXPECT_EQ(detail::primaryMACAddress(interfaces), "00:1c:42:0a:0b:02");
}

TEST(QVSystemInfoMACTest, ConsidersAtMostThirtyTwoInterfacesAndMayFindNone) {
  std::vector<detail::NetworkInterface> interfaces;
  for (int i = 0; i < 32; ++i) interfaces.push_back(interface("veth" + std::to_string(i), kMAC1, {}));
  interfaces.push_back(interface("eth0", kMAC2, {"192.168.1.2"}));
  EXPECT_EQ(detail::primaryMACAddress(interfaces), "");
  interfaces.erase(interfaces.begin());
  EXPECT_EQ(detail::primaryMACAddress(interfaces), "00:1c:42:0a:0b:02");
  EXPECT_EQ(detail::primaryMACAddress({}), "");
}

TEST(QVSystemInfoMACTest, InterfaceNamesCompareNumericallyIgnoringCase) {
  EXPECT_LT(detail::compareInterfaceNames("en0", "en1"), 0);
  EXPECT_LT(detail::compareInterfaceNames("en1", "en10"), 0);
  EXPECT_LT(detail::compareInterfaceNames("en9", "en10"), 0);
  EXPECT_LT(detail::compareInterfaceNames("en2", "EN10"), 0);
  EXPECT_EQ(detail::compareInterfaceNames("En1", "eN1"), 0);
  EXPECT_LT(detail::compareInterfaceNames("eth", "eth0"), 0);
  EXPECT_LT(detail::compareInterfaceNames("en99999999999999999999", "en100000000000000000000"), 0);
  EXPECT_GT(detail::compareInterfaceNames("wlan0", "eth1"), 0);
}

TEST(QVSystemInfoMACTest, ListsThisMachinesInterfaces) {
  FakeRoot root;
  root.makeDirectory("sys/class/net/lo/device");
  const std::vector<detail::NetworkInterface> interfaces = detail::networkInterfacesUnder(root.path());
  for (const detail::NetworkInterface& found : interfaces) {
    // Only the prepared tree decides what counts as a device.
    EXPECT_EQ(found.physical, found.name == "lo") << found.name;
    if (found.name == "lo") {
      EXPECT_TRUE(found.loopback);
    }
  }
}

TEST(QVSystemInfoLocalesTest, LocaleNamesBecomeLanguageTags) {
  EXPECT_EQ(detail::languageTagForLocale("en_US.UTF-8"), "en-US");
  EXPECT_EQ(detail::languageTagForLocale("de_DE@euro"), "de-DE");
  EXPECT_EQ(detail::languageTagForLocale("sr_RS@latin"), "sr-Latn-RS");
  EXPECT_EQ(detail::languageTagForLocale("pt_br"), "pt-BR");
  EXPECT_EQ(detail::languageTagForLocale("es_419"), "es-419");
  EXPECT_EQ(detail::languageTagForLocale("fr"), "fr");
  EXPECT_EQ(detail::languageTagForLocale("C"), "en");
  EXPECT_EQ(detail::languageTagForLocale("C.UTF-8"), "en");
  EXPECT_EQ(detail::languageTagForLocale("POSIX"), "en");
  EXPECT_EQ(detail::languageTagForLocale(""), std::nullopt);
  EXPECT_EQ(detail::languageTagForLocale("x"), std::nullopt);
  EXPECT_EQ(detail::languageTagForLocale("en_USA"), std::nullopt);
  EXPECT_EQ(detail::languageTagForLocale("/usr/share/locale"), std::nullopt);
}

TEST(QVSystemInfoLocalesTest, LanguageListComesFirstThenTheMessagesLocale) {
  const detail::LocaleEnvironment environment{
      .language = "fr_CA:fr::de", .all = std::nullopt, .messages = "pt_BR.UTF-8", .lang = "en_US.UTF-8"};
  EXPECT_THAT(detail::preferredLocalesFrom(environment, 10), ElementsAre("fr-CA", "fr", "de", "pt-BR"));
  EXPECT_THAT(detail::preferredLocalesFrom(environment, 2), ElementsAre("fr-CA", "fr"));
  EXPECT_THAT(detail::preferredLocalesFrom(environment, 0), IsEmpty());

  const detail::LocaleEnvironment overridden{.language = std::nullopt, .all = "de_AT", .messages = "pt_BR", .lang = "en"};
  EXPECT_THAT(detail::preferredLocalesFrom(overridden, 10), ElementsAre("de-AT"));

  const detail::LocaleEnvironment repeated{.language = "en_US:en", .all = "", .messages = std::nullopt, .lang = "en_US.UTF-8"};
  EXPECT_THAT(detail::preferredLocalesFrom(repeated, 10), ElementsAre("en-US", "en"));

  EXPECT_THAT(detail::preferredLocalesFrom({}, 10), ElementsAre("en"));
  const detail::LocaleEnvironment garbage{.language = "::", .all = std::nullopt, .messages = std::nullopt, .lang = "??"};
  EXPECT_THAT(detail::preferredLocalesFrom(garbage, 10), ElementsAre("en"));
}

TEST(QVSystemInfoTest, ReportsThisMachineInTheDocumentedFormats) {
  utsname identity{};
  ASSERT_EQ(uname(&identity), 0);
  EXPECT_EQ(QVSystemInfo::OSBuild(), identity.release);
  EXPECT_THAT(QVSystemInfo::OSVersion(), MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
  EXPECT_THAT(QVSystemInfo::MACAddress(), AnyOf(IsEmpty(), MatchesRegex("([0-9a-f]{2}:){5}[0-9a-f]{2}")));
  EXPECT_THAT(QVSystemInfo::hardwareUUID(), AnyOf(IsEmpty(), MatchesRegex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
  EXPECT_FALSE(QVSystemInfo::CPUFullBrandName().empty());
  EXPECT_THAT(QVSystemInfo::preferredLocales(0), IsEmpty());
  EXPECT_FALSE(QVSystemInfo::preferredLocales(100).empty());
}

}  // namespace
