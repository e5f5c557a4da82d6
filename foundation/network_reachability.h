#pragma once

// Whether a destination can be reached, from the kernel's own tables: a
// destination is reachable when a route to it leaves through an interface
// that is up. Changes are learnt from rtnetlink (links, addresses, routes).

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/queue.h"

namespace fnd {

// The platform's reachability flag bits.
using NetworkReachabilityFlags = std::uint32_t;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsTransientConnection = 1u << 0;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsReachable = 1u << 1;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsConnectionOnDemand = 1u << 5;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsIsLocalAddress = 1u << 16;
inline constexpr NetworkReachabilityFlags kNetworkReachabilityFlagsIsDirect = 1u << 17;

// A watched destination. Abstract so that monitors built on it can be tested
// with a target whose flags the test sets.
class NetworkReachability {
 public:
  using Callback = std::function<void(NetworkReachabilityFlags)>;

  virtual ~NetworkReachability() = default;

  // Null when the destination cannot be watched (an empty name, an address
  // family other than IPv4/IPv6).
  static std::shared_ptr<NetworkReachability> createWithName(std::string_view hostName);
  static std::shared_ptr<NetworkReachability> createWithAddress(const sockaddr* address, socklen_t length);

  // The flags now, read on the caller's thread; empty when they cannot be read.
  virtual std::optional<NetworkReachabilityFlags> flags() const = 0;

  // The callback to run on each change; null clears it.
  virtual bool setCallback(Callback callback) = 0;
  // Delivers changes on `queue` from now on; nullopt stops delivering. False
  // when the change monitor cannot start.
  virtual bool setDispatchQueue(std::optional<Queue> queue) = 0;
};

namespace detail {

// What a buffer of rtnetlink messages says, decoded defensively: a message
// that does not fit the buffer ends decoding, one too short for its kind is
// skipped. Exposed for tests of the decoder.
struct NetlinkRoute {
  std::uint8_t type = 0;  // RTN_*
  std::uint8_t destinationLength = 0;
  std::uint32_t table = 0;
  int outputInterface = 0;  // 0: none given
  bool hasGateway = false;
  bool linkDown = false;  // the kernel marked the next hop dead or its link down
};

struct NetlinkLink {
  int index = 0;
  unsigned flags = 0;  // IFF_*
  std::optional<std::uint8_t> operationalState;  // IF_OPER_*
};

struct NetlinkMessages {
  // One entry per next hop of each route.
  std::vector<NetlinkRoute> routes;
  std::vector<NetlinkLink> links;
  // Link, address and route announcements, new or removed.
  int changes = 0;
  std::optional<int> error;  // the errno of a negative acknowledgement
  bool acknowledged = false;
  bool done = false;
  bool malformed = false;
};

// Messages carrying another sequence number than `sequence` are ignored.
NetlinkMessages decodeNetlinkMessages(std::span<const std::uint8_t> buffer,
                                      std::optional<std::uint32_t> sequence = std::nullopt);

}  // namespace detail
}  // namespace fnd
