#include "foundation/network_reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
// glibc's header first, so the kernel's one leaves out what both declare.
#include <net/if.h>
#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "foundation/process.h"

namespace {

using namespace std::chrono_literals;
using fnd::detail::decodeNetlinkMessages;

constexpr fnd::NetworkReachabilityFlags kReachable = fnd::kNetworkReachabilityFlagsReachable;
constexpr fnd::NetworkReachabilityFlags kLocal = fnd::kNetworkReachabilityFlagsIsLocalAddress;
constexpr fnd::NetworkReachabilityFlags kDirect = fnd::kNetworkReachabilityFlagsIsDirect;

// Builds netlink datagrams the way the kernel lays them out.
class MessageBuilder {
 public:
  template <class Body>
  MessageBuilder& begin(std::uint16_t type, const Body& body, std::uint32_t sequence = 0) {
    start_ = bytes_.size();
    nlmsghdr header{};
    header.nlmsg_type = type;
    header.nlmsg_seq = sequence;
    append(&header, sizeof header);
    append(&body, sizeof body);
    return *this;
  }
  MessageBuilder& attribute(std::uint16_t type, const void* value, std::size_t length) {
    rtattr header{};
    header.rta_len = static_cast<std::uint16_t>(RTA_LENGTH(length));
    header.rta_type = type;
    append(&header, sizeof header);
    append(value, length);
    return *this;
  }
  template <class T>
  MessageBuilder& attribute(std::uint16_t type, const T& value) {
    return attribute(type, &value, sizeof value);
  }
  // Closes the message: its length covers what was appended since begin().
  MessageBuilder& end() {
    const auto length = static_cast<std::uint32_t>(bytes_.size() - start_);
    std::memcpy(bytes_.data() + start_, &length, sizeof length);
    return *this;
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  void append(const void* data, std::size_t length) {
    const auto* begin = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), begin, begin + length);
    bytes_.resize(NLMSG_ALIGN(bytes_.size()));
  }
  std::vector<std::uint8_t> bytes_;
  std::size_t start_ = 0;
};

rtmsg unicastRoute(std::uint8_t destinationLength) {
  rtmsg route{};
  route.rtm_family = AF_INET;
  route.rtm_type = RTN_UNICAST;
  route.rtm_table = RT_TABLE_MAIN;
  route.rtm_dst_len = destinationLength;
  return route;
}

TEST(NetlinkDecoderTest, ReadsRoutesLinksAndAnnouncements) {
  MessageBuilder builder;
  const in_addr gateway{htonl(0x0a000001)};
  builder.begin(RTM_NEWROUTE, unicastRoute(0)).attribute(RTA_OIF, 3).attribute(RTA_GATEWAY, gateway).end();
  builder.begin(RTM_NEWROUTE, unicastRoute(24)).attribute(RTA_TABLE, std::uint32_t{1000}).end();
  ifinfomsg link{};
  link.ifi_index = 3;
  link.ifi_flags = IFF_UP | IFF_RUNNING;
  builder.begin(RTM_NEWLINK, link).attribute(IFLA_OPERSTATE, std::uint8_t{IF_OPER_UP}).end();
  builder.begin(RTM_DELADDR, ifaddrmsg{}).end();

  const auto messages = decodeNetlinkMessages(builder.bytes());
  EXPECT_FALSE(messages.malformed);
  ASSERT_EQ(messages.routes.size(), 2u);
  EXPECT_EQ(messages.routes[0].outputInterface, 3);
  EXPECT_TRUE(messages.routes[0].hasGateway);
  EXPECT_EQ(messages.routes[0].destinationLength, 0);
  EXPECT_FALSE(messages.routes[1].hasGateway);
  EXPECT_EQ(messages.routes[1].table, 1000u);
  ASSERT_EQ(messages.links.size(), 1u);
  EXPECT_EQ(messages.links[0].index, 3);
  EXPECT_EQ(messages.links[0].operationalState, std::optional<std::uint8_t>(IF_OPER_UP));
  EXPECT_EQ(messages.changes, 4);
}

TEST(NetlinkDecoderTest, SplitsMultipathRoutesIntoNextHops) {
  std::vector<std::uint8_t> hops;
  auto addHop = [&](int index, std::uint8_t flags, bool withGateway) {
    const std::size_t start = hops.size();
    rtnexthop hop{};
    hop.rtnh_ifindex = index;
    hop.rtnh_flags = flags;
    hops.resize(start + RTNH_ALIGN(sizeof hop));
    if (withGateway) {
      rtattr header{};
      header.rta_len = RTA_LENGTH(sizeof(in_addr));
      header.rta_type = RTA_GATEWAY;
      const std::size_t at = hops.size();
      hops.resize(at + RTA_SPACE(sizeof(in_addr)));
      std::memcpy(hops.data() + at, &header, sizeof header);
    }
    hop.rtnh_len = static_cast<unsigned short>(hops.size() - start);
    std::memcpy(hops.data() + start, &hop, sizeof hop);
  };
  addHop(2, 0, true);
  addHop(5, RTNH_F_LINKDOWN, false);
  MessageBuilder builder;
  builder.begin(RTM_NEWROUTE, unicastRoute(0)).attribute(RTA_MULTIPATH, hops.data(), hops.size()).end();

  const auto messages = decodeNetlinkMessages(builder.bytes());
  EXPECT_FALSE(messages.malformed);
  ASSERT_EQ(messages.routes.size(), 2u);
  EXPECT_EQ(messages.routes[0].outputInterface, 2);
  EXPECT_TRUE(messages.routes[0].hasGateway);
  EXPECT_FALSE(messages.routes[0].linkDown);
  EXPECT_EQ(messages.routes[1].outputInterface, 5);
  EXPECT_FALSE(messages.routes[1].hasGateway);
  EXPECT_TRUE(messages.routes[1].linkDown);
}

TEST(NetlinkDecoderTest, AcknowledgementsRefusalsAndSequences) {
  MessageBuilder builder;
  builder.begin(NLMSG_ERROR, nlmsgerr{.error = 0, .msg = {}}, 7).end();
  builder.begin(NLMSG_ERROR, nlmsgerr{.error = -ENETUNREACH, .msg = {}}, 8).end();

  const auto first = decodeNetlinkMessages(builder.bytes(), 7);
  EXPECT_TRUE(first.acknowledged);
  EXPECT_FALSE(first.error);
  const auto second = decodeNetlinkMessages(builder.bytes(), 8);
  EXPECT_FALSE(second.acknowledged);
  EXPECT_EQ(second.error, ENETUNREACH);
  const auto other = decodeNetlinkMessages(builder.bytes(), 9);
  EXPECT_FALSE(other.acknowledged || other.error);
}

TEST(NetlinkDecoderTest, OverrunsAreMalformedAndEndDecoding) {
  MessageBuilder builder;
  builder.begin(RTM_NEWROUTE, unicastRoute(0)).attribute(RTA_OIF, 1).end();
  std::vector<std::uint8_t> attributeOverrun = builder.bytes();
  // The attribute claims more than its message holds.
  attributeOverrun[NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(rtmsg))] = 0x7f;
  EXPECT_TRUE(decodeNetlinkMessages(attributeOverrun).malformed);
  EXPECT_TRUE(decodeNetlinkMessages(attributeOverrun).routes.empty());

  std::vector<std::uint8_t> truncated = builder.bytes();
  truncated.resize(truncated.size() - 4);
  const auto cut = decodeNetlinkMessages(truncated);
  EXPECT_TRUE(cut.malformed);
  EXPECT_TRUE(cut.routes.empty());

  MessageBuilder shortBody;
  shortBody.begin(RTM_NEWLINK, std::uint16_t{0}).end();
  EXPECT_TRUE(decodeNetlinkMessages(shortBody.bytes()).malformed);
}

TEST(NetlinkDecoderTest, ArbitraryBytesNeverOverrun) {
  std::mt19937 random(246);
  std::uniform_int_distribution<int> byte(0, 255);
  MessageBuilder builder;
  builder.begin(RTM_NEWROUTE, unicastRoute(0)).attribute(RTA_OIF, 1).attribute(RTA_TABLE, 254u).end();
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::uint8_t> bytes = builder.bytes();
    for (int flip = 0; flip < 4; ++flip) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(byte(random));
    bytes.resize(random() % (bytes.size() + 1));
    (void)decodeNetlinkMessages(bytes);
  }
}

TEST(NetworkReachabilityTest, RefusesUnwatchableDestinations) {
  EXPECT_EQ(fnd::NetworkReachability::createWithName(""), nullptr);
  EXPECT_EQ(fnd::NetworkReachability::createWithName(std::string_view("a\0b", 3)), nullptr);
  EXPECT_EQ(fnd::NetworkReachability::createWithAddress(nullptr, 0), nullptr);
  sockaddr_in6 truncated{};
  truncated.sin6_family = AF_INET6;
  EXPECT_EQ(fnd::NetworkReachability::createWithAddress(reinterpret_cast<const sockaddr*>(&truncated),
                                                        sizeof(sockaddr_in)),
            nullptr);
}

std::shared_ptr<fnd::NetworkReachability> reachabilityOfIPv4(const char* text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  EXPECT_EQ(::inet_pton(AF_INET, text, &address.sin_addr), 1);
  return fnd::NetworkReachability::createWithAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

// Flags as the change callback reports them.
class Reports {
 public:
  fnd::NetworkReachability::Callback callback() {
    return [this](fnd::NetworkReachabilityFlags flags) {
      std::lock_guard lock(mutex_);
      flags_.push_back(flags);
      changed_.notify_all();
    };
  }
  // Waits in real time: the kernel's announcements know nothing of test clocks.
  bool waitFor(fnd::NetworkReachabilityFlags flags) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return !flags_.empty() && flags_.back() == flags; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<fnd::NetworkReachabilityFlags> flags_;
};

// Asks the kernel of this network namespace to change something; true on
// its acknowledgement.
template <class Body>
bool changeKernelTables(std::uint16_t type, std::uint16_t flags, const Body& body,
                        const std::vector<std::pair<std::uint16_t, std::uint32_t>>& attributes = {}) {
  MessageBuilder builder;
  builder.begin(type, body, 1);
  for (const auto& [attribute, value] : attributes) builder.attribute(attribute, value);
  builder.end();
  auto& bytes = builder.bytes();
  auto* header = reinterpret_cast<nlmsghdr*>(bytes.data());
  header->nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return false;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  bool acknowledged = false;
  if (::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) > 0) {
    std::vector<std::uint8_t> answer(8192);
    const ssize_t length = ::recv(fd, answer.data(), answer.size(), 0);
    if (length > 0) {
      answer.resize(static_cast<std::size_t>(length));
      const auto messages = decodeNetlinkMessages(answer, 1);
      acknowledged = messages.acknowledged && !messages.error;
    }
  }
  ::close(fd);
  return acknowledged;
}

bool setLoopbackUp(bool up) {
  ifinfomsg link{};
  link.ifi_family = AF_UNSPEC;
  link.ifi_index = static_cast<int>(::if_nametoindex("lo"));
  link.ifi_flags = up ? IFF_UP : 0;
  link.ifi_change = IFF_UP;
  return changeKernelTables(RTM_NEWLINK, 0, link);
}

// A route through loopback: 10.77.0.0/16, or the default route.
bool changeRouteThroughLoopback(std::uint8_t destinationLength, bool add) {
  rtmsg route = unicastRoute(destinationLength);
  route.rtm_protocol = RTPROT_STATIC;
  route.rtm_scope = RT_SCOPE_LINK;
  std::vector<std::pair<std::uint16_t, std::uint32_t>> attributes{{RTA_OIF, ::if_nametoindex("lo")}};
  if (destinationLength != 0) attributes.emplace_back(RTA_DST, htonl(0x0a4d0000));
  return changeKernelTables(add ? RTM_NEWROUTE : RTM_DELROUTE, add ? NLM_F_CREATE | NLM_F_EXCL : 0, route,
                            attributes);
}

constexpr const char* kNamespaceChildVariable = "KORVIA_TEST_IN_NETWORK_NAMESPACE";

// Runs inside a fresh network namespace, where loopback starts down and no
// route exists, so every change below is this test's own.
TEST(NetworkNamespaceChild, SeesLinkAndRouteChanges) {
  if (!std::getenv(kNamespaceChildVariable)) GTEST_SKIP() << "only runs inside the namespace test's namespace";
  auto loopback = reachabilityOfIPv4("127.0.0.1");
  auto routed = reachabilityOfIPv4("10.77.0.5");
  sockaddr_in zero{};
  zero.sin_family = AF_INET;
  auto internet = fnd::NetworkReachability::createWithAddress(reinterpret_cast<const sockaddr*>(&zero), sizeof zero);
  ASSERT_EQ(loopback->flags(), 0u);
  ASSERT_EQ(routed->flags(), 0u);
  ASSERT_EQ(internet->flags(), 0u);

  Reports loopbackReports;
  Reports routedReports;
  Reports internetReports;
  const fnd::Queue queue = fnd::Queue::serial("reachability-test");
  for (auto [target, reports] : {std::pair{loopback.get(), &loopbackReports}, std::pair{routed.get(), &routedReports},
                                 std::pair{internet.get(), &internetReports}}) {
    ASSERT_TRUE(target->setCallback(reports->callback()));
    ASSERT_TRUE(target->setDispatchQueue(queue));
  }

  ASSERT_TRUE(setLoopbackUp(true));
  EXPECT_TRUE(loopbackReports.waitFor(kReachable | kLocal | kDirect));

  ASSERT_TRUE(changeRouteThroughLoopback(16, true));
  EXPECT_TRUE(routedReports.waitFor(kReachable | kDirect));
  ASSERT_TRUE(changeRouteThroughLoopback(16, false));
  EXPECT_TRUE(routedReports.waitFor(0));

  // A default route makes the internet, and every other address, reachable.
  ASSERT_TRUE(changeRouteThroughLoopback(0, true));
  EXPECT_TRUE(internetReports.waitFor(kReachable | kDirect));
  EXPECT_TRUE(routedReports.waitFor(kReachable | kDirect));

  // Taking the link down takes its routes with it.
  ASSERT_TRUE(setLoopbackUp(false));
  EXPECT_TRUE(loopbackReports.waitFor(0));
  EXPECT_TRUE(internetReports.waitFor(0));
  EXPECT_TRUE(routedReports.waitFor(0));

  for (auto* target : {loopback.get(), routed.get(), internet.get()}) EXPECT_TRUE(target->setDispatchQueue(std::nullopt));
  queue.sync([] {});
}

TEST(NetworkReachabilityTest, FollowsChangesInAPrivateNetworkNamespace) {
  fnd::ProcessLaunchOptions probe;
  probe.executablePath = "unshare";
  probe.searchPath = true;
  probe.arguments = {"-rn", "true"};
  probe.captureStandardError = true;
  auto probed = fnd::Process::run(probe);
  if (!probed || probed->status != 0) {
    GTEST_SKIP() << "private network namespaces are not allowed here (unshare -rn failed)";
  }
  fnd::ProcessLaunchOptions options;
  options.executablePath = "unshare";
  options.searchPath = true;
  options.arguments = {"-rn", std::filesystem::read_symlink("/proc/self/exe").string(),
                       "--gtest_filter=NetworkNamespaceChild.*"};
  ::setenv(kNamespaceChildVariable, "1", 1);
  options.captureStandardOutput = true;
  auto child = fnd::Process::run(std::move(options));
  ::unsetenv(kNamespaceChildVariable);
  ASSERT_TRUE(child) << child.error().description();
  EXPECT_EQ(child->reason, fnd::ProcessTerminationReason::exit);
  EXPECT_EQ(child->status, 0) << std::string(child->standardOutput.begin(), child->standardOutput.end());
}

}  // namespace
